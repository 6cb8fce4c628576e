// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Positions and sizes are given in twips (1/1440 inch) and become device-independent pixels at
// the screen's logical DPI: 15 twips are one pixel at 96 DPI. The windows were laid out that
// way, and their tests pin the positions, so they are kept in the unit they were drawn in.
#include <QRect>
#include <QWidget>

int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);
// Places a child at a position and size in twips.
void placeTwips(QWidget *widget, int left, int top, int width, int height);
// A child control with the name the program gives it, placed when a rectangle in twips is given.
template<class W> W *makeControl(QWidget *parent, const char *name, const QRect &twips = QRect())
{
    auto *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    if (twips.isValid())
        placeTwips(widget, twips.x(), twips.y(), twips.width(), twips.height());
    return widget;
}
// Captions were laid out for a narrow classic dialog font; with the desktop's font a caption
// can be wider than its fixed control. This shrinks the control's font (not below 6 points)
// until the caption of a label or button fits its width.
void fitCaptionToWidth(QWidget *control);
