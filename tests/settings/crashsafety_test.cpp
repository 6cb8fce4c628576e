// SPDX-License-Identifier: GPL-3.0-or-later
// Kills a process that keeps rewriting the three settings files, first held at each stage of
// each of its writes, then at random moments, and checks after each kill that every file holds
// one whole version: never torn, empty or missing.
#include "settings/mailsettings.h"
#include "settings/profile.h"
#include "core/programfolder.h"
#include "settingstestutil.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace SettingsTest;

namespace {

constexpr int RandomKills = 300;
const QString Padding(1500, u'x'); // long enough that a torn write would show

MailSettings serverVersion(qint64 i)
{
    MailSettings settings;
    settings.SmtpServer = QStringLiteral("smtp-%1-").arg(i) + Padding;
    settings.Pop3Server = QStringLiteral("pop-%1").arg(i);
    settings.MailAddress = QStringLiteral("mail-%1@example.jp").arg(i);
    settings.UseApop = qint16(i % 2);
    return settings;
}

void writeVersion(qint64 i)
{
    WriteServerSettings(serverVersion(i));
    WriteOptionNumber(int(i % 3));
    WriteAccount(QStringLiteral("id-%1-").arg(i) + Padding.left(100),
        QStringLiteral("pw-%1-").arg(i) + Padding.left(100), true);
}

constexpr Profile::WriteStage Stages[]
    = { Profile::WriteStage::TemporaryCreated, Profile::WriteStage::TemporaryWritten,
          Profile::WriteStage::TemporaryFlushed, Profile::WriteStage::Renamed };

// Where the writer is held: at stage parkStage of its parkWrite-th replacement of a file.
int parkWrite = 0;
Profile::WriteStage parkStage {};
int parkFd = -1;
int writesSeen = 0;

void parkAtStage(Profile::WriteStage stage)
{
    if (stage == Profile::WriteStage::TemporaryCreated)
        ++writesSeen;
    if (writesSeen - 1 != parkWrite || stage != parkStage)
        return;
    const char parked = 1;
    [[maybe_unused]] const ssize_t n = ::write(parkFd, &parked, 1);
    for (;;)
        ::pause(); // until the parent's kill
}

[[noreturn]] void runHeldWriter(int readyFd, qint64 version)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    parkFd = readyFd;
    Profile::setWriteStageHookForTesting(&parkAtStage);
    writeVersion(version);
    ::_exit(1); // the stage was never reached: the parent reads no byte
}

[[noreturn]] void runWriter(int readyFd, qint64 first)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Two rounds first: the first pays the page faults of a fresh fork, the second is timed and
    // reported, so that the parent can aim its kill among this process's own writes.
    writeVersion(first++);
    const auto start = std::chrono::steady_clock::now();
    writeVersion(first++);
    const qint64 round = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start)
                             .count();
    [[maybe_unused]] const ssize_t n = ::write(readyFd, &round, sizeof round);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (qint64 i = first; std::chrono::steady_clock::now() < giveUp; ++i)
        writeVersion(i);
    ::_exit(0);
}

// Empty when the file is one whole version, else what is wrong with it.
QString checkServerFile(const QByteArray &bytes)
{
    static const QRegularExpression first(QStringLiteral("^SMTP=smtp-(\\d+)-"));
    const QRegularExpressionMatch match = first.match(QString::fromUtf8(bytes.left(40)));
    if (!match.hasMatch())
        return QStringLiteral("vbmail.ini starts with %1").arg(QString::fromUtf8(bytes.left(40)));
    if (bytes != serverSettingsBytes(serverVersion(match.captured(1).toLongLong())))
        return QStringLiteral("vbmail.ini is torn (%1 bytes)").arg(bytes.size());
    return {};
}

QString checkOptionFile(const QByteArray &bytes)
{
    static const QRegularExpression whole(QStringLiteral("^\\[EXEINI\\]\r\nNUMBER=[012]\r\n$"));
    return whole.match(QString::fromUtf8(bytes)).hasMatch()
        ? QString()
        : QStringLiteral("ini.ini is %1").arg(QString::fromUtf8(bytes));
}

QString checkAccountFile(const QByteArray &bytes)
{
    static const QRegularExpression whole(QStringLiteral(
        "^\\[EXEINI\\]\r\nNAME=id-(\\d+)-x{100}\r\nNAME2=pw-(\\d+)-x{100}\r\nNAME3=1\r\n$"));
    const QRegularExpressionMatch match = whole.match(QString::fromUtf8(bytes));
    if (!match.hasMatch())
        return QStringLiteral("iniIdPass.ini is torn (%1 bytes)").arg(bytes.size());
    // NAME and NAME2 are two writes: NAME may be a version ahead, never behind.
    const qint64 id = match.captured(1).toLongLong();
    const qint64 password = match.captured(2).toLongLong();
    if (id < password)
        return QStringLiteral("iniIdPass.ini has NAME %1 after NAME2 %2").arg(id).arg(password);
    return {};
}

int writeCount = 0;
void countWrite(Profile::WriteStage stage)
{
    writeCount += stage == Profile::WriteStage::Renamed ? 1 : 0;
}

TEST(SettingsCrashSafety, KilledWriterNeverLeavesATornFile)
{
    // A process kill, unlike a power cut, keeps what reached the page cache, so a memory file
    // system tests the same thing without the cost of flushing to disk on every round.
    QTemporaryDir shm(QStringLiteral("/dev/shm/brindle-settings-XXXXXX"));
    QTemporaryDir disk;
    QTemporaryDir &dir = shm.isValid() ? shm : disk;
    ASSERT_TRUE(dir.isValid());
    const QString savedCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    setProgramFolderForTesting(dir.path());
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(savedCurrent);
        setProgramFolderForTesting(QString());
        Profile::setWriteStageHookForTesting(nullptr);
    });
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("★MailData")));
    Profile::setWriteStageHookForTesting(&countWrite);
    writeVersion(0);
    Profile::setWriteStageHookForTesting(nullptr);
    const int writesPerVersion = writeCount;
    ASSERT_GE(writesPerVersion, 3);

    const QStringList files = { dir.filePath("vbmail.ini"), optionFilePath(), accountFilePath() };
    QString failure;
    // What is wrong after a kill (empty when nothing); the temporary files left are counted in
    // leftovers and removed.
    const auto inspect = [&](const QString &when, int *leftovers) {
        const QByteArray server = readFile(files[0]);
        const QByteArray option = readFile(files[1]);
        const QByteArray account = readFile(files[2]);
        for (const QString &problem :
            { checkServerFile(server), checkOptionFile(option), checkAccountFile(account) }) {
            if (!problem.isEmpty() && failure.isEmpty())
                failure = when + QStringLiteral(": ") + problem;
        }
        for (const QString &folder : { dir.path(), dir.filePath("★MailData") }) {
            const QStringList names
                = QDir(folder).entryList({ ".*.tmp-*" }, QDir::Files | QDir::Hidden);
            *leftovers += int(names.size());
            for (const QString &name : names)
                QFile::remove(QDir(folder).filePath(name));
        }
    };

    // Held at every stage of every write of a version: the kill lands exactly there.
    qint64 version = 1;
    for (parkWrite = 0; parkWrite < writesPerVersion; ++parkWrite) {
        for (const Profile::WriteStage stage : Stages) {
            parkStage = stage;
            int pipeFds[2];
            ASSERT_EQ(::pipe(pipeFds), 0);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(pipeFds[0]);
                runHeldWriter(pipeFds[1], version);
            }
            ::close(pipeFds[1]);
            char parked = 0;
            const ssize_t got = ::read(pipeFds[0], &parked, 1);
            ::close(pipeFds[0]);
            ::kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_EQ(got, 1) << "write " << parkWrite << " never reached stage " << int(stage);
            int leftovers = 0;
            inspect(QStringLiteral("held at write %1 stage %2").arg(parkWrite).arg(int(stage)),
                &leftovers);
            // Before its rename a write leaves its temporary file, after it none.
            EXPECT_EQ(leftovers, stage == Profile::WriteStage::Renamed ? 0 : 1)
                << "write " << parkWrite << " stage " << int(stage);
            ++version;
        }
    }

    // Then at random moments within about two rounds of writes, for what no stage names. These
    // stop early on a slow machine: the held kills above already reach every stage.
    QRandomGenerator random(20240601);
    int midWrite = 0;
    const auto budget = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int kill = 0;
         kill < RandomKills && failure.isEmpty() && std::chrono::steady_clock::now() < budget;
         ++kill) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            runWriter(pipeFds[1], qint64(kill + 1) * 1000000);
        }
        ::close(pipeFds[1]);
        qint64 round = 0;
        const ssize_t got = ::read(pipeFds[0], &round, sizeof round);
        ::close(pipeFds[0]);
        ASSERT_EQ(got, ssize_t(sizeof round));
        round = std::max<qint64>(round, 50);

        const auto killAt = std::chrono::steady_clock::now()
            + std::chrono::microseconds(random.bounded(qint64(2 * round)));
        while (std::chrono::steady_clock::now() < killAt) { }
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        int leftovers = 0;
        inspect(QStringLiteral("after random kill %1").arg(kill), &leftovers);
        midWrite += leftovers > 0 ? 1 : 0;
    }

    EXPECT_TRUE(failure.isEmpty()) << qPrintable(failure);
    RecordProperty("random_kills_mid_write", midWrite);
}

} // namespace
