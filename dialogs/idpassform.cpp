// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/idpassform.h"

#include "settings/mailsettings.h"

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>

namespace {
// One "*" per character of the password, whatever the style's own mask character. (A style
// sheet would do the same, at the cost of a style sheet engine for the dialog, loaded hidden
// at every start.)
class AsteriskStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The key QStyleFactory knows a style by. A proxy style (the application may set one) has no key
// of its own: the style it wraps is the one to copy.
QString styleKey(const QStyle *style)
{
    while (const auto *proxy = qobject_cast<const QProxyStyle *>(style))
        style = proxy->baseStyle();
    return style->name();
}

// The password box: the input method is off and cannot be switched on in it. Qt keeps input
// methods on for password fields (for on-screen keyboards), so the box answers the input
// context itself and drops any composition that arrives all the same.
class PasswordEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override
    {
        if (query == Qt::ImEnabled)
            return false;
        return QLineEdit::inputMethodQuery(query);
    }

protected:
    void inputMethodEvent(QInputMethodEvent *event) override
    {
        QInputMethodEvent committed;
        committed.setCommitString(event->commitString());
        QLineEdit::inputMethodEvent(&committed);
        event->accept();
    }
};
} // namespace

IdPassForm::IdPassForm(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID,PASS"));
    setClientSizeTwips(2880, 1785);

    m_label1 = makeControl<QLabel>(this, "Label1");
    m_idText = makeControl<QLineEdit>(this, "IdText");
    m_label2[0] = makeControl<QLabel>(this, "Label2_0");
    m_passText = makeControl<PasswordEdit>(this, "PassText");
    m_check1 = makeControl<QCheckBox>(this, "Check1");
    m_label2[1] = makeControl<QLabel>(this, "Label2_1");
    m_okCommand = makeControl<QPushButton>(this, "OKCommand");
    m_cancelCommand = makeControl<QPushButton>(this, "CancelCommand");
    m_label2[0]->setProperty("index", 0);
    m_label2[1]->setProperty("index", 1);

    m_label1->setText(QStringLiteral("ID"));
    m_label2[0]->setText(QStringLiteral("Password"));
    m_label2[1]->setText(QStringLiteral("IDパスワードを保存する"));
    m_okCommand->setText(QStringLiteral("OK"));
    m_cancelCommand->setText(QStringLiteral("Cancel"));
    for (QLabel *label : { m_label1, m_label2[0], m_label2[1] })
        label->setTextFormat(Qt::PlainText);

    placeTwips(m_label1, 120, 180, 675, 255);
    placeTwips(m_idText, 960, 120, 1632, 264);
    placeTwips(m_label2[0], 120, 600, 795, 255);
    placeTwips(m_passText, 960, 600, 1632, 264);
    placeTwips(m_check1, 420, 1020, 255, 255);
    placeTwips(m_label2[1], 780, 1020, 1875, 255);
    placeTwips(m_okCommand, 900, 1380, 852, 312);
    placeTwips(m_cancelCommand, 1860, 1380, 852, 312);

    QPalette blue = m_label2[1]->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_label2[1]->setPalette(blue);
    // Check1 shows only its box; its caption is the label beside it, and names it.
    clickThroughCaption(m_label2[1], m_check1);
    m_label2[1]->setBuddy(m_check1);
    m_check1->setAccessibleName(m_label2[1]->text());
    // Each box is read with the label before it.
    m_label1->setBuddy(m_idText);
    m_label2[0]->setBuddy(m_passText);

    // The password shows one "*" per character whatever the style's own mask character, and
    // takes no input-method composition.
    m_passText->setEchoMode(QLineEdit::Password);
    auto *asterisks = new AsteriskStyle(QStyleFactory::create(styleKey(m_passText->style())));
    asterisks->setParent(m_passText);
    m_passText->setStyle(asterisks);
    m_passText->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData
        | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    m_passText->setAttribute(Qt::WA_InputMethodEnabled, false);

    setTabOrder(m_idText, m_passText);
    setTabOrder(m_passText, m_okCommand);
    setTabOrder(m_okCommand, m_cancelCommand);
    setTabOrder(m_cancelCommand, m_check1);
    m_idText->setFocus();

    m_okCommand->setAutoDefault(false);
    m_okCommand->setDefault(true);
    m_cancelCommand->setAutoDefault(false);
    setDefaultButton(m_okCommand);
    setCancelButton(m_cancelCommand);

    connect(m_okCommand, &QPushButton::clicked, this, &IdPassForm::OKCommand_Click);
    connect(m_cancelCommand, &QPushButton::clicked, this, &IdPassForm::CancelCommand_Click);
}

void IdPassForm::loadStep()
{
    m_idText->setText(ReadAccountValue(QStringLiteral("NAME")));
    m_passText->setText(ReadAccountValue(QStringLiteral("NAME2")));
    // Check1 stays unchecked: the box never tells whether the account was stored before.
}

void IdPassForm::OKCommand_Click()
{
    MailSettings &settings = mailSettings();
    settings.UserId = m_idText->text();
    settings.UserPassword = m_passText->text();
    WriteAccount(settings.UserId, settings.UserPassword, m_check1->isChecked());
    unloadForm();
}

void IdPassForm::CancelCommand_Click()
{
    unloadForm();
}
