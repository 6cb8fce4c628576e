#include "app/checkguard.h"

#include <QApplication>
#include <QEvent>

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

CheckGuard::CheckGuard()
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

bool CheckGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_active || !isUserInput(event->type()))
        return QObject::eventFilter(watched, event);
    // An accepted override keeps the key from being tried as a shortcut as well.
    if (event->type() == QEvent::ShortcutOverride)
        event->accept();
    return true;
}
