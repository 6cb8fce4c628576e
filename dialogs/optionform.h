// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The server settings dialog: the four server settings of vbmail.ini. OK copies the boxes into
// the program's Mail settings at once and rewrites the file; Cancel, Esc and the close box
// only close. From its load on it stays above other windows.
#include "ui/form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class OptionForm : public Form {
    Q_OBJECT
public:
    explicit OptionForm(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QLineEdit *SmtpText() const { return m_smtpText; }
    QLabel *Label2() const { return m_label2; }
    QLineEdit *Pop3Text() const { return m_pop3Text; }
    QLabel *Label3() const { return m_label3; }
    QLineEdit *MailText() const { return m_mailText; }
    QCheckBox *ApopCheck() const { return m_apopCheck; }
    QPushButton *OKCommand() const { return m_okCommand; }
    QPushButton *CancelCommand() const { return m_cancelCommand; }

protected:
    void loadStep() override;
    void prepareForDisplay() override { fitCaptions(); }

private:
    void OKCommand_Click();
    void CancelCommand_Click();

    QLabel *m_label1;
    QLineEdit *m_smtpText;
    QLabel *m_label2;
    QLineEdit *m_pop3Text;
    QLabel *m_label3;
    QLineEdit *m_mailText;
    QCheckBox *m_apopCheck;
    QPushButton *m_okCommand;
    QPushButton *m_cancelCommand;
};
