// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the settings files: UTF-8, or CP932 (Shift_JIS) as files written on Japanese
// Windows systems are, and values measured in CP932 bytes. On Qt Core alone.
#include <QByteArray>
#include <QString>
#include <optional>

namespace Profile {

enum class Encoding { Utf8, Cp932 };

// Text of a settings file: UTF-8 (a leading byte-order mark is dropped) when the bytes are valid
// UTF-8, otherwise CP932 (Shift_JIS), the encoding of files written on Japanese Windows systems.
QString decodeText(
    const QByteArray &bytes, bool *wasUtf8WithBom = nullptr, Encoding *encoding = nullptr);

// text in CP932, or nullopt when a character has no CP932 form or the bytes would not read back
// as text (bytes that happen to be valid UTF-8 are read as UTF-8).
std::optional<QByteArray> encodeCp932(const QString &text);

// The longest start of text that is at most maxBytes bytes of CP932, cut between characters. A
// character without a CP932 form counts as its UTF-8 bytes, the way a file holding it is written.
QString truncateCp932(const QString &text, int maxBytes);

} // namespace Profile
