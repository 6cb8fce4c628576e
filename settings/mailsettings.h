#pragma once
// The settings files and the program-wide Mail settings.
//  - vbmail.ini, in the current directory: four lines "SMTP=", "POP3=", "MAIL=", "APOP=".
//  - <program folder>/★MailData/ini.ini: [EXEINI] NUMBER, the option number shared by the
//    hang-up option and the event-picture choice.
//  - <program folder>/★MailData/iniIdPass.ini: [EXEINI] NAME, NAME2, NAME3, the account; it holds
//    a password, so it is kept readable by its owner only.
#include <QString>
#include <optional>

struct MailSettings
{
    QString SmtpServer;
    QString Pop3Server;
    QString MailAddress;
    qint16 UseApop = 0;
    QString UserId;
    QString UserPassword;
};

// The one record for the whole run.
MailSettings &mailSettings();

QString serverSettingsPath(); // "vbmail.ini"
QString optionFilePath();     // program folder + "/★MailData/ini.ini"
QString accountFilePath();    // program folder + "/★MailData/iniIdPass.ini"

// Reads vbmail.ini from the current directory into the four server settings; a missing file
// leaves them as they are.
void ReadServerSettings(MailSettings &settings);
// Rewrites vbmail.ini whole (atomically). Returns false with a human reason in *error.
bool WriteServerSettings(const MailSettings &settings, QString *error = nullptr);

int ReadOptionNumber();
// "0", "1" or "2" as a number; no value removes the key. Failures are silent.
void WriteOptionNumber(std::optional<int> number);

// "NAME" or "NAME2": the stored text, or empty.
QString ReadAccountValue(const QString &key);
// Stored: NAME, NAME2, then NAME3 = "1"; not stored: only NAME3 = "0". Failures are silent.
void WriteAccount(const QString &id, const QString &password, bool store);
