// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scene pane: shows a local animated GIF given by a "file://" address, as a web view would
// show it on an empty page: the picture sits at the page margin and plays its own animation.
// An address it cannot load leaves the pane empty.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <QMovie>

class GifPane : public QWidget {
    Q_OBJECT
public:
    explicit GifPane(QWidget *parent = nullptr);
    ~GifPane() override;

    // Loads the address afresh, also when it is the one already shown.
    void navigate(const QString &address);
    QString currentAddress() const { return m_address; }
    // Whether a picture is showing (false after an address that could not be loaded).
    bool hasPicture() const;

    // The page margin, in pixels, at which the picture's top-left is drawn.
    void setPageMargin(const QPoint &margin) { m_margin = margin; }

signals:
    void navigated(const QString &address);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QString m_address;
    QPointer<QMovie> m_movie;
    QPoint m_margin;
};
