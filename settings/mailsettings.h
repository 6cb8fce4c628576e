// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings room (settings/): the settings files, the profile layer that reads and writes
// them and the records kept about servers, on Qt Core and the ground floor (core/) alone. It
// includes no window, dialog, mail or scene header and links no Widgets.
//
// The three settings files (vbmail.ini in the current folder; ★MailData/ini.ini and
// ★MailData/iniIdPass.ini in the program folder, or each user's own copy when the program
// folder cannot be written: core/programfolder.h) and the program-wide Mail settings, on Qt Core
// alone. The account file holds a password, so it is kept readable by its owner only.
#include "settings/profile.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct MailSettings {
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
// The files as read: program folder + "/★MailData/ini.ini" and "/★MailData/iniIdPass.ini", or the
// user's copies when the program folder cannot be written and they exist.
QString optionFilePath();
QString accountFilePath();

// Reads vbmail.ini from the current directory into the four server settings; a missing file
// leaves them as they are.
void ReadServerSettings(MailSettings &settings);
// Rewrites vbmail.ini whole (atomically), in CP932 when the file it replaces is in CP932 and every
// character fits, else in UTF-8. Returns false with a human reason in *error.
bool WriteServerSettings(const MailSettings &settings, QString *error = nullptr);

int ReadOptionNumber();
// "0", "1" or "2" as a number; no value removes the key. Failures are silent.
void WriteOptionNumber(std::optional<int> number);

// "NAME" or "NAME2": the stored text, or empty.
QString ReadAccountValue(const QString &key);
// Stored: NAME, NAME2, then NAME3 = "1"; not stored: only NAME3 = "0". Failures are silent.
void WriteAccount(const QString &id, const QString &password, bool store);

// ---- The pieces below the six operations, open to tests and fuzzing ----

// Applies the lines of a vbmail.ini (its whole bytes) to the four server settings, by the rules
// of ReadServerSettings: UTF-8, or CP932 when not valid UTF-8; a line ends at CR (a LF right after
// it is dropped) or at a bare LF; the first five characters must be exactly "SMTP=", "POP3=",
// "MAIL=" or "APOP="; values are cut to 100 characters; a repeated key ends with its last value.
void parseServerSettings(const QByteArray &bytes, MailSettings &settings);

// The APOP value: the decimal number at the start of text (blanks anywhere are ignored; a sign,
// digits, a fraction and an exponent are read up to the first character that cannot belong to the
// number; no number gives 0), rounded to the nearest integer with halves to the even neighbour.
// A number outside -32768 to 32767 is clamped to that range.
qint16 parseApopValue(const QString &text);

// The bytes WriteServerSettings stores: four lines, each ended by CR LF, in UTF-8, or in CP932
// when asked for and every character fits (the file it replaces was read as CP932).
QByteArray serverSettingsBytes(
    const MailSettings &settings, Profile::Encoding encoding = Profile::Encoding::Utf8);

// WriteServerSettings with the failure's code. A value with a line break is refused
// (Profile::ErrorCode::InvalidValue): it would come back as a different setting.
Profile::Status saveServerSettings(const MailSettings &settings);
