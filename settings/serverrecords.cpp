#include "settings/serverrecords.h"

#include "core/programfolder.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <sys/stat.h>

namespace {

constexpr qsizetype MaxServerLength = 512;
// Larger files are not ours: read as holding nothing.
constexpr qint64 MaxFileSize = 1024 * 1024;

const QByteArray TlsHeader = "# Servers reached over TLS: a check never logs in to one of them "
                             "without TLS.\n# Delete a line to forget that server.\n";
const QByteArray PinHeader = "# Certificates trusted for one server each (SHA-256 fingerprint).\n"
                             "# Delete a line to forget that certificate.\n";

// The file's lines that are not comments, each split at its first blank into key and rest.
struct Line {
    QString key;
    QString rest;
};

QList<Line> readLines(const QString &path)
{
    QList<Line> lines;
    QFile file(path);
    if (file.size() > MaxFileSize || !file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(raw).trimmed();
        if (text.isEmpty() || text.startsWith(u'#'))
            continue;
        qsizetype blank = 0;
        while (blank < text.size() && !text[blank].isSpace())
            ++blank;
        if (blank == text.size())
            lines.append({ text, {} });
        else
            lines.append({ text.left(blank), text.mid(blank + 1).trimmed() });
    }
    return lines;
}

} // namespace

ServerRecords::ServerRecords(QString folder)
    : m_folder(std::move(folder))
{
}

ServerRecords::ServerRecords()
    : ServerRecords(userStateFolder())
{
}

QString ServerRecords::tlsServersFile() const
{
    return m_folder + QStringLiteral("/tls-servers");
}

QString ServerRecords::pinnedCertificatesFile() const
{
    return m_folder + QStringLiteral("/pinned-certificates");
}

bool ServerRecords::isValidServer(QStringView text)
{
    if (text.isEmpty() || text.size() > MaxServerLength)
        return false;
    for (QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c == u'#')
            return false;
    }
    // Always with its port, which a line cut short may have lost.
    const qsizetype colon = text.lastIndexOf(u':');
    bool ok = false;
    const uint port = colon > 0 ? text.sliced(colon + 1).toUInt(&ok) : 0;
    return ok && port > 0 && port <= 65535 && text[colon + 1].isDigit();
}

QString ServerRecords::formatFingerprint(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QByteArray ServerRecords::parseFingerprint(QStringView text)
{
    if (text.size() != FingerprintBytes * 3 - 1)
        return {};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool hex
            = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
        if (i % 3 == 2 ? c != u':' : !hex)
            return {};
    }
    return QByteArray::fromHex(text.toLatin1());
}

bool ServerRecords::offeredTls(const QString &server) const
{
    std::lock_guard lock(m_mutex);
    for (const Line &line : readLines(tlsServersFile())) {
        if (line.rest.isEmpty() && line.key == server && isValidServer(line.key))
            return true;
    }
    return false;
}

QByteArray ServerRecords::pinnedFingerprint(const QString &server) const
{
    std::lock_guard lock(m_mutex);
    for (const Line &line : readLines(pinnedCertificatesFile())) {
        if (line.key == server && isValidServer(line.key)) {
            // The first line for a server counts, as the writer keeps only one.
            return parseFingerprint(line.rest);
        }
    }
    return {};
}

Profile::Status ServerRecords::rememberTls(const QString &server)
{
    if (!isValidServer(server))
        return { Profile::ErrorCode::InvalidName,
            QStringLiteral("サーバー名「%1」は記録できません。").arg(server) };
    std::lock_guard lock(m_mutex);
    QByteArray lines;
    for (const Line &line : readLines(tlsServersFile())) {
        if (!line.rest.isEmpty() || !isValidServer(line.key))
            continue;
        if (line.key == server)
            return {};
        lines += line.key.toUtf8() + '\n';
    }
    lines += server.toUtf8() + '\n';
    return write(tlsServersFile(), TlsHeader, lines);
}

Profile::Status ServerRecords::pin(const QString &server, const QByteArray &sha256)
{
    if (!isValidServer(server))
        return { Profile::ErrorCode::InvalidName,
            QStringLiteral("サーバー名「%1」は記録できません。").arg(server) };
    if (sha256.size() != FingerprintBytes)
        return { Profile::ErrorCode::InvalidValue,
            QStringLiteral("証明書の指紋の長さが正しくありません。") };
    std::lock_guard lock(m_mutex);
    QByteArray lines;
    for (const Line &line : readLines(pinnedCertificatesFile())) {
        if (line.key != server && isValidServer(line.key) && !parseFingerprint(line.rest).isEmpty())
            lines += line.key.toUtf8() + ' ' + line.rest.toUtf8() + '\n';
    }
    lines += server.toUtf8() + ' ' + formatFingerprint(sha256).toLatin1() + '\n';
    return write(pinnedCertificatesFile(), PinHeader, lines);
}

Profile::Status ServerRecords::write(
    const QString &path, const QByteArray &header, const QByteArray &lines)
{
    makeOwnerOnlyFolders(m_folder);
    // The folder may have been made by someone else, wider: what it holds is the user's alone.
    ::chmod(QFile::encodeName(m_folder).constData(), 0700);
    return Profile::replaceFile(path, header + lines, Profile::FileMode { 0600, true });
}
