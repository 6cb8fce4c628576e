// Times a full mail check of 1,000 messages (10 to 200 KB, the same every run) in a throwaway
// Dovecot: this library against curl over one connection and fetchmail (fetchall keep, into
// /dev/null). Medians of at least five runs each; the last line is
//   ratio_vs_curl=X ratio_vs_fetchmail=Y
// (our time divided by theirs; below 1 means faster).
#include "fakes/dovecot.h"

#include "mail/pop3library.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr int MessageCount = 1000;
constexpr int Runs = 5;

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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeLibrary(quint16 port)
{
    QElapsedTimer timer;
    timer.start();
    Pop3Library library;
    library.NMailSetOption(1, NMailApi::BufferSize);
    const int handle = library.NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(port));
    const int count = library.NMailPop3Authenticate(handle, "bench", "pw", 0);
    if (count != MessageCount) {
        std::fprintf(stderr, "library: login gave %d\n", count);
        return -1;
    }
    std::array<char, NMailApi::BufferSize> subject, from, date, id;
    std::vector<char> body;
    for (int n = 1; n <= count; ++n) {
        library.NMailPop3GetMailStatus(handle, n, subject, from, date, id, 0);
        const int size = library.NMailPop3GetMailSize(handle, n);
        body.assign(size_t(size) + 1, ' ');
        library.NMailPop3GetMail(handle, n, subject, from, date, id, body, 0, 0);
    }
    library.NMailPop3Close(handle);
    return timer.elapsed() / 1000.0;
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DovecotServer dovecot(DovecotServer::Security::Plain);
    dovecot.addUser("bench", "pw");
    quint32 seed = 20260301;
    for (int n = 1; n <= MessageCount; ++n)
        dovecot.addMessage("bench", makeMessage(n, &seed));
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

    std::vector<double> ours, curl, fetchmail;
    for (int run = 0; run < Runs; ++run) {
        ours.push_back(timeLibrary(port));
        curl.push_back(timeProcess("curl",
            { "-s", "-u", "bench:pw",
                QStringLiteral("pop3://127.0.0.1:%1/[1-%2]").arg(port).arg(MessageCount), "-o",
                "/dev/null" }));
        fetchmail.push_back(
            timeProcess("fetchmail", { "-f", rc, "--bsmtp", "/dev/null", "--nosoftbounce", "-s" }));
        std::printf("run %d: library %.3f s, curl %.3f s, fetchmail %.3f s\n", run + 1, ours.back(),
            curl.back(), fetchmail.back());
        std::fflush(stdout);
    }
    const double o = median(ours), c = median(curl), f = median(fetchmail);
    std::printf("median: library %.3f s, curl %.3f s, fetchmail %.3f s\n", o, c, f);
    std::printf("ratio_vs_curl=%.3f ratio_vs_fetchmail=%.3f\n", o / c, o / f);
    return o > 0 && c > 0 && f > 0 ? 0 : 1;
}
