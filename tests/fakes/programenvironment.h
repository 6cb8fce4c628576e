// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A program folder (with its ★MailData), a current directory and a state folder
// ($XDG_STATE_HOME) of the test's own, and fresh Mail settings; on leaving, every dialog still
// loaded goes without its unload step and the process's current directory and program folder are
// restored.
#include "dialogs/forms.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class ProgramEnvironment {
public:
    ProgramEnvironment()
    {
        m_program = m_dir.filePath(QStringLiteral("program"));
        m_current = m_dir.filePath(QStringLiteral("current"));
        QDir().mkpath(m_program + QStringLiteral("/★MailData"));
        QDir().mkpath(m_program + QStringLiteral("/Sound"));
        QDir().mkpath(m_current);
        m_oldCurrent = QDir::currentPath();
        QDir::setCurrent(m_current);
        setProgramFolderForTesting(m_program);
        m_oldStateHome = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("state"))));
        mailSettings() = MailSettings();
    }
    ~ProgramEnvironment()
    {
        forms().destroyAllWithoutUnload();
        QDir::setCurrent(m_oldCurrent);
        setProgramFolderForTesting(QString());
        if (m_oldStateHome.isNull())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", m_oldStateHome);
        mailSettings() = MailSettings();
    }
    ProgramEnvironment(const ProgramEnvironment &) = delete;
    ProgramEnvironment &operator=(const ProgramEnvironment &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString program() const { return m_program; }
    QString current() const { return m_current; }

private:
    QTemporaryDir m_dir;
    QString m_program;
    QString m_current;
    QString m_oldCurrent;
    QByteArray m_oldStateHome;
};
