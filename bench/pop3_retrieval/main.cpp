// SPDX-License-Identifier: GPL-3.0-or-later
// The POP3 library's cost in one run, against a throwaway Dovecot:
// - time: a full mail check of 1,000 messages (10 to 200 KB, the same every run) against the
//   limit (limitreader.c: every RETR sent at once, the bytes read and thrown away), curl over
//   one connection and fetchmail (fetchall keep, into /dev/null), in turn; medians of --runs
//   runs (default 5; the figures want at least 5);
// - memory: peak RSS of a check of a mailbox whose largest message is 50 MB, in a child process
//   (this binary again, with --rss-child), over the same child's peak before the check, with the
//   resident size at each step of the largest message; then, for the diagnosis, the same check
//   through a socket whose read buffer is capped (SocketTransport's readBufferSize);
// - round trips per message, counted by a server of our own (roundtripserver.h) over 100 small
//   messages, with and without PIPELINING in CAPA;
// - TLS: the timed check against a second Dovecot with the same mailbox that offers STLS, in
//   turn with the plain one, the limit over STLS (limitreader.c on OpenSSL directly) and curl's
//   the same way; with each run's CPU time in the client and in Dovecot's session processes.
//   --tls-only runs only these and prints only their two ratios.
// The last line is
//   ratio_vs_limit=L ratio_vs_curl=X ratio_vs_fetchmail=Y tls_vs_plain=T tls_ratio_vs_limit=S
//   peak_rss_over_idle_mb=Z round_trips_pipelining=A round_trips_plain=B
// (time ratios are ours divided by theirs, below 1 means faster; MB are MiB).
// Run it as root (Dovecot's mail user is then nobody).
//
// With --serve it only sets up the 1,000-message mailbox, prints "port=P user=U password=W
// count=N" and then answers lines on its standard input: "library" with "library SECONDS" (one
// timed check by the library) and "limit" with "limit SECONDS"; bench/check drives it so. With
// --serve --tls the Dovecot offers STLS, both take it, and the line also gives "ca=FILE" (for
// profiling the TLS path by hand).
#include "benchcheck.h"
#include "roundtripserver.h"

#include "fakes/dovecot.h"

#include "mail/pop3library.h"
#include "mail/sockettransport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int MessageCount = 1000;
constexpr int DefaultRuns = 5;
constexpr int BigMessageMb = 50;
// Goal for the memory run: the largest message plus this much, over the idle child.
constexpr int RssAllowanceMb = 40;
constexpr qint64 DiagnosisReadBuffer = 256 * 1024;
constexpr int RoundTripMessages = 100;
const char *const RssChildMode = "--rss-child";

QByteArray makeMessage(int n, quint32 *seed)
{
    *seed = *seed * 1664525u + 1013904223u;
    const int size = 10 * 1024 + int((*seed >> 8) % (190 * 1024));
    QByteArray message = "From: bench@example.jp\r\nSubject: message " + QByteArray::number(n)
        + "\r\nMessage-ID: <" + QByteArray::number(n) + "@bench>\r\n\r\n";
    while (message.size() < size)
        message += ".line " + QByteArray::number(message.size()) + " of the benchmark text\r\n";
    return message;
}

// Exactly size bytes of CRLF lines; every tenth line starts with a dot, so it goes out stuffed.
QByteArray makeSizedMessage(const QByteArray &subject, qsizetype size)
{
    QByteArray message = "From: bench@example.jp\r\nSubject: " + subject + "\r\nMessage-ID: <"
        + subject.toLower().replace(' ', '-') + "@bench>\r\n\r\n";
    message.reserve(size);
    for (int line = 0; message.size() < size; ++line) {
        QByteArray text = (line % 10 == 0 ? ".line " : "line ") + QByteArray::number(line)
            + " of a message for the benchmark, filled up to a plain line length";
        text += "\r\n";
        message += text;
    }
    // Cut back to the size asked for, ending on a line end.
    message.truncate(size - 2);
    while (message.endsWith('\r') || message.endsWith('.'))
        message.chop(1);
    while (message.size() < size - 2)
        message += 'x';
    return message + "\r\n";
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double mib(qint64 kib)
{
    return kib / 1024.0;
}

// caPem: the certificate of a Dovecot that offers STLS, which the library then takes.
double timeLibrary(quint16 port, qint64 expectedBytes, const QByteArray &caPem = {})
{
    QElapsedTimer timer;
    timer.start();
    BenchLibrary library;
    if (!caPem.isEmpty())
        library.addCaCertificates(caPem);
    const CheckOutcome run
        = library.runCheck(QStringLiteral("127.0.0.1:%1").arg(port), "bench", "pw");
    const double seconds = timer.elapsed() / 1000.0;
    if (!run.ok || run.count != MessageCount || run.bodyBytes != expectedBytes) {
        std::fprintf(stderr, "library: %d messages, %lld bytes: %s\n", run.count,
            qlonglong(run.bodyBytes), qPrintable(run.error));
        return -1;
    }
    return seconds;
}

double timeProcess(const QString &program, const QStringList &arguments)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
            process.readAllStandardError().constData());
        return -1;
    }
    return timer.elapsed() / 1000.0;
}

// curl fetching the whole mailbox over one connection, into /dev/null.
QStringList curlArguments(quint16 port)
{
    return { "-s", "-u", "bench:pw",
        QStringLiteral("pop3://127.0.0.1:%1/[1-%2]").arg(port).arg(MessageCount), "-o",
        "/dev/null" };
}

// caFile: the certificate of a Dovecot that offers STLS, which the limit then takes.
double timeLimit(quint16 port, const QString &caFile = {})
{
    QStringList arguments { QStringLiteral("127.0.0.1"), QString::number(port), "bench", "pw",
        QString::number(MessageCount) };
    if (!caFile.isEmpty())
        arguments << caFile;
    return timeProcess(
        QCoreApplication::applicationDirPath() + QStringLiteral("/limitreader"), arguments);
}

// --- CPU time ------------------------------------------------------------------------------

double seconds(const timeval &time)
{
    return time.tv_sec + time.tv_usec / 1e6;
}

// User and system time of this process (who: RUSAGE_SELF) or of its children that have ended
// (RUSAGE_CHILDREN).
double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The fields of /proc/PID/stat after the command's name, from the state on.
QList<QByteArray> procStat(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

// What Dovecot's processes that have ended cost, in seconds: each session's pop3 and
// pop3-login processes, which the master reaps (cutime and cstime of its stat).
double serverCpuSeconds(qint64 master)
{
    const QList<QByteArray> fields = procStat(master);
    if (fields.size() < 15)
        return 0;
    return (fields[13].toLongLong() + fields[14].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Waits (bounded) until the master has reaped every pop3 and pop3-login process, so that a
// session's cost is in serverCpuSeconds once its client has ended.
void waitForSessionsEnded(qint64 master)
{
    const QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        bool session = false;
        DIR *proc = opendir("/proc");
        while (dirent *entry = proc ? readdir(proc) : nullptr) {
            const qint64 pid = QByteArray(entry->d_name).toLongLong();
            if (pid <= 0)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("pop3"))
                continue;
            const QList<QByteArray> fields = procStat(pid);
            session = session || (fields.size() > 1 && fields[1].toLongLong() == master);
        }
        if (proc)
            closedir(proc);
        if (!session)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// One contender's runs against one Dovecot: wall-clock seconds, the client's CPU seconds and
// the server's.
struct Timings {
    std::vector<double> wall, client, server;

    // run: the timed run itself, in this process (inProcess) or in a child process.
    void measure(qint64 master, bool inProcess, const std::function<double()> &run)
    {
        const int who = inProcess ? RUSAGE_SELF : RUSAGE_CHILDREN;
        const double client = cpuSeconds(who), server = serverCpuSeconds(master);
        wall.push_back(run());
        this->client.push_back(cpuSeconds(who) - client);
        waitForSessionsEnded(master);
        this->server.push_back(serverCpuSeconds(master) - server);
    }
};

// Adds the timed runs' 1,000 messages to user "bench"; their size in bytes.
qint64 addBenchMailbox(DovecotServer &dovecot)
{
    dovecot.addUser("bench", "pw");
    quint32 seed = 20260301;
    qint64 bytes = 0;
    for (int n = 1; n <= MessageCount; ++n) {
        const QByteArray message = makeMessage(n, &seed);
        bytes += message.size();
        dovecot.addMessage("bench", message);
    }
    return bytes;
}

// The --serve mode (see the top of this file).
int serve(bool tls)
{
    DovecotServer dovecot(tls ? DovecotServer::Security::Tls : DovecotServer::Security::Plain);
    const qint64 bytes = addBenchMailbox(dovecot);
    if (!dovecot.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(dovecot.errorText()));
        return 1;
    }
    QTemporaryDir dir;
    const QByteArray ca = tls ? dovecot.certificate().toPem() : QByteArray();
    const QString caFile = tls ? dir.filePath("ca.pem") : QString();
    if (tls) {
        QFile file(caFile);
        file.open(QIODevice::WriteOnly);
        file.write(ca);
    }
    // Not timed: Dovecot builds its index of the mailbox at the first check.
    if (timeLibrary(dovecot.port(), bytes, ca) < 0)
        return 1;
    std::printf("port=%d user=bench password=pw count=%d%s\n", dovecot.port(), MessageCount,
        tls ? qPrintable(" ca=" + caFile) : "");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        const QByteArray command = QByteArray(line).trimmed();
        if (command == "library")
            std::printf("library %.4f\n", timeLibrary(dovecot.port(), bytes, ca));
        else if (command == "limit")
            std::printf("limit %.4f\n", timeLimit(dovecot.port(), caFile));
        else
            std::printf("unknown %s\n", command.constData());
        std::fflush(stdout);
    }
    return 0;
}

// --- Memory --------------------------------------------------------------------------------

// The child: one check as the program makes it, with the peak RSS before and after, and the
// resident size around each step of the largest message (to see which copy costs what). With a
// read buffer size above 0 it connects through a socket whose read buffer is capped at that size,
// for the diagnosis: comparing the two shows what the socket's unbounded buffer adds to the peak.
int rssChild(quint16 port, const QString &user, const QString &password, qint64 readBufferSize)
{
    BenchLibrary library;
    const QString host = QStringLiteral("127.0.0.1");
    if (readBufferSize > 0) {
        library.setConnector([&](Pop3Library &library) {
            auto transport = std::make_unique<SocketTransport>(readBufferSize);
            QString failure;
            if (transport->open(host, port, false, {}, QDeadlineTimer(30000), &failure)
                != SocketTransport::OpenResult::Ok)
                return -1;
            return library.attachTransport(std::move(transport), host);
        });
    }
    const qint64 idleHwm = procStatusKb("VmHWM");
    const qint64 idleRss = procStatusKb("VmRSS");
    struct Sample {
        int number;
        int size;
        CheckStep step;
        qint64 rss;
        qint64 hwm;
        qsizetype bodyLength;
    };
    std::vector<Sample> samples;
    samples.reserve(64);
    // Of every body as handed back, so the parent knows the big one arrived intact.
    QCryptographicHash digest(QCryptographicHash::Sha1);
    QElapsedTimer timer;
    timer.start();
    const CheckOutcome run = library.runCheck(QStringLiteral("%1:%2").arg(host).arg(port), user,
        password, [&](int number, int size, CheckStep step, QByteArrayView body) {
            if (step == CheckStep::Mail)
                digest.addData(body);
            if (samples.size() < samples.capacity())
                samples.push_back({ number, size, step, procStatusKb("VmRSS"),
                    procStatusKb("VmHWM"), body.size() });
        });
    const qint64 elapsedMs = timer.elapsed();
    const qint64 peakHwm = procStatusKb("VmHWM");
    static const char *const stepNames[] = { "after status", "after size + buffer", "after mail" };
    int largest = 0;
    for (const Sample &sample : samples) {
        if (sample.size > samples[largest].size)
            largest = int(&sample - samples.data());
    }
    auto show = [&](const QString &what, const Sample &sample) {
        std::printf("  %-52s RSS %6.1f MB, peak %6.1f MB (+%.1f over idle)\n", qPrintable(what),
            mib(sample.rss), mib(sample.hwm), mib(sample.hwm - idleHwm));
    };
    std::printf("  %-52s RSS %6.1f MB, peak %6.1f MB\n", "idle (application and library made)",
        mib(idleRss), mib(idleHwm));
    if (!samples.empty())
        show(QStringLiteral("connected, logged in, status of message 1"), samples.front());
    for (const Sample &sample : samples) {
        if (sample.number == samples[largest].number)
            show(QStringLiteral("message %1 (%2 bytes) %3")
                     .arg(sample.number)
                     .arg(samples[largest].size)
                     .arg(QLatin1String(stepNames[int(sample.step)])),
                sample);
    }
    std::printf("child: ok=%d count=%d largest=%d body_bytes=%lld ms=%lld idle_hwm_kb=%lld "
                "peak_hwm_kb=%lld digest=%s\n",
        run.ok ? 1 : 0, run.count, run.largestSize, qlonglong(run.bodyBytes), elapsedMs,
        qlonglong(idleHwm), qlonglong(peakHwm), digest.result().toHex().constData());
    if (!run.ok)
        std::fprintf(stderr, "child: %s\n", qPrintable(run.error));
    return run.ok ? 0 : 1;
}

// Runs the child against the big mailbox; the peak over idle in MiB, or -1.
double measurePeakRss(quint16 port, qint64 expectedBytes, const QByteArray &expectedDigest,
    int expectedLargest, qint64 readBufferSize)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        { QString::fromLatin1(RssChildMode), QString::number(port), "big", "pw",
            QString::number(readBufferSize) });
    if (!child.waitForFinished(300000)) {
        std::fprintf(stderr, "memory run: the child did not finish\n");
        child.kill();
        child.waitForFinished();
        return -1;
    }
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    std::printf("%s", qPrintable(output));
    static const QRegularExpression result(QStringLiteral(
        "child: ok=1 count=(\\d+) largest=(\\d+) body_bytes=(\\d+) ms=(\\d+) idle_hwm_kb=(\\d+) "
        "peak_hwm_kb=(\\d+) digest=([0-9a-f]+)"));
    const QRegularExpressionMatch match = result.match(output);
    if (child.exitCode() != 0 || !match.hasMatch()) {
        std::fprintf(stderr, "memory run: the child's check failed\n");
        return -1;
    }
    if (match.captured(2).toInt() != expectedLargest
        || match.captured(3).toLongLong() != expectedBytes
        || match.captured(7).toLatin1() != expectedDigest) {
        std::fprintf(stderr, "memory run: the bodies handed back differ from the mailbox\n");
        return -1;
    }
    const qint64 idle = match.captured(5).toLongLong(), peak = match.captured(6).toLongLong();
    const double over = mib(peak - idle);
    std::printf("memory: %d messages, largest %.1f MB, in %.2f s; peak RSS idle %.1f MB, "
                "during the check %.1f MB, difference %.1f MB (goal <= %d MB: %s)\n",
        match.captured(1).toInt(), expectedLargest / 1048576.0, match.captured(4).toInt() / 1000.0,
        mib(idle), mib(peak), over, BigMessageMb + RssAllowanceMb,
        over <= BigMessageMb + RssAllowanceMb ? "met" : "NOT met");
    return over;
}

// --- Round trips ---------------------------------------------------------------------------

// Round trips per message over RoundTripMessages small messages, or -1.
double measureRoundTrips(bool pipelining)
{
    QList<QByteArray> messages;
    quint32 seed = 7;
    for (int n = 1; n <= RoundTripMessages; ++n) {
        seed = seed * 1664525u + 1013904223u;
        messages << makeSizedMessage(
            "Round trip " + QByteArray::number(n), 1024 + (seed >> 8) % 3072);
    }
    RoundTripServer server(messages, pipelining);
    if (!server.start()) {
        std::fprintf(stderr, "round trips: %s\n", qPrintable(server.errorText()));
        return -1;
    }
    BenchLibrary library;
    library.setTimeouts(std::chrono::seconds(10), std::chrono::seconds(10));
    int wrong = 0;
    const CheckOutcome run = library.runCheck(QStringLiteral("127.0.0.1:%1").arg(server.port()),
        "bench", "pw", [&](int number, int, CheckStep step, QByteArrayView body) {
            if (step == CheckStep::Mail && body != messages[number - 1])
                ++wrong;
        });
    const bool ended = server.waitForEnd(10000);
    const RoundTripServer::Counts counts = server.counts();
    if (!run.ok || run.count != RoundTripMessages || wrong != 0 || !ended
        || !server.errorText().isEmpty()) {
        std::fprintf(stderr, "round trips (%s): %d messages, %d wrong bodies: %s %s\n",
            pipelining ? "PIPELINING" : "plain", run.count, wrong, qPrintable(run.error),
            qPrintable(server.errorText()));
        return -1;
    }
    const double perMessage = double(counts.messageTurns) / RoundTripMessages;
    std::printf("round trips %-16s %d messages: login %d (greeting included), messages %d "
                "(%.2f per message), quit %d; commands %d, LIST %d, RETR %d\n",
        pipelining ? "with PIPELINING:" : "without:", RoundTripMessages, counts.loginTurns,
        counts.messageTurns, perMessage, counts.quitTurns, counts.commands, counts.listCount,
        counts.retrCount);
    return perMessage;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 6 && arguments[1] == QLatin1String(RssChildMode))
        return rssChild(
            arguments[2].toUShort(), arguments[3], arguments[4], arguments[5].toLongLong());

    int runs = DefaultRuns;
    bool tlsOnly = false;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--serve")) {
            return serve(arguments.contains(QLatin1String("--tls")));
        } else if (arguments[i] == QLatin1String("--runs") && i + 1 < arguments.size()) {
            runs = std::max(1, arguments[++i].toInt());
        } else if (arguments[i] == QLatin1String("--tls-only")) {
            tlsOnly = true;
        } else {
            std::fprintf(stderr,
                "usage: %s [--runs N] [--tls-only]   (timed runs of the 1,000 messages; "
                "default %d; only the TLS runs)\n       %s --serve [--tls]\n",
                argv[0], DefaultRuns, argv[0]);
            return 2;
        }
    }

    DovecotServer dovecot(DovecotServer::Security::Plain);
    const qint64 benchBytes = addBenchMailbox(dovecot);
    dovecot.addUser("big", "pw");
    // The memory run's mailbox: a few small messages around one of 50 MB.
    const int bigSize = BigMessageMb * 1024 * 1024;
    qint64 bigBytes = 0;
    QCryptographicHash bigDigest(QCryptographicHash::Sha1);
    for (const qsizetype size : { qsizetype(2000), qsizetype(30000), qsizetype(bigSize),
             qsizetype(5000), qsizetype(120000) }) {
        const QByteArray message = makeSizedMessage("Size " + QByteArray::number(size), size);
        bigBytes += message.size();
        bigDigest.addData(message);
        dovecot.addMessage("big", message);
    }
    const QByteArray bigHex = bigDigest.result().toHex();
    if (!dovecot.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(dovecot.errorText()));
        return 1;
    }
    const quint16 port = dovecot.port();

    QTemporaryDir dir;
    const QString rc = dir.filePath("fetchmailrc");
    {
        QFile file(rc);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("poll 127.0.0.1 service %1 protocol pop3 user \"bench\" "
                                  "password \"pw\" sslproto \"\" fetchall keep\n")
                       .arg(port)
                       .toUtf8());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // Not timed: Dovecot builds its index of the mailbox at the first check.
    if (timeLibrary(port, benchBytes) < 0)
        return 1;
    std::vector<double> ours, limit, curl, fetchmail;
    for (int run = 0; run < runs && !tlsOnly; ++run) {
        ours.push_back(timeLibrary(port, benchBytes));
        limit.push_back(timeLimit(port));
        curl.push_back(timeProcess("curl", curlArguments(port)));
        fetchmail.push_back(
            timeProcess("fetchmail", { "-f", rc, "--bsmtp", "/dev/null", "--nosoftbounce", "-s" }));
        std::printf("run %d: library %.3f s, limit %.3f s, curl %.3f s, fetchmail %.3f s\n",
            run + 1, ours.back(), limit.back(), curl.back(), fetchmail.back());
        std::fflush(stdout);
    }
    if (!tlsOnly) {
        std::printf("median of %d: library %.3f s, limit %.3f s, curl %.3f s, fetchmail %.3f s\n",
            runs, median(ours), median(limit), median(curl), median(fetchmail));
        std::fflush(stdout);
    }

    // TLS: the same check against a second Dovecot that offers STLS, in turn with the first,
    // and the limit over STLS.
    Timings plainRuns, tlsRuns, limitTlsRuns, curlPlainRuns, curlTlsRuns;
    {
        DovecotServer tlsDovecot(DovecotServer::Security::Tls);
        addBenchMailbox(tlsDovecot);
        if (!tlsDovecot.start()) {
            std::fprintf(stderr, "%s\n", qPrintable(tlsDovecot.errorText()));
            return 1;
        }
        const QByteArray ca = tlsDovecot.certificate().toPem();
        const QString caFile = dir.filePath("ca.pem");
        {
            QFile file(caFile);
            file.open(QIODevice::WriteOnly);
            file.write(ca);
        }
        const quint16 tlsPort = tlsDovecot.port();
        const qint64 plainMaster = dovecot.processId(), tlsMaster = tlsDovecot.processId();
        timeLibrary(tlsPort, benchBytes, ca); // Dovecot's index, as above
        for (int run = 0; run < runs; ++run) {
            plainRuns.measure(plainMaster, true, [&] { return timeLibrary(port, benchBytes); });
            tlsRuns.measure(tlsMaster, true, [&] { return timeLibrary(tlsPort, benchBytes, ca); });
            limitTlsRuns.measure(tlsMaster, false, [&] { return timeLimit(tlsPort, caFile); });
            curlPlainRuns.measure(
                plainMaster, false, [&] { return timeProcess("curl", curlArguments(port)); });
            curlTlsRuns.measure(tlsMaster, false, [&] {
                return timeProcess("curl",
                    curlArguments(tlsPort) + QStringList { "--ssl-reqd", "--cacert", caFile });
            });
            std::printf("tls run %d: library plain %.3f s, STLS %.3f s; limit STLS %.3f s; curl "
                        "plain %.3f s, STLS %.3f s\n",
                run + 1, plainRuns.wall.back(), tlsRuns.wall.back(), limitTlsRuns.wall.back(),
                curlPlainRuns.wall.back(), curlTlsRuns.wall.back());
            std::fflush(stdout);
        }
    }
    const double tlsRatio = median(tlsRuns.wall) / median(plainRuns.wall);
    const double tlsLimitRatio = median(tlsRuns.wall) / median(limitTlsRuns.wall);
    std::printf("median of %d: library plain %.3f s, STLS %.3f s (%.3f); limit STLS %.3f s "
                "(library %.3f of it); curl plain %.3f s, STLS %.3f s (%.3f)\n",
        runs, median(plainRuns.wall), median(tlsRuns.wall), tlsRatio, median(limitTlsRuns.wall),
        tlsLimitRatio, median(curlPlainRuns.wall), median(curlTlsRuns.wall),
        median(curlTlsRuns.wall) / median(curlPlainRuns.wall));
    for (const auto &[name, timings] : { std::pair { "library plain", &plainRuns },
             std::pair { "library STLS", &tlsRuns }, std::pair { "limit STLS", &limitTlsRuns },
             std::pair { "curl plain", &curlPlainRuns }, std::pair { "curl STLS", &curlTlsRuns } })
        std::printf("  CPU, median of %d: %-14s client %.3f s, Dovecot %.3f s\n", runs, name,
            median(timings->client), median(timings->server));
    std::fflush(stdout);
    if (tlsOnly) {
        std::printf("tls_vs_plain=%.3f tls_ratio_vs_limit=%.3f\n", tlsRatio, tlsLimitRatio);
        return tlsRatio > 0 && tlsLimitRatio > 0 ? 0 : 1;
    }

    std::printf("memory: the check as the program makes it\n");
    std::fflush(stdout);
    const double overIdle = measurePeakRss(port, bigBytes, bigHex, bigSize, 0);
    // Diagnosis: the same check with the socket's read buffer capped (see rssChild).
    std::printf("memory (diagnosis): the same through a socket whose read buffer is capped at "
                "%lld KB\n",
        DiagnosisReadBuffer / 1024);
    std::fflush(stdout);
    measurePeakRss(port, bigBytes, bigHex, bigSize, DiagnosisReadBuffer);
    std::fflush(stdout);
    const double pipelined = measureRoundTrips(true);
    const double plain = measureRoundTrips(false);
    const double o = median(ours), l = median(limit), c = median(curl), f = median(fetchmail);

    std::printf("ratio_vs_limit=%.3f ratio_vs_curl=%.3f ratio_vs_fetchmail=%.3f "
                "tls_vs_plain=%.3f tls_ratio_vs_limit=%.3f peak_rss_over_idle_mb=%.1f "
                "round_trips_pipelining=%.2f round_trips_plain=%.2f\n",
        o / l, o / c, o / f, tlsRatio, tlsLimitRatio, overIdle, pipelined, plain);
    const bool measured = o > 0 && l > 0 && c > 0 && f > 0 && tlsRatio > 0 && tlsLimitRatio > 0
        && overIdle >= 0 && pipelined > 0 && plain > 0;
    return measured ? 0 : 1;
}
