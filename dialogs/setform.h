// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings hub dialog: two buttons that open the account and server settings dialogs, and
// Check1, the live switch "hang up after every mail check", stored as NUMBER when the dialog is
// closed.
#include "ui/form.h"

class QCheckBox;
class QLabel;
class QPushButton;

class SetForm : public Form {
    Q_OBJECT
public:
    explicit SetForm(QWidget *parent = nullptr);

    QPushButton *Command1() const { return m_command1; }
    QPushButton *Command2() const { return m_command2; }
    QCheckBox *Check1() const { return m_check1; }
    QLabel *Label1() const { return m_label1; }

protected:
    void loadStep() override;
    void prepareForDisplay() override { fitCaptions(); }
    void unloadStep() override;

private:
    void Command1_Click();
    void Command2_Click();

    QPushButton *m_command1;
    QPushButton *m_command2;
    QCheckBox *m_check1;
    QLabel *m_label1;
};
