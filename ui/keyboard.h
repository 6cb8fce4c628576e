#pragma once
// The keyboard rules every window shares; Form::load() applies the first two to each window.
class QAbstractButton;
class QLabel;
class QLineEdit;
class QWidget;

// A one-line text box keeps only the first line of what is pasted or dropped into it: a line
// edit would keep the line breaks and draw them as spaces.
void keepFirstLineOfInsertions(QLineEdit *box);
// A control the user cannot see (hidden, or lying wholly outside the window) takes no keyboard
// focus while it is so; the tab order stays as laid out.
void gateFocus(QWidget *window);
// A click on the caption label toggles or presses the button, as a click on the button's own
// text does; for check boxes whose caption is a label of its own beside the box.
void clickThroughCaption(QLabel *caption, QAbstractButton *button);
