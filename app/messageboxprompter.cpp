#include "app/messageboxprompter.h"

#include "app/mainform.h"

#include <QMessageBox>

int MessageBoxPrompter::msgBox(const QString &text, int style, const QString &caption)
{
    QMessageBox box;
    box.setWindowTitle(caption.isEmpty() ? MainForm::Title : caption);
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
    if ((style & 0x7) == YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IdYes : IdNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IdOk;
}
