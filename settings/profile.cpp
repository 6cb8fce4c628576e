// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <climits>
#include <sys/stat.h>

namespace Profile {

using AtomicFile::displayPath;
using AtomicFile::removeStrayTemporaries;

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A section or key name, trimmed, or empty when it cannot be stored on a line of its own and read
// back as the same name.
QString validSection(const QString &section)
{
    const QString name = trimBlanks(section).toString();
    if (name.isEmpty() || hasLineBreak(name) || name.contains(u']') || !name.isValidUtf16())
        return {};
    return name;
}

QString validKey(const QString &key)
{
    const QString name = trimBlanks(key).toString();
    if (name.isEmpty() || hasLineBreak(name) || name.contains(u'=') || !name.isValidUtf16())
        return {};
    const QChar first = name.front();
    if (first == u'[' || first == u';' || first == u'#')
        return {};
    return name;
}

bool validValue(const QString &value)
{
    return !hasLineBreak(value) && value.isValidUtf16();
}

Status failure(ErrorCode code, QString text)
{
    return Status { code, std::move(text) };
}

enum class ReadResult { Ok, Missing, NotAFile, Failed };

ReadResult readWholeFile(const QString &path, QByteArray *bytes, int *error)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        *error = errno;
        return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode))
        return ReadResult::NotAFile;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = errno;
        return ReadResult::Failed;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = errno;
        return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

// The document of a settings file for reading; a missing or unreadable file reads as empty.
std::optional<Document> loadForReading(const QString &path)
{
    QByteArray bytes;
    int error = 0;
    if (readWholeFile(path, &bytes, &error) != ReadResult::Ok)
        return std::nullopt;
    return Document::parse(bytes);
}

bool hasWideMode(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 077) != 0;
}

} // namespace

bool hasLineBreak(QStringView text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

int parseInt(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 magnitude = 0;
    const qint64 limit = negative ? -qint64(INT_MIN) : qint64(INT_MAX);
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        if (magnitude > limit)
            magnitude = limit; // clamped; later digits cannot bring it back
    }
    return int(negative ? -magnitude : magnitude);
}

// ---- Document ----

Document Document::parse(const QByteArray &bytes)
{
    Document doc;
    const QString text = decodeText(bytes, &doc.m_bom, &doc.m_encoding);
    bool lineEndSeen = false;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        const qsizetype endLength
            = (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
        Line line { text.sliced(start, i - start), text.sliced(i, endLength) };
        if (!lineEndSeen) {
            doc.m_lineEnd = line.end;
            lineEndSeen = true;
        }
        doc.m_lines.append(std::move(line));
        i += endLength;
        start = i;
    }
    if (start < text.size())
        doc.m_lines.append(Line { text.sliced(start), QString() });
    return doc;
}

QByteArray Document::toBytes() const
{
    QString text;
    for (const Line &line : m_lines) {
        text += line.text;
        text += line.end;
    }
    if (m_encoding == Encoding::Cp932) {
        if (std::optional<QByteArray> cp932 = encodeCp932(text))
            return *cp932;
    }
    QByteArray bytes = text.toUtf8();
    // A text that itself starts with U+FEFF needs a mark in front, or reading would take its
    // first character for the mark.
    if (m_bom || text.startsWith(QChar(0xFEFF)))
        bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}

Document::Kind Document::kindOf(const QString &text, QString *name, QString *rawValue)
{
    const QStringView line = trimBlanks(text);
    if (line.isEmpty())
        return Kind::Blank;
    if (line.front() == u';' || line.front() == u'#')
        return Kind::Comment;
    if (line.front() == u'[') {
        const qsizetype close = line.lastIndexOf(u']');
        if (close > 0) {
            *name = trimBlanks(line.sliced(1, close - 1)).toString();
            return Kind::Section;
        }
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) {
        *name = line.toString();
        rawValue->clear();
    } else {
        *name = trimBlanks(line.first(equals)).toString();
        *rawValue = line.sliced(equals + 1).toString();
    }
    return Kind::Entry;
}

QList<qsizetype> Document::findEntries(const QString &section, const QString &key) const
{
    QList<qsizetype> found;
    bool inSection = false;
    QString name;
    QString raw;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        switch (kindOf(m_lines[i].text, &name, &raw)) {
        case Kind::Section:
            inSection = sameName(name, section);
            break;
        case Kind::Entry:
            if (inSection && sameName(name, key))
                found.append(i);
            break;
        default:
            break;
        }
    }
    return found;
}

std::optional<QString> Document::value(const QString &section, const QString &key) const
{
    const QString s = validSection(section);
    const QString k = validKey(key);
    if (s.isEmpty() || k.isEmpty())
        return std::nullopt;
    const QList<qsizetype> entries = findEntries(s, k);
    if (entries.isEmpty())
        return std::nullopt;
    QString name;
    QString raw;
    kindOf(m_lines[entries.front()].text, &name, &raw);
    return decodeValue(raw);
}

bool Document::setValue(
    const QString &section, const QString &key, const std::optional<QString> &value)
{
    const QString s = validSection(section);
    const QString k = validKey(key);
    if (s.isEmpty() || k.isEmpty() || (value && !validValue(*value)))
        return false;

    QList<qsizetype> entries = findEntries(s, k);
    if (!value) {
        for (qsizetype i = entries.size() - 1; i >= 0; --i)
            m_lines.removeAt(entries[i]);
        m_modified = m_modified || !entries.isEmpty();
        return true;
    }

    const QString encoded = encodeValue(*value);
    if (!entries.isEmpty()) {
        // Keep the line's own spelling of the key and the blanks around "=", replace the value,
        // and drop later duplicates so that the value set is the one read back.
        Line &line = m_lines[entries.front()];
        const qsizetype equals = line.text.indexOf(u'=');
        qsizetype valueAt = equals + 1;
        while (equals >= 0 && valueAt < line.text.size() && isBlank(line.text[valueAt]))
            ++valueAt;
        QString prefix = line.text.left(valueAt);
        if (equals < 0) {
            prefix = line.text;
            while (!prefix.isEmpty() && isBlank(prefix.back()))
                prefix.chop(1);
            prefix += u'=';
        }
        const QString text = prefix + encoded;
        if (line.text != text) {
            line.text = text;
            m_modified = true;
        }
        for (qsizetype i = entries.size() - 1; i >= 1; --i) {
            m_lines.removeAt(entries[i]);
            m_modified = true;
        }
        return true;
    }

    // A new key goes after the last entry of the first section of that name, or right after its
    // header; a new section goes at the end.
    qsizetype insertAt = -1;
    bool inSection = false;
    QString name;
    QString raw;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Kind kind = kindOf(m_lines[i].text, &name, &raw);
        if (kind == Kind::Section) {
            if (inSection)
                break;
            inSection = sameName(name, s);
            if (inSection)
                insertAt = i + 1;
        } else if (kind == Kind::Entry && inSection) {
            insertAt = i + 1;
        }
    }
    QList<Line> added;
    if (insertAt < 0) {
        insertAt = m_lines.size();
        added.append(Line { u'[' + s + u']', m_lineEnd });
    }
    added.append(Line { k + u'=' + encoded, m_lineEnd });
    if (insertAt > 0 && m_lines[insertAt - 1].end.isEmpty())
        m_lines[insertAt - 1].end = m_lineEnd;
    for (qsizetype i = 0; i < added.size(); ++i)
        m_lines.insert(insertAt + i, added[i]);
    m_modified = true;
    return true;
}

QString Document::encodeValue(const QString &value)
{
    if (value.isEmpty())
        return value;
    const bool quote = isBlank(value.front()) || isBlank(value.back()) || value.contains(u'"')
        || value.contains(u'\'') || value.contains(u'=') || value.contains(u';')
        || value.contains(u'#');
    return quote ? u'"' + value + u'"' : value;
}

QString Document::decodeValue(const QString &raw)
{
    const QStringView value = trimBlanks(raw);
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
        return value.sliced(1, value.size() - 2).toString();
    return value.toString();
}

// ---- Files ----

int readInt(const QString &section, const QString &key, int defaultValue, const QString &path)
{
    const std::optional<Document> doc = loadForReading(path);
    if (!doc)
        return defaultValue;
    const std::optional<QString> value = doc->value(section, key);
    return value ? parseInt(*value) : defaultValue;
}

QString readString(
    const QString &section, const QString &key, const QString &defaultValue, const QString &path)
{
    const std::optional<Document> doc = loadForReading(path);
    const std::optional<QString> value = doc ? doc->value(section, key) : std::nullopt;
    return truncateCp932(value.value_or(defaultValue), MaxStringBytes);
}

bool writeString(const QString &section, const QString &key, const std::optional<QString> &value,
    const QString &path, QString *error, int newFileMode)
{
    const Status status = write(section, key, value, path, FileMode { newFileMode, false });
    if (error)
        *error = status.text;
    return status.ok();
}

Status write(const QString &section, const QString &key, const std::optional<QString> &value,
    const QString &path, FileMode mode)
{
    return write(section, { Entry { key, value } }, path, mode);
}

Status write(
    const QString &section, const QList<Entry> &entries, const QString &path, FileMode mode)
{
    const QString shown = displayPath(path);
    for (const Entry &entry : entries) {
        if (validSection(section).isEmpty() || validKey(entry.key).isEmpty())
            return failure(ErrorCode::InvalidName,
                QStringLiteral("「%1」に保存できない名前です: [%2] %3")
                    .arg(shown, section, entry.key));
        if (entry.value && !validValue(*entry.value))
            return failure(ErrorCode::InvalidValue,
                QStringLiteral("「%1」に保存できない値です (改行を含む値は保存できません)。")
                    .arg(shown));
    }

    QByteArray bytes;
    int error = 0;
    switch (readWholeFile(path, &bytes, &error)) {
    case ReadResult::Ok:
    case ReadResult::Missing:
        break;
    case ReadResult::NotAFile:
        return failure(ErrorCode::NotAFile,
            QStringLiteral("「%1」を保存できません: 同じ名前のファイルでないものがあります。")
                .arg(shown));
    case ReadResult::Failed:
        return failure(ErrorCode::ReadFailed,
            QStringLiteral("「%1」を読み込めないため、保存しませんでした: %2")
                .arg(shown, qt_error_string(error)));
    }

    Document doc = Document::parse(bytes);
    for (const Entry &entry : entries)
        doc.setValue(section, entry.key, entry.value);
    // An unchanged file is left alone, unless it is owner-only and has a wider mode to narrow;
    // stray temporary files (which may hold a password) go all the same.
    if (!doc.isModified() && !(mode.ownerOnly && hasWideMode(path))) {
        removeStrayTemporaries(path);
        return {};
    }
    return replaceFile(path, doc.toBytes(), mode);
}

} // namespace Profile
