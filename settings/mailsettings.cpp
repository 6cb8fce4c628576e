// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/mailsettings.h"

#include "core/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace {

const QString ExeSection = QStringLiteral("EXEINI");
const QString OptionFile = QStringLiteral("/★MailData/ini.ini");
const QString AccountFile = QStringLiteral("/★MailData/iniIdPass.ini");
constexpr int MaxServerValueChars = 100;

// The first count characters of text; a character outside the Basic Multilingual Plane counts as
// one and is never split.
QString leftCharacters(QStringView text, int count)
{
    qsizetype i = 0;
    for (int n = 0; n < count && i < text.size(); ++n) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            i += 2;
        else
            ++i;
    }
    return text.first(i).toString();
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

double parseDecimal(const QString &text)
{
    // Blanks are ignored wherever they are, so "1 2" reads as 12, as the classic reader does.
    QString chars;
    chars.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            chars += c;
    }

    std::string number;
    qsizetype i = 0;
    if (i < chars.size() && (chars[i] == u'-' || chars[i] == u'+')) {
        if (chars[i] == u'-')
            number += '-';
        ++i;
    }
    bool anyDigit = false;
    for (; i < chars.size() && isDigit(chars[i]); ++i) {
        number += char(chars[i].unicode());
        anyDigit = true;
    }
    if (i < chars.size() && chars[i] == u'.') {
        number += '.';
        for (++i; i < chars.size() && isDigit(chars[i]); ++i) {
            number += char(chars[i].unicode());
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0;
    if (i < chars.size() && QStringView(u"eEdD").contains(chars[i])) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        if (j < chars.size() && (chars[j] == u'-' || chars[j] == u'+'))
            exponent += char(chars[j++].unicode());
        const qsizetype digitsAt = j;
        for (; j < chars.size() && isDigit(chars[j]); ++j)
            exponent += char(chars[j].unicode());
        if (j > digitsAt)
            number += exponent;
    }
    // strtod in the C locale: the user's locale may use another decimal mark.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

} // namespace

MailSettings &mailSettings()
{
    static MailSettings settings;
    return settings;
}

QString serverSettingsPath()
{
    return QStringLiteral("vbmail.ini");
}

QString optionFilePath()
{
    return settingsFileForReading(OptionFile);
}

QString accountFilePath()
{
    return settingsFileForReading(AccountFile);
}

qint16 parseApopValue(const QString &text)
{
    const double value = std::nearbyint(parseDecimal(text)); // halves to even by default
    if (std::isnan(value))
        return 0;
    if (value <= std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    if (value >= std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    return qint16(value);
}

void parseServerSettings(const QByteArray &bytes, MailSettings &settings)
{
    const QString text = Profile::decodeText(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QStringView line = QStringView(text).sliced(start, end - start);
        start = end + 1;
        if (end < text.size() && text[end] == u'\r' && start < text.size() && text[start] == u'\n')
            ++start;

        const QStringView key = line.first(qMin<qsizetype>(5, line.size()));
        const QString value = leftCharacters(line.sliced(key.size()), MaxServerValueChars);
        if (key == u"SMTP=")
            settings.SmtpServer = value;
        else if (key == u"POP3=")
            settings.Pop3Server = value;
        else if (key == u"MAIL=")
            settings.MailAddress = value;
        else if (key == u"APOP=")
            settings.UseApop = parseApopValue(value);
    }
}

void ReadServerSettings(MailSettings &settings)
{
    const QFileInfo info(serverSettingsPath());
    if (!info.exists() || !info.isFile())
        return;
    QFile file(serverSettingsPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return;
    parseServerSettings(bytes, settings);
}

QByteArray serverSettingsBytes(const MailSettings &settings, Profile::Encoding encoding)
{
    const QString text = QStringLiteral("SMTP=") + settings.SmtpServer + QStringLiteral("\r\nPOP3=")
        + settings.Pop3Server + QStringLiteral("\r\nMAIL=") + settings.MailAddress
        + QStringLiteral("\r\nAPOP=") + QString::number(settings.UseApop) + QStringLiteral("\r\n");
    if (encoding == Profile::Encoding::Cp932) {
        if (std::optional<QByteArray> bytes = Profile::encodeCp932(text))
            return *bytes;
    }
    return text.toUtf8();
}

Profile::Status saveServerSettings(const MailSettings &settings)
{
    for (const QString *value :
        { &settings.SmtpServer, &settings.Pop3Server, &settings.MailAddress }) {
        if (Profile::hasLineBreak(*value))
            return Profile::Status {
                Profile::ErrorCode::InvalidValue,
                QStringLiteral("「%1」を保存できません: 改行を含む値は保存できません。")
                    .arg(QDir::toNativeSeparators(
                        QDir::current().absoluteFilePath(serverSettingsPath()))),
            };
    }
    // A file written on Windows (CP932) stays in CP932, so that a copy shared with it reads right.
    Profile::Encoding encoding = Profile::Encoding::Utf8;
    if (QFileInfo(serverSettingsPath()).isFile()) {
        QFile file(serverSettingsPath());
        if (file.open(QIODevice::ReadOnly))
            Profile::decodeText(file.readAll(), nullptr, &encoding);
    }
    return Profile::replaceFile(serverSettingsPath(), serverSettingsBytes(settings, encoding));
}

bool WriteServerSettings(const MailSettings &settings, QString *error)
{
    const Profile::Status status = saveServerSettings(settings);
    if (error)
        *error = status.text;
    return status.ok();
}

int ReadOptionNumber()
{
    return Profile::readInt(ExeSection, QStringLiteral("NUMBER"), 0, optionFilePath());
}

void WriteOptionNumber(std::optional<int> number)
{
    const std::optional<QString> value
        = number ? std::optional<QString>(QString::number(*number)) : std::nullopt;
    Profile::write(ExeSection, QStringLiteral("NUMBER"), value, settingsFileForWriting(OptionFile));
}

QString ReadAccountValue(const QString &key)
{
    return Profile::readString(ExeSection, key, QString(), accountFilePath());
}

void WriteAccount(const QString &id, const QString &password, bool store)
{
    // The file holds a password: created for its owner only, and kept so.
    const Profile::FileMode mode { 0600, true };
    const QString path = settingsFileForWriting(AccountFile);
    if (store) {
        // In one write: storing the ID but not the password (or the reverse) would leave a
        // stored account that was never typed.
        Profile::write(ExeSection,
            { { QStringLiteral("NAME"), id }, { QStringLiteral("NAME2"), password },
                { QStringLiteral("NAME3"), QStringLiteral("1") } },
            path, mode);
    } else {
        Profile::write(ExeSection, QStringLiteral("NAME3"), QStringLiteral("0"), path, mode);
    }
}
