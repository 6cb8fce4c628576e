// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's style: the desktop's own style, through a proxy that only changes when
// some icons are read.
//
// Every menu bar asks its style for the icon of its extension button ("»") when it is made,
// though the button shows only when the menus do not fit. The stock styles read that icon from
// image files, and finding the reader for them makes Qt load and probe every image format
// plugin installed, with the libraries behind each. That cost belongs to the first time the
// button is painted, not to every start: without the proxy, the first paint came 4.7 ms later,
// after 4.6 ms more CPU (bench/startup --peer-build).
#include <QIconEngine>
#include <QProxyStyle>
#include <functional>

// An icon that is made by a function the first time it is painted or measured.
class DeferredIconEngine final : public QIconEngine {
public:
    explicit DeferredIconEngine(std::function<QIcon()> make);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString key() const override;
    QIconEngine *clone() const override;

private:
    const QIcon &icon();

    std::function<QIcon()> m_make;
    QIcon m_icon;
    bool m_made = false;
};

class ApplicationStyle final : public QProxyStyle {
public:
    // The desktop style by its key, as QStyleFactory knows it.
    explicit ApplicationStyle(const QString &baseKey);

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
};

// Puts an ApplicationStyle over the style the application would use (the desktop's, or the
// one the user chose with -style or QT_STYLE_OVERRIDE).
void installApplicationStyle();
