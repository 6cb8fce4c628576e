// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Profile {

namespace {

// Qt provides CP932 through ICU as "windows-31j", the Windows code page 932 flavour of Shift_JIS
// (NEC and IBM extensions, 0x5C as backslash, 0x8160 as U+FF5E).
const char *cp932Name()
{
    static const char *const name = [] {
        for (const char *candidate : { "windows-31j", "Shift_JIS" }) {
            if (QStringDecoder(candidate).isValid())
                return candidate;
        }
        return static_cast<const char *>(nullptr);
    }();
    return name;
}

int utf8Size(QStringView character)
{
    const char16_t c = character.front().unicode();
    if (character.size() == 2)
        return 4;
    return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; // an unpaired surrogate encodes as U+FFFD
}

} // namespace

QString decodeText(const QByteArray &bytes, bool *wasUtf8WithBom, Encoding *encoding)
{
    if (wasUtf8WithBom)
        *wasUtf8WithBom = false;
    if (encoding)
        *encoding = Encoding::Utf8;
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    {
        // The mark is dropped here, once; the decoder must keep any further U+FEFF as text.
        QStringDecoder utf8(QStringConverter::Utf8,
            QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        QString text = utf8.decode(bom ? bytes.sliced(3) : bytes);
        if (!utf8.hasError()) {
            if (wasUtf8WithBom)
                *wasUtf8WithBom = bom;
            return text;
        }
    }
    if (!cp932Name())
        return QString::fromLatin1(bytes);
    if (encoding)
        *encoding = Encoding::Cp932;
    return QStringDecoder(cp932Name(), QStringConverter::Flag::Stateless).decode(bytes);
}

std::optional<QByteArray> encodeCp932(const QString &text)
{
    if (!cp932Name())
        return std::nullopt;
    QByteArray bytes = QStringEncoder(cp932Name(), QStringConverter::Flag::Stateless).encode(text);
    // ICU puts a substitute in place of a character without a CP932 form (and maps a few, such
    // as U+00A5, one way only), so reading the bytes back is what tells whether all of it fits.
    if (decodeText(bytes) != text)
        return std::nullopt;
    return bytes;
}

QString truncateCp932(const QString &text, int maxBytes)
{
    std::optional<QStringEncoder> encoder;
    std::optional<QStringDecoder> decoder;
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype units
            = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ? 2
            : 1;
        const QStringView character = QStringView(text).sliced(i, units);
        int size = 1;
        if (character.front().unicode() >= 0x80) {
            size = utf8Size(character);
            if (cp932Name()) {
                if (!encoder) {
                    encoder.emplace(cp932Name(), QStringConverter::Flag::Stateless);
                    decoder.emplace(cp932Name(), QStringConverter::Flag::Stateless);
                }
                const QByteArray encoded = encoder->encode(character);
                if (!encoded.isEmpty() && QString(decoder->decode(encoded)) == character)
                    size = int(encoded.size());
            }
        }
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += units;
    }
    return text.left(i);
}

} // namespace Profile
