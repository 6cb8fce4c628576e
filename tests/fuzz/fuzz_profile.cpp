// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the initialisation-file reader and writer. Not part of the normal build.
//
// Input: "section\x01key\x01value\0" followed by the file's bytes; without a NUL the whole input
// is the file and EXEINI / NAME / "v" are used. Checks, beyond not crashing:
//  - an unchanged valid UTF-8 file is written back byte for byte;
//  - a value set reads back exactly after the file is written and read again, and a removed key
//    reads as missing;
//  - other keys keep their values;
//  - the 255-byte cut is a prefix of at most 255 bytes.
#include "fuzzcheck.h"
#include "settings/profile.h"

#include <QStringDecoder>

#include <cstdint>

namespace {

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QString section = QStringLiteral("EXEINI");
    QString key = QStringLiteral("NAME");
    QString value = QStringLiteral("v");
    QByteArray file = input;
    const qsizetype nul = input.indexOf('\0');
    if (nul >= 0) {
        const QList<QByteArray> parts = input.left(nul).split('\x01');
        section = QString::fromUtf8(parts.value(0));
        key = QString::fromUtf8(parts.value(1));
        value = QString::fromUtf8(parts.value(2));
        file = input.mid(nul + 1);
    }

    const Profile::Document original = Profile::Document::parse(file);
    if (isUtf8(file))
        CHECK(original.toBytes() == file);

    const std::optional<QString> before = original.value(section, key);
    if (before) {
        const QString cut = Profile::truncateCp932(*before, Profile::MaxStringBytes);
        if (const std::optional<QByteArray> cp932 = Profile::encodeCp932(cut))
            CHECK(cp932->size() <= Profile::MaxStringBytes);
        CHECK(before->startsWith(cut));
        Profile::parseInt(*before);
    }

    const QList<std::pair<QString, QString>> probes = {
        { section, key + QStringLiteral("2") },
        { section, QStringLiteral("NAME3") },
        { QStringLiteral("A"), QStringLiteral("B") },
        { QStringLiteral("EXEINI"), QStringLiteral("NUMBER") },
        { QStringLiteral("EXEINI"), QStringLiteral("NAME") },
        { key, section },
    };
    auto probesKept = [&](const Profile::Document &doc) {
        for (const auto &[s, k] : probes) {
            if (sameName(s, section) && sameName(k, key))
                continue;
            CHECK(doc.value(s, k) == original.value(s, k));
        }
    };

    Profile::Document set = original;
    if (set.setValue(section, key, value)) {
        const Profile::Document again = Profile::Document::parse(set.toBytes());
        CHECK(again.value(section, key) == value);
        probesKept(again);
        CHECK(Profile::Document::decodeValue(Profile::Document::encodeValue(value)) == value);
    }

    Profile::Document removed = original;
    if (removed.setValue(section, key, std::nullopt)) {
        const Profile::Document again = Profile::Document::parse(removed.toBytes());
        CHECK(!again.value(section, key).has_value());
        probesKept(again);
        CHECK(removed.isModified() == before.has_value());
    }
    return 0;
}
