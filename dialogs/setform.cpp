// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/setform.h"

#include "dialogs/forms.h"
#include "dialogs/idpassform.h"
#include "dialogs/optionform.h"
#include "settings/mailsettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {
void setFaceColour(QPushButton *button, const QColor &colour)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour);
    button->setPalette(palette);
}
} // namespace

SetForm::SetForm(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("設定"));
    setClientSizeTwips(3135, 900);

    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    setAutoFillBackground(true);

    m_command1 = makeControl<QPushButton>(this, "Command1");
    m_command2 = makeControl<QPushButton>(this, "Command2");
    m_check1 = makeControl<QCheckBox>(this, "Check1");
    m_label1 = makeControl<QLabel>(this, "Label1");

    m_command1->setText(QStringLiteral("ID/PASS"));
    m_command2->setText(QStringLiteral("POPサーバー"));
    m_label1->setText(QStringLiteral("新着がなければ接続を切断する。"));
    m_label1->setTextFormat(Qt::PlainText);

    placeTwips(m_command1, 120, 120, 1455, 375);
    placeTwips(m_command2, 1560, 120, 1455, 375);
    placeTwips(m_check1, 120, 600, 255, 255);
    placeTwips(m_label1, 480, 645, 2535, 255);

    setFaceColour(m_command1, QColor(255, 128, 0));
    setFaceColour(m_command2, QColor(128, 128, 255));
    QPalette blue = m_label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_label1->setPalette(blue);
    m_label1->setAutoFillBackground(false);
    // Check1 shows only its box; its caption is the label beside it, and names it.
    clickThroughCaption(m_label1, m_check1);
    m_label1->setBuddy(m_check1);
    m_check1->setAccessibleName(m_label1->text());

    // Neither button is the default or the cancel button: Enter presses only a focused button
    // and Esc does nothing.
    m_command1->setAutoDefault(false);
    m_command2->setAutoDefault(false);

    setTabOrder(m_command2, m_command1);
    setTabOrder(m_command1, m_check1);
    m_command2->setFocus();

    connect(m_command1, &QPushButton::clicked, this, &SetForm::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &SetForm::Command2_Click);
}

void SetForm::loadStep()
{
    // 1 ticks the box, 0 clears it; any other value (2 belongs to the image dialog) leaves the
    // box as it was made, unchecked.
    switch (ReadOptionNumber()) {
    case 1:
        m_check1->setChecked(true);
        break;
    case 0:
        m_check1->setChecked(false);
        break;
    default:
        break;
    }
}

void SetForm::unloadStep()
{
    WriteOptionNumber(m_check1->isChecked() ? 1 : 0);
}

void SetForm::Command1_Click()
{
    forms().idPassForm.show();
}

void SetForm::Command2_Click()
{
    forms().optionForm.show();
}
