// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationstyle.h"

#include <QApplication>
#include <QPointer>

DeferredIconEngine::DeferredIconEngine(std::function<QIcon()> make)
    : m_make(std::move(make))
{
}

const QIcon &DeferredIconEngine::icon()
{
    if (!m_made) {
        m_made = true;
        m_icon = m_make();
        m_make = nullptr;
    }
    return m_icon;
}

void DeferredIconEngine::paint(
    QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize DeferredIconEngine::actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return icon().actualSize(size, mode, state);
}

QPixmap DeferredIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return icon().pixmap(size, mode, state);
}

QList<QSize> DeferredIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    return icon().availableSizes(mode, state);
}

QString DeferredIconEngine::key() const
{
    return QStringLiteral("BrindleDeferredIcon");
}

QIconEngine *DeferredIconEngine::clone() const
{
    // A copy of an icon already made shares the made icon; otherwise each copy makes its own.
    if (m_made)
        return new DeferredIconEngine([icon = m_icon] { return icon; });
    return new DeferredIconEngine(m_make);
}

ApplicationStyle::ApplicationStyle(const QString &baseKey)
    : QProxyStyle(baseKey)
{
}

QIcon ApplicationStyle::standardIcon(
    StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(icon, option, widget);
    // The option and the widget are not kept: by the time the icon is painted they may be gone.
    // The style may be replaced meanwhile too; then the icon stays empty.
    QPointer<QStyle> base = baseStyle();
    return QIcon(
        new DeferredIconEngine([base, icon] { return base ? base->standardIcon(icon) : QIcon(); }));
}

void installApplicationStyle()
{
    QApplication::setStyle(new ApplicationStyle(QApplication::style()->name()));
}
