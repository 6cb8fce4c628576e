// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the windows tell a screen reader beyond what Qt's own widgets tell it.
//
//  - A plain widget (a window, a container, a picture the program draws) can be given the role a
//    screen reader announces it by; Qt would call each a "filler". The windows are built on Form,
//    which reads as a dialog; the main window reads as a frame.
//  - Such a widget lists only the children the user can see: a control that is hidden, or that
//    its containers clip away wholly (the main window keeps several for their click actions and
//    values), is left out of the tree while it is so, and the tree follows when the window's
//    size changes.
//  - announce() speaks a short text where the user is, though focus does not move.
#include <QAccessible>

class QWidget;

// Only for widgets whose class has no accessible interface of its own (not for buttons, text
// boxes, labels and the like); call it before a screen reader first looks at the widget.
void setAccessibleRole(QWidget *widget, QAccessible::Role role);

// Speaks a short text where the user is. A screen reader reads a control that takes focus with
// its description: when `window` is the active window and `readAt` can take focus (it lies in
// view), the focus moves to `readAt`, which carries the text as its description until focus
// moves on. Otherwise the focus stays, and the text goes into the description of the focused
// control, or of the active window when no control has focus: Orca speaks a change of the
// focused object's description (though Qt 6.4's bridge sends that change without the text, so
// this is the lesser way). The same text twice in a row is spoken twice.
void announce(QWidget *window, const QString &text, QWidget *readAt = nullptr);
