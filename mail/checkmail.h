#pragma once
// One check of the configured mailbox, through the POP3 library, ending with the result
// display: connect to Pop3Server, take the account afresh from the account file, log in (APOP
// when UseApop is set), fetch status, size and text of every message without keeping them,
// close, then show the event scene, the result texts and, when asked for, hang up.
//
// The check reaches the windows only through MailCheckHost, so it holds no widget of its own
// and shows no box itself.
#include <QString>

class NMailApi;
struct MailSettings;

class MailCheckHost {
public:
    virtual ~MailCheckHost() = default;

    // The account dialog's IdText and PassText (loading the dialog hidden when needed).
    virtual void setAccountInDialog(const QString &id, const QString &password) = 0;
    virtual void showAccountDialog() = 0;
    // The modal "エラー" box: OK only, no icon.
    virtual void showErrorBox(const QString &text) = 0;

    // Result display.
    virtual void startEventScene() = 0; // Command3_Click
    virtual void setResultTexts(const QString &text3, const QString &text6) = 0;
    virtual int hangUpOption() = 0; // SetForm's Check1, 1 when ticked
    virtual void hangUp() = 0; // Command5_Click
};

// The largest body buffer a check makes. A message larger than this is still fetched (and its
// headers read) but its text is cut; the check never keeps message text anyway.
constexpr int MaxBodyBuffer = 256 * 1024 * 1024;

void CheckMail(NMailApi &library, MailSettings &settings, MailCheckHost &host);
void ShowCheckResult(int count, MailCheckHost &host);
