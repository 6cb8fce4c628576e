// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

Status failure(ErrorCode code, QString text)
{
    return Status { code, std::move(text) };
}

// The file a write really replaces: the target of a symbolic link, so that the link survives.
QString resolveLinks(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Whether name is one of the temporary files replaceFile makes for the file named fileName.
bool isTemporaryOf(const QByteArray &name, const QByteArray &fileName)
{
    const QByteArray prefix = '.' + fileName + ".tmp-";
    if (!name.startsWith(prefix) || name.size() == prefix.size()
        || name.size() > prefix.size() + 16)
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// Removes the temporary files of fileName that writes killed before their rename left in folder.
// A write under way holds a lock on its temporary file until the rename, so the file of another
// process saving at this moment is kept. A file that cannot be opened (another user's) is kept.
void sweepFolder(const QByteArray &folder, const QByteArray &fileName)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        if (!isTemporaryOf(QByteArray(entry->d_name), fileName))
            continue;
        const int fd
            = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st { };
        // A file system without locks cannot tell; its stray files are removed all the same.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
            && (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

void syncFolder(const QByteArray &folder)
{
    // Makes the rename itself durable; a failure here cannot undo the write, so it is ignored.
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

void removeStrayTemporaries(const QString &path)
{
    const QFileInfo info(resolveLinks(path));
    sweepFolder(QFile::encodeName(info.absolutePath()), QFile::encodeName(info.fileName()));
}

namespace {

std::atomic<void (*)(WriteStage)> writeStageHook { nullptr };

void reachStage(WriteStage stage)
{
    if (const auto hook = writeStageHook.load(std::memory_order_relaxed))
        hook(stage);
}

} // namespace

void setWriteStageHookForTesting(void (*hook)(WriteStage))
{
    writeStageHook.store(hook, std::memory_order_relaxed);
}

Status replaceFile(const QString &path, const QByteArray &bytes, FileMode mode)
{
    const QString shown = displayPath(path);
    const QString target = resolveLinks(path);
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);

    struct stat st { };
    if (::stat(folderName.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return failure(ErrorCode::FolderMissing,
            QStringLiteral("「%1」を保存できません: フォルダ「%2」がありません。")
                .arg(shown, QDir::toNativeSeparators(folder)));

    const QByteArray targetName = QFile::encodeName(info.absoluteFilePath());
    const bool exists = ::stat(targetName.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return failure(ErrorCode::NotAFile,
            QStringLiteral("「%1」を保存できません: 同じ名前のファイルでないものがあります。")
                .arg(shown));

    sweepFolder(folderName, QFile::encodeName(info.fileName()));

    const int privateMask = mode.ownerOnly ? 0700 : 07777;
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = folderName + "/." + QFile::encodeName(info.fileName()) + ".tmp-"
            + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        // A new file gets its mode here, where the umask applies; a replacement starts private
        // and takes the old file's mode below.
        const int createMode = exists ? 0600 : (mode.newFile & privateMask & 0777);
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (fd < 0 && errno != EEXIST)
            break;
        // The lock, held until the rename, keeps another process's sweep of stray temporary
        // files away from this one. That sweep may have come between the creation and the lock;
        // then the file is gone and another name is tried.
        struct stat created { };
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &created) == 0
            && created.st_nlink == 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        return failure(ErrorCode::CreateFailed,
            QStringLiteral("「%1」を保存できません: 一時ファイルを作れませんでした (%2)。")
                .arg(shown, qt_error_string(errno)));

    reachStage(WriteStage::TemporaryCreated);

    auto abandon = [&](ErrorCode code, const QString &what, int error) {
        ::close(fd);
        ::unlink(tempName.constData());
        return failure(code,
            QStringLiteral("「%1」を保存できません: %2 (%3)。")
                .arg(shown, what, qt_error_string(error)));
    };

    if (exists) {
        // Owner first: changing the owner may clear set-id bits that the mode then restores.
        // Keeping the owner is best effort: only a privileged process can give a file away.
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid())
            && ::fchown(fd, st.st_uid, st.st_gid) != 0) { }
        if (::fchmod(fd, st.st_mode & 07777 & privateMask) != 0)
            return abandon(ErrorCode::CreateFailed,
                QStringLiteral("ファイルの属性を設定できませんでした"), errno);
    }
    if (!writeAll(fd, bytes))
        return abandon(ErrorCode::WriteFailed, QStringLiteral("書き込みに失敗しました"), errno);
    reachStage(WriteStage::TemporaryWritten);
    if (::fsync(fd) != 0)
        return abandon(
            ErrorCode::WriteFailed, QStringLiteral("ディスクへの書き出しに失敗しました"), errno);
    reachStage(WriteStage::TemporaryFlushed);
    // The descriptor stays open over the rename to keep the lock; fsync has already reported any
    // failure to write, so closing afterwards has nothing left to report.
    if (::rename(tempName.constData(), targetName.constData()) != 0)
        return abandon(
            ErrorCode::ReplaceFailed, QStringLiteral("ファイルを置き換えられませんでした"), errno);
    reachStage(WriteStage::Renamed);
    ::close(fd);
    syncFolder(folderName);
    return {};
}

} // namespace AtomicFile
