// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The account dialog: the ID and password for the POP3 login. Its two text boxes are the live
// holders of the account as last loaded; OK puts them into the Mail settings and, when Check1
// is ticked, stores them in the account file.
//
// Label2 is a control array of two labels; its members are named "Label2_0" and "Label2_1" and
// carry their index in the "index" property.
#include "ui/form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class IdPassForm : public Form {
    Q_OBJECT
public:
    explicit IdPassForm(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QLineEdit *IdText() const { return m_idText; }
    // index 0: "Password", index 1: the caption of Check1.
    QLabel *Label2(int index) const { return m_label2[index == 0 ? 0 : 1]; }
    QLineEdit *PassText() const { return m_passText; }
    QCheckBox *Check1() const { return m_check1; }
    QPushButton *OKCommand() const { return m_okCommand; }
    QPushButton *CancelCommand() const { return m_cancelCommand; }

protected:
    void loadStep() override;
    void prepareForDisplay() override { fitCaptions(); }

private:
    void OKCommand_Click();
    void CancelCommand_Click();

    QLabel *m_label1;
    QLineEdit *m_idText;
    QLabel *m_label2[2];
    QLineEdit *m_passText;
    QCheckBox *m_check1;
    QPushButton *m_okCommand;
    QPushButton *m_cancelCommand;
};
