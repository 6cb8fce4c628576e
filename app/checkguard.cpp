// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/checkguard.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

CheckGuard::CheckGuard(std::function<void()> stop)
    : m_stop(std::move(stop))
{
    qApp->installEventFilter(this);
    setActive(true);
}

CheckGuard::~CheckGuard()
{
    setActive(false);
}

void CheckGuard::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

// A mouse event comes to the window first, then to the widget under it (or the one that took the
// press): both steps must let it pass for the button to be clicked.
bool CheckGuard::reachesStopButton(QObject *watched, QEvent *event) const
{
    const auto type = event->type();
    if (!m_stopButton || !m_stopButton->isVisibleTo(m_stopButton->window())
        || (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease
            && type != QEvent::MouseMove))
        return false;
    if (watched == m_stopButton)
        return true;
    if (watched != m_stopButton->window()->windowHandle())
        return false;
    const QPoint at = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
    return m_stopButton->isDown() || m_stopButton->rect().contains(m_stopButton->mapFromGlobal(at));
}

bool CheckGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_active || !isUserInput(event->type()))
        return QObject::eventFilter(watched, event);
    if (reachesStopButton(watched, event))
        return QObject::eventFilter(watched, event);
    if (m_stop && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && !static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
        // Stopping ends the check's wait; the check unwinds once this event is handled.
        m_stop();
        return true;
    }
    // An accepted override keeps the key from being tried as a shortcut as well.
    if (event->type() == QEvent::ShortcutOverride)
        event->accept();
    return true;
}
