// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture box: shows its picture unscaled at its top-left corner on a plain background, and
// reports clicks and mouse movement. Used as a plain container too.
#include <QLabel>

class PictureBox : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

signals:
    void clicked();
    void mouseMoved();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
