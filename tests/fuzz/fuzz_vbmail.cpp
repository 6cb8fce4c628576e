// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the vbmail.ini reader. Not part of the normal build.
//
// Checks, beyond not crashing: the three texts hold at most 100 characters and no line break, and
// what WriteServerSettings would store from them reads back as the same settings.
#include "fuzzcheck.h"
#include "settings/mailsettings.h"

#include <cstdint>

namespace {

qsizetype characters(const QString &text)
{
    return text.toUcs4().size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    MailSettings settings;
    parseServerSettings(input, settings);
    for (const QString *text :
        { &settings.SmtpServer, &settings.Pop3Server, &settings.MailAddress }) {
        CHECK(characters(*text) <= 100);
        CHECK(!text->contains(u'\r') && !text->contains(u'\n'));
    }

    MailSettings again;
    parseServerSettings(serverSettingsBytes(settings), again);
    CHECK(again.SmtpServer == settings.SmtpServer);
    CHECK(again.Pop3Server == settings.Pop3Server);
    CHECK(again.MailAddress == settings.MailAddress);
    CHECK(again.UseApop == settings.UseApop);

    parseApopValue(QString::fromUtf8(input));
    return 0;
}
