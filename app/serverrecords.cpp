// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/serverrecords.h"

#include "mail/serveraddress.h"
#include "settings/profile.h"
#include "core/programfolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// How long a write waits for another instance's write to the same file to end.
constexpr std::chrono::seconds LockWait { 5 };

const QByteArray TlsHeader
    = "# Servers that offered TLS: a check never logs in to one of them without TLS.\n"
      "# After the server, the SHA-256 fingerprint of the certificate it last showed.\n"
      "# Delete a line to forget that server.\n";
const QByteArray PinHeader = "# Certificates trusted for one server each (SHA-256 fingerprint).\n"
                             "# Delete a line to forget that certificate.\n";

// One line of a record file: an entry (key and fingerprint, either may be all there is), a
// comment or blank line, or one that does not read as an entry.
struct Line {
    QByteArray raw; // as it stands in the file, without its line end
    enum class Kind { Entry, Comment, Damaged } kind = Kind::Comment;
    QString key;
    QByteArray sha256;
};

Line parseLine(const QByteArray &raw, bool fingerprintRequired)
{
    Line line { raw };
    const QString text = QString::fromUtf8(raw).trimmed();
    if (text.isEmpty() || text.startsWith(u'#'))
        return line;
    line.kind = Line::Kind::Damaged;
    qsizetype blank = 0;
    while (blank < text.size() && !text[blank].isSpace())
        ++blank;
    const QString keyText = text.left(blank);
    const QString rest = text.mid(blank).trimmed();
    // A key always has its port, which a line cut short may have lost.
    const qsizetype colon = keyText.lastIndexOf(u':');
    if (colon <= 0 || colon + 1 >= keyText.size() || !keyText[colon + 1].isDigit()
        || keyText.endsWith(u']') || text.contains(QChar(0xfffd)))
        return line;
    line.key = serverKey(keyText);
    if (line.key.isEmpty())
        return line;
    if (!rest.isEmpty()) {
        line.sha256 = ServerRecords::parseFingerprint(rest);
        if (line.sha256.isEmpty())
            return line;
    } else if (fingerprintRequired) {
        return line;
    }
    line.kind = Line::Kind::Entry;
    return line;
}

QString systemError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("読む権限がありません");
    case ELOOP:
        return QStringLiteral("シンボリックリンクです");
    default:
        return qt_error_string(error);
    }
}

// The file's lines, or false with the reason. A file that is not there holds no line.
bool readLines(const QString &path, bool fingerprintRequired, QList<Line> *lines, QString *reason)
{
    lines->clear();
    // Not waiting for a writer of a FIFO, nor following a link to a device or out of the folder.
    const int fd = ::open(QFile::encodeName(path).constData(),
        O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        *reason = systemError(errno);
        return false;
    }
    struct stat st { };
    QByteArray bytes;
    bool ok = false;
    if (::fstat(fd, &st) != 0) {
        *reason = systemError(errno);
    } else if (!S_ISREG(st.st_mode)) {
        *reason = QStringLiteral("通常のファイルではありません");
    } else if (st.st_size > ServerRecords::MaxFileSize) {
        *reason
            = QStringLiteral("%1 バイトを超えていて大きすぎます").arg(ServerRecords::MaxFileSize);
    } else {
        // Read to the bound and one byte past it: a file that grows meanwhile is no better.
        bytes.resize(ServerRecords::MaxFileSize + 1);
        qint64 got = 0;
        ok = true;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *reason = systemError(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        if (ok && got > ServerRecords::MaxFileSize) {
            *reason = QStringLiteral("%1 バイトを超えていて大きすぎます")
                          .arg(ServerRecords::MaxFileSize);
            ok = false;
        }
    }
    ::close(fd);
    if (!ok)
        return false;
    QList<QByteArray> raws = bytes.split('\n');
    if (raws.last().isEmpty())
        raws.removeLast();
    for (const QByteArray &raw : raws)
        lines->append(parseLine(raw, fingerprintRequired));
    return true;
}

QString unreadableText(const QString &path, const QString &reason)
{
    return QStringLiteral(
        "サーバーの記録「%1」を読めません（%2）。パスワードは送信していません。"
        "ファイルを確かめて直すか、削除してください（削除すると、すべての"
        "サーバーについて、TLS を提供したことと信頼した証明書の記録が消えます）。")
        .arg(path, reason);
}

// The file's entries, or false with the text for the user: a line that does not read may be
// the very server asked about.
bool readEntries(const QString &path, bool fingerprintRequired, QList<Line> *lines, QString *text)
{
    QString reason;
    if (!readLines(path, fingerprintRequired, lines, &reason)) {
        *text = unreadableText(path, reason);
        return false;
    }
    for (qsizetype i = 0; i < lines->size(); ++i) {
        if (lines->at(i).kind == Line::Kind::Damaged) {
            *text = unreadableText(
                path, QStringLiteral("%1 行目が記録の形をしていません").arg(i + 1));
            return false;
        }
    }
    return true;
}

// An advisory lock on "<file>.lock", held while the object lives. The lock file is opened as
// carefully as the records, and waited for only so long.
class FileLock {
public:
    explicit FileLock(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(),
            O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_reason = systemError(errno);
            return;
        }
        struct stat st { };
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            m_reason = QStringLiteral("ロック用のファイル「%1」が通常のファイルではありません")
                           .arg(path);
            return;
        }
        const QDeadlineTimer deadline(LockWait);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
                m_reason = errno == EWOULDBLOCK
                    ? QStringLiteral("別のプロセスが書き込み中のまま終わりません")
                    : systemError(errno);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_locked = true;
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    bool locked() const { return m_locked; }
    QString reason() const { return m_reason; }

private:
    int m_fd = -1;
    bool m_locked = false;
    QString m_reason;
};

} // namespace

ServerRecords::ServerRecords(QString folder)
    : m_folder(std::move(folder))
{
}

ServerRecords::ServerRecords()
    : ServerRecords(userStateFolder())
{
}

QString ServerRecords::tlsServersFile()
{
    return m_folder + QStringLiteral("/tls-servers");
}

QString ServerRecords::pinnedCertificatesFile() const
{
    return m_folder + QStringLiteral("/pinned-certificates");
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

bool ServerRecords::lookUp(const QString &key, ServerRecord *record, QString *failureText)
{
    *record = ServerRecord();
    QList<Line> lines;
    if (!readEntries(tlsServersFile(), false, &lines, failureText))
        return false;
    for (const Line &line : std::as_const(lines)) {
        if (line.kind == Line::Kind::Entry && line.key == key) {
            record->offeredTls = true;
            // The first line for a server counts, as the writer keeps only one.
            record->lastCertificate = line.sha256;
            break;
        }
    }
    if (!readEntries(pinnedCertificatesFile(), true, &lines, failureText))
        return false;
    for (const Line &line : std::as_const(lines)) {
        if (line.kind == Line::Kind::Entry && line.key == key) {
            record->pinnedCertificate = line.sha256;
            break;
        }
    }
    return true;
}

bool ServerRecords::rememberTls(const QString &key, QString *failureText)
{
    return update(tlsServersFile(), TlsHeader, key, {}, Change::AddKey, failureText);
}

bool ServerRecords::rememberCertificate(const QString &key, const QByteArray &sha256)
{
    QString ignored;
    return update(tlsServersFile(), TlsHeader, key, sha256, Change::SetFingerprint, &ignored);
}

bool ServerRecords::pin(const QString &key, const QByteArray &sha256)
{
    QString ignored;
    return update(
        pinnedCertificatesFile(), PinHeader, key, sha256, Change::SetFingerprint, &ignored);
}

bool ServerRecords::update(const QString &path, const QByteArray &header, const QString &key,
    const QByteArray &sha256, Change change, QString *failureText)
{
    const auto failed = [&](const QString &reason) {
        *failureText = QStringLiteral("サーバー %1 の記録を「%2」に書けません（%3）。"
                                      "パスワードは送信していません。")
                           .arg(key, path, reason);
        return false;
    };
    if (serverKey(key) != key
        || (change == Change::SetFingerprint && sha256.size() != FingerprintBytes))
        return failed(QStringLiteral("記録できない値です"));
    makeOwnerOnlyFolders(m_folder);
    // The folder may have been made by someone else, wider: what it holds is the user's alone.
    ::chmod(QFile::encodeName(m_folder).constData(), 0700);
    const FileLock lock(path + QStringLiteral(".lock"));
    if (!lock.locked())
        return failed(lock.reason());
    QList<Line> lines;
    QString reason;
    // Never written from a reading that failed: the file's lines would be lost.
    if (!readLines(path, path == pinnedCertificatesFile(), &lines, &reason))
        return failed(reason);

    const QByteArray entry = key.toUtf8()
        + (sha256.isEmpty() ? QByteArray() : ' ' + formatFingerprint(sha256).toLatin1());
    bool found = false;
    bool changed = false;
    QByteArray bytes;
    for (const Line &line : std::as_const(lines)) {
        if (line.kind != Line::Kind::Entry || line.key != key) {
            bytes += line.raw + '\n';
            continue;
        }
        if (found) {
            changed = true; // a second line for the server: the first one counts
            continue;
        }
        found = true;
        if (change == Change::SetFingerprint && line.sha256 != sha256) {
            bytes += entry + '\n';
            changed = true;
        } else {
            bytes += line.raw + '\n';
        }
    }
    if (!found) {
        if (lines.isEmpty())
            bytes = header;
        bytes += entry + '\n';
        changed = true;
    }
    if (!changed)
        return true;
    const Profile::Status status
        = Profile::replaceFile(path, bytes, Profile::FileMode { 0600, true });
    return status.ok() || failed(status.text);
}
