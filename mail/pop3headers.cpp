// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/pop3headers.h"

#include <QByteArray>
#include <QStringDecoder>
#include <cstring>

namespace {

// Headers beyond this much are not looked at: a message without an empty line is otherwise all
// header.
constexpr qsizetype MaxHeaderBytes = 256 * 1024;

QString decodeBytes(QByteArrayView bytes, QByteArrayView charset)
{
    const QByteArray name = charset.toByteArray();
    QStringDecoder decoder(name.constData());
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (!decoder.hasError())
            return text;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQ(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
            && hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// Decodes "=?charset?enc?text?=" at the start of raw; returns the consumed length, or 0 when
// raw does not start with a well-formed encoded word.
qsizetype decodeEncodedWord(QByteArrayView raw, QString *out)
{
    if (!raw.startsWith("=?"))
        return 0;
    const qsizetype q1 = raw.indexOf('?', 2);
    if (q1 < 0 || q1 + 2 >= raw.size() || raw[q1 + 2] != '?')
        return 0;
    const char encoding = raw[q1 + 1];
    const qsizetype end = raw.indexOf("?=", q1 + 3);
    if (end < 0)
        return 0;
    QByteArrayView charset = raw.sliced(2, q1 - 2);
    if (const qsizetype star = charset.indexOf('*'); star >= 0) // RFC 2231 language suffix
        charset = charset.first(star);
    const QByteArrayView text = raw.sliced(q1 + 3, end - q1 - 3);
    if (text.contains(' ') || charset.isEmpty())
        return 0;
    QByteArray bytes;
    if (encoding == 'B' || encoding == 'b') {
        const auto decoded = QByteArray::fromBase64Encoding(text.toByteArray());
        if (!decoded)
            return 0;
        bytes = decoded.decoded;
    } else if (encoding == 'Q' || encoding == 'q') {
        bytes = decodeQ(text);
    } else {
        return 0;
    }
    *out = decodeBytes(bytes, charset);
    return end + 2;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

QString decodeHeaderValue(QByteArrayView raw)
{
    QString result;
    QByteArray plain; // undecoded run, decoded as a whole so multi-byte text stays intact
    QByteArray pendingGap; // white space after an encoded word, dropped if another one follows
    bool lastWasEncoded = false;
    qsizetype i = 0;
    auto flushPlain = [&] {
        if (!plain.isEmpty())
            result += decodeBytes(plain, "UTF-8");
        plain.clear();
    };
    while (i < raw.size()) {
        QString word;
        const bool wordStart = i == 0 || isSpace(raw[i - 1]) || raw[i - 1] == '(' || lastWasEncoded;
        if (const qsizetype used = wordStart ? decodeEncodedWord(raw.sliced(i), &word) : 0) {
            if (!lastWasEncoded)
                plain += pendingGap;
            pendingGap.clear();
            flushPlain();
            result += word;
            i += used;
            lastWasEncoded = true;
            continue;
        }
        if (isSpace(raw[i])) {
            pendingGap += raw[i] == '\t' ? ' ' : raw[i];
            ++i;
            continue;
        }
        plain += pendingGap;
        pendingGap.clear();
        plain += raw[i];
        lastWasEncoded = false;
        ++i;
    }
    if (!lastWasEncoded)
        plain += pendingGap;
    flushPlain();
    return result.trimmed();
}

MailHeaderFields parseMailHeaders(QByteArrayView message)
{
    MailHeaderFields fields;
    const QByteArrayView head = message.first(std::min(message.size(), MaxHeaderBytes));
    bool haveSubject = false, haveFrom = false, haveDate = false, haveId = false;

    auto store = [&](QByteArrayView name, QByteArrayView value) {
        auto take = [&](const char *field, bool *have, QString *target) {
            if (!*have && name.compare(field, Qt::CaseInsensitive) == 0) {
                *have = true;
                *target = decodeHeaderValue(value);
            }
        };
        take("Subject", &haveSubject, &fields.subject);
        take("From", &haveFrom, &fields.from);
        take("Date", &haveDate, &fields.date);
        take("Message-ID", &haveId, &fields.messageId);
    };

    QByteArray field; // the current field, unfolded
    auto finishField = [&] {
        const qsizetype colon = field.indexOf(':');
        if (colon > 0)
            store(QByteArrayView(field).first(colon).trimmed(),
                QByteArrayView(field).sliced(colon + 1));
        field.clear();
    };

    qsizetype pos = 0;
    while (pos < head.size()) {
        qsizetype eol = head.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? head.size() : eol + 1;
        if (eol < 0)
            eol = head.size();
        QByteArrayView line = head.sliced(pos, eol - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = next;
        if (line.isEmpty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !field.isEmpty()) {
            field += line;
        } else {
            finishField();
            field = line.toByteArray();
        }
        if (field.size() > MaxHeaderBytes)
            field.truncate(MaxHeaderBytes);
    }
    finishField();
    return fields;
}

qsizetype writeCutUtf8(std::span<char> buffer, QByteArrayView utf8)
{
    if (buffer.empty())
        return 0;
    qsizetype length = std::min<qsizetype>(utf8.size(), qsizetype(buffer.size()) - 1);
    if (length < utf8.size()) {
        // Step back over continuation bytes so the cut falls before a character's first byte.
        while (length > 0 && (uchar(utf8[length]) & 0xC0) == 0x80)
            --length;
    }
    if (length > 0)
        std::memcpy(buffer.data(), utf8.data(), size_t(length));
    buffer[size_t(length)] = '\0';
    return length;
}
