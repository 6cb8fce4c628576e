// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/messageboxprompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QMessageBox *openMessageBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

} // namespace

TEST(MessageBoxPrompterTest, ServerWordsAreShownAsWrittenNotAsMarkup)
{
    // As a refused login reports it: the server's reply inside the library's text.
    const QString text
        = QStringLiteral("-ERR <b>locked</b> <a href=\"https://example.invalid/\">ここ</a> &amp;");
    QString title;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    bool hasIcon = true;
    QTimer::singleShot(0, [&] {
        QMessageBox *box = openMessageBox();
        if (!box)
            return;
        title = box->windowTitle();
        hasIcon = box->icon() != QMessageBox::NoIcon;
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
            shown = label->text();
            format = label->textFormat();
        }
        box->button(QMessageBox::Ok)->click();
    });

    MessageBoxPrompter prompter;
    EXPECT_EQ(prompter.msgBox(text, Prompter::OkOnly, QStringLiteral("エラー")), Prompter::IdOk);
    EXPECT_EQ(title, QStringLiteral("エラー"));
    EXPECT_FALSE(hasIcon);
    EXPECT_EQ(shown, text);
    EXPECT_EQ(format, Qt::PlainText);
}

TEST(MessageBoxPrompterTest, BoxBelongsToTheWindowTheUserIsIn)
{
    // The main window may stay on top of all others; its boxes must come in front of it.
    QWidget window(nullptr, Qt::WindowStaysOnTopHint);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_EQ(QApplication::activeWindow(), &window);

    QWidget *owner = nullptr;
    QTimer::singleShot(0, [&] {
        if (QMessageBox *box = window.findChild<QMessageBox *>(); box && box->isVisible()) {
            owner = box->parentWidget();
            box->button(QMessageBox::Ok)->click();
        } else if (QMessageBox *stray = openMessageBox()) {
            stray->button(QMessageBox::Ok)->click();
        }
    });
    MessageBoxPrompter prompter;
    EXPECT_EQ(
        prompter.msgBox(QStringLiteral("常に手前表示が解除されました。"), Prompter::Information),
        Prompter::IdOk);
    EXPECT_EQ(owner, &window);
}

TEST(MessageBoxPrompterTest, OwnerClosingWhileTheBoxIsOpenCountsAsNo)
{
    auto *window = new QWidget;
    window->show();
    QApplication::setActiveWindow(window);
    bool boxOutlivedItsOwner = false;
    QTimer::singleShot(0, [window, &boxOutlivedItsOwner] {
        delete window;
        if (QMessageBox *stray = openMessageBox()) {
            boxOutlivedItsOwner = true;
            stray->button(QMessageBox::No)->click();
        }
    });
    MessageBoxPrompter prompter;
    EXPECT_EQ(prompter.msgBox(QStringLiteral("開きますか？"), Prompter::YesNo | Prompter::Question),
        Prompter::IdNo);
    EXPECT_FALSE(boxOutlivedItsOwner);
}
