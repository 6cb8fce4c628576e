// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/accessibility.h"

#include "ui/keyboard.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace {

const char RoleProperty[] = "brindleAccessibleRole";
const char ExposedProperty[] = "brindleAccessibleExposed";

bool hasOwnRole(const QObject *object)
{
    return object && object->property(RoleProperty).isValid();
}

// The child widgets a screen reader is shown: those the user could see.
QList<QWidget *> exposedChildren(const QWidget *widget)
{
    QList<QWidget *> children;
    for (QObject *object : widget->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (child && !child->isWindow() && !qobject_cast<QMenu *>(child) && liesInView(child))
            children.append(child);
    }
    return children;
}

class PlainWidgetInterface final : public QAccessibleWidget {
public:
    explicit PlainWidgetInterface(QWidget *widget)
        : QAccessibleWidget(widget)
    {
    }

    QAccessible::Role role() const override
    {
        return QAccessible::Role(widget()->property(RoleProperty).toInt());
    }

    int childCount() const override { return int(exposedChildren(widget()).size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = exposedChildren(widget());
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        return int(exposedChildren(widget()).indexOf(qobject_cast<QWidget *>(child->object())));
    }
};

QAccessibleInterface *plainWidgetFactory(const QString &, QObject *object)
{
    if (!object->isWidgetType() || !hasOwnRole(object))
        return nullptr;
    return new PlainWidgetInterface(static_cast<QWidget *>(object));
}

// Tells a screen reader when a child of a widget with its own role comes into view or leaves it:
// the window and its containers change size with the scene.
class ExposureWatcher final : public QObject {
public:
    using QObject::QObject;

    static void refresh(QWidget *window)
    {
        QList<QWidget *> containers { window };
        containers += window->findChildren<QWidget *>();
        for (QWidget *container : std::as_const(containers)) {
            if (!hasOwnRole(container))
                continue;
            bool changed = false;
            for (QObject *object : container->children()) {
                auto *child = qobject_cast<QWidget *>(object);
                if (!child || child->isWindow())
                    continue;
                const bool exposed = liesInView(child);
                const QVariant before = child->property(ExposedProperty);
                if (before.isValid() && before.toBool() == exposed)
                    continue;
                child->setProperty(ExposedProperty, exposed);
                if (!before.isValid())
                    continue; // first seen: nothing changed for a reader
                changed = true;
                if (QAccessible::isActive()) {
                    QAccessibleEvent event(
                        child, exposed ? QAccessible::ObjectShow : QAccessible::ObjectHide);
                    QAccessible::updateAccessibility(&event);
                }
            }
            if (changed && QAccessible::isActive()) {
                QAccessibleEvent event(container, QAccessible::ObjectReorder);
                QAccessible::updateAccessibility(&event);
            }
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            refresh(static_cast<QWidget *>(watched)->window());
            break;
        default:
            break;
        }
        return false;
    }
};

ExposureWatcher *exposureWatcher()
{
    static ExposureWatcher *watcher = [] {
        QAccessible::installFactory(plainWidgetFactory);
        return new ExposureWatcher(qApp);
    }();
    return watcher;
}

// The control that carries the last announcement, and its own description before it.
struct Announced {
    QPointer<QWidget> target;
    QString ownDescription;
    QMetaObject::Connection focusMoved;
};

Announced &announced()
{
    static Announced last;
    return last;
}

// Sets the description and tells the screen reader, also when the description stays the same
// (a widget tells it only of a change).
void describe(QWidget *widget, const QString &text)
{
    if (widget->accessibleDescription() != text) {
        widget->setAccessibleDescription(text);
        return;
    }
    QAccessibleEvent event(widget, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void withdrawAnnouncement()
{
    Announced &last = announced();
    QObject::disconnect(last.focusMoved);
    if (last.target)
        describe(last.target, last.ownDescription);
    last.target = nullptr;
}

} // namespace

void setAccessibleRole(QWidget *widget, QAccessible::Role role)
{
    widget->setProperty(RoleProperty, int(role));
    widget->installEventFilter(exposureWatcher());
}

void announce(QWidget *window, const QString &text, QWidget *readAt)
{
    withdrawAnnouncement();
    const bool moveFocus = readAt && window->isActiveWindow() && readAt->window() == window
        && readAt->focusPolicy() != Qt::NoFocus && liesInView(readAt) && readAt->isEnabled();
    QWidget *target = readAt;
    if (!moveFocus) {
        target = QApplication::focusWidget();
        if (!target)
            target = QApplication::activeWindow();
        if (!target)
            target = window->focusWidget() ? window->focusWidget() : window;
    }

    Announced &last = announced();
    last.target = target;
    last.ownDescription = target->accessibleDescription();
    if (moveFocus) {
        // Read afresh also when it has focus already; the description is set while it has
        // none, so that only the focus speaks it.
        if (target->hasFocus())
            target->clearFocus();
        target->setAccessibleDescription(text);
        target->setFocus(Qt::OtherFocusReason);
    } else {
        // A screen reader speaks a description only when it differs from the one it last heard
        // from that object: clear it first, so that the same text twice is spoken twice.
        describe(target, QString());
        describe(target, text);
    }
    last.focusMoved = QObject::connect(qApp, &QApplication::focusChanged, qApp,
        [](QWidget *, QWidget *) { withdrawAnnouncement(); });
}
