// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keyboard rules every window shares; Form::load() applies the first two to each window.
class QAbstractButton;
class QLabel;
class QLineEdit;
class QWidget;

// A one-line text box keeps only the first line of what the user types, pastes or drops into it:
// a line edit would keep the line breaks and draw them as spaces. What the program sets stays
// whole, so that a stored value is written back as it was read.
void keepFirstLineOfInsertions(QLineEdit *box);
// Whether the control could be seen: it and its containers are not hidden (the window itself may
// be), and some part of it lies inside the window once each container has clipped it.
bool liesInView(const QWidget *control);
// A control the user cannot see (hidden, or lying wholly outside the window) takes no keyboard
// focus while it is so; the tab order stays as laid out.
void gateFocus(QWidget *window);
// A click on the caption label toggles or presses the button, as a click on the button's own
// text does; for check boxes whose caption is a label of its own beside the box.
void clickThroughCaption(QLabel *caption, QAbstractButton *button);
