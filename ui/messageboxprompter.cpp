// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/messageboxprompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

// Owned by the window the user is in, so the window manager keeps the box in front of it, even
// when that window stays on top of all others. The owner may close while the box is open (its
// timers still run): the box then goes with it.
QMessageBox *makeBox(const QString &text, int style, const QString &title)
{
    auto *box = new QMessageBox(QApplication::activeWindow());
    box->setWindowTitle(title);
    // The failure text of a check carries the server's own words: shown as written, never read
    // as markup (a server could otherwise put links or pictures into the box).
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    switch (style & 0x70) {
    case Prompter::Information:
        box->setIcon(QMessageBox::Information);
        break;
    case Prompter::Question:
        box->setIcon(QMessageBox::Question);
        break;
    case Prompter::Exclamation:
        box->setIcon(QMessageBox::Warning);
        break;
    default:
        box->setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x7) == Prompter::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(
            style & Prompter::DefaultButton2 ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
    }
    return box;
}

int answerOf(int style, int button)
{
    if ((style & 0x7) != Prompter::YesNo)
        return Prompter::IdOk;
    return button == QMessageBox::Yes ? Prompter::IdYes : Prompter::IdNo;
}

} // namespace

int MessageBoxPrompter::msgBox(const QString &text, int style, const QString &caption)
{
    QPointer<QMessageBox> box = makeBox(text, style, caption.isEmpty() ? m_programTitle : caption);
    const int button = box->exec();
    delete box;
    return answerOf(style, button);
}

QObject *MessageBoxPrompter::open(const QString &text, int style, const QString &caption,
    QObject *receiver, std::function<void(int answer)> answered)
{
    QMessageBox *box = makeBox(text, style, caption.isEmpty() ? m_programTitle : caption);
    // Modal for the whole program, as a waited-for box is (QDialog::open() would block the
    // owner only).
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QDialog::finished, receiver,
        [box, style, answered = std::move(answered)](int button) {
            box->deleteLater();
            answered(answerOf(style, button));
        });
    box->show();
    return box;
}
