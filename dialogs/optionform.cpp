// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/optionform.h"

#include "settings/mailsettings.h"
#include "ui/prompter.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QColor Blue(0, 0, 255);

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace

OptionForm::OptionForm(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("サーバー設定"));
    setClientSizeTwips(2895, 3015);

    m_label1 = makeControl<QLabel>(this, "Label1");
    m_smtpText = makeControl<QLineEdit>(this, "SmtpText");
    m_label2 = makeControl<QLabel>(this, "Label2");
    m_pop3Text = makeControl<QLineEdit>(this, "Pop3Text");
    m_label3 = makeControl<QLabel>(this, "Label3");
    m_mailText = makeControl<QLineEdit>(this, "MailText");
    m_apopCheck = makeControl<QCheckBox>(this, "ApopCheck");
    m_okCommand = makeControl<QPushButton>(this, "OKCommand");
    m_cancelCommand = makeControl<QPushButton>(this, "CancelCommand");

    m_label1->setText(QStringLiteral("SMTPサーバー名(&S)"));
    m_label2->setText(QStringLiteral("POP3サーバー名(&P)"));
    m_label3->setText(QStringLiteral("メールアドレス(&M)"));
    m_apopCheck->setText(QStringLiteral("APOP を使用する(&A)"));
    m_okCommand->setText(QStringLiteral("設定"));
    m_cancelCommand->setText(QStringLiteral("中止"));

    placeTwips(m_label1, 120, 120, 1575, 195);
    placeTwips(m_smtpText, 120, 360, 2652, 264);
    placeTwips(m_label2, 120, 720, 1635, 195);
    placeTwips(m_pop3Text, 120, 960, 2652, 264);
    placeTwips(m_label3, 120, 1320, 1635, 195);
    placeTwips(m_mailText, 120, 1560, 2652, 264);
    placeTwips(m_apopCheck, 480, 2040, 2172, 252);
    placeTwips(m_okCommand, 660, 2520, 972, 372);
    placeTwips(m_cancelCommand, 1860, 2520, 912, 372);

    for (QWidget *w : { static_cast<QWidget *>(m_label1), static_cast<QWidget *>(m_label2),
             static_cast<QWidget *>(m_label3), static_cast<QWidget *>(m_apopCheck) })
        setTextColour(w, Blue);

    // Each label's access key moves the focus to the box below it.
    m_label1->setBuddy(m_smtpText);
    m_label2->setBuddy(m_pop3Text);
    m_label3->setBuddy(m_mailText);

    setTabOrder(m_smtpText, m_pop3Text);
    setTabOrder(m_pop3Text, m_apopCheck);
    setTabOrder(m_apopCheck, m_okCommand);
    setTabOrder(m_okCommand, m_cancelCommand);
    setTabOrder(m_cancelCommand, m_mailText);
    m_smtpText->setFocus();

    // No default button: Enter in a text box does not press OK.
    m_okCommand->setAutoDefault(false);
    m_cancelCommand->setAutoDefault(false);
    setCancelButton(m_cancelCommand);

    connect(m_okCommand, &QPushButton::clicked, this, &OptionForm::OKCommand_Click);
    connect(m_cancelCommand, &QPushButton::clicked, this, &OptionForm::CancelCommand_Click);
}

void OptionForm::loadStep()
{
    // Always on top from the load on, and shown at once.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    showForm();

    const MailSettings &settings = mailSettings();
    m_smtpText->setText(settings.SmtpServer);
    m_pop3Text->setText(settings.Pop3Server);
    m_mailText->setText(settings.MailAddress);
    // Only a hand-edited file holds a value other than 0 or 1; any non-zero value means APOP,
    // so the box shows it checked (and OK then stores 1).
    m_apopCheck->setChecked(settings.UseApop != 0);
}

void OptionForm::OKCommand_Click()
{
    MailSettings &settings = mailSettings();
    settings.SmtpServer = m_smtpText->text();
    settings.Pop3Server = m_pop3Text->text();
    settings.MailAddress = m_mailText->text();
    settings.UseApop = m_apopCheck->isChecked() ? 1 : 0;

    QString error;
    const bool written = WriteServerSettings(settings, &error);
    // The dialog goes first: it stays above other windows and would hide the box.
    unloadForm();
    if (!written) {
        // The new values serve the running program all the same; the old file stays whole.
        QString text = QStringLiteral("サーバー設定をファイルに保存できませんでした。\n"
                                      "設定は今回の実行中はそのまま使いますが、"
                                      "次回の起動時には保存されている値に戻ります。\n\n");
        const QString file
            = QDir::toNativeSeparators(QDir::current().absoluteFilePath(serverSettingsPath()));
        if (!error.contains(serverSettingsPath()))
            text += QStringLiteral("ファイル: %1\n理由: ").arg(file);
        text += error.isEmpty() ? QStringLiteral("不明なエラーです。") : error;
        prompter().msgBox(text, Prompter::Exclamation);
    }
}

void OptionForm::CancelCommand_Click()
{
    unloadForm();
}
