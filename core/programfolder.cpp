// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/programfolder.h"

#include "core/atomicfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

std::optional<bool> &overrideWritable()
{
    static std::optional<bool> writable;
    return writable;
}
} // namespace

void makeOwnerOnlyFolders(const QString &path)
{
    QStringList missing;
    for (QString folder = QDir::cleanPath(path); !QFileInfo::exists(folder);) {
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    for (const QString &folder : missing)
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
}

QString programFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return QCoreApplication::applicationDirPath();
}

bool programFolderWritable()
{
    if (overrideWritable())
        return *overrideWritable();
    const QString folder = programFolder();
    if (folder == u"/usr" || folder.startsWith(u"/usr/"))
        return false;
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS)
        == 0;
}

QString userDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/brindle");
}

QString userStateFolder()
{
    // Qt 6.4 has no standard location for it. The rules: an absolute $XDG_STATE_HOME, else
    // ~/.local/state.
    const QString set = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base
        = QDir::isAbsolutePath(set) ? set : QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base) + QStringLiteral("/brindle");
}

QString settingsFileForReading(const QString &relativeName)
{
    if (!programFolderWritable()) {
        const QString own = userDataFolder() + relativeName;
        if (QFileInfo::exists(own))
            return own;
    }
    return programFolder() + relativeName;
}

QString settingsFileForWriting(const QString &relativeName)
{
    if (programFolderWritable())
        return programFolder() + relativeName;
    const QString own = userDataFolder() + relativeName;
    if (!QFileInfo::exists(own)) {
        makeOwnerOnlyFolders(QFileInfo(own).path());
        QFile shipped(programFolder() + relativeName);
        if (QFileInfo(shipped).isFile() && shipped.open(QIODevice::ReadOnly))
            AtomicFile::replaceFile(own, shipped.readAll(), AtomicFile::FileMode { 0600, true });
    }
    return own;
}

void setProgramFolderForTesting(const QString &folder)
{
    overrideFolder() = folder;
}

void setProgramFolderWritableForTesting(std::optional<bool> writable)
{
    overrideWritable() = writable;
}
