#include "ui/messageboxprompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

int MessageBoxPrompter::msgBox(const QString &text, int style, const QString &caption)
{
    // Owned by the window the user is in, so the window manager keeps the box in front of it,
    // even when that window stays on top of all others. The owner may close while the box is
    // open (its timers still run): the box then goes with it, hence the guarded pointer.
    QPointer<QMessageBox> owned = new QMessageBox(QApplication::activeWindow());
    QMessageBox &box = *owned;
    box.setWindowTitle(caption.isEmpty() ? m_programTitle : caption);
    // The failure text of a check carries the server's own words: shown as written, never read
    // as markup (a server could otherwise put links or pictures into the box).
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (style & 0x70) {
    case Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    const bool yesNo = (style & 0x7) == YesNo;
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(style & DefaultButton2 ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    delete owned;
    if (!yesNo)
        return IdOk;
    return answer == QMessageBox::Yes ? IdYes : IdNo;
}
