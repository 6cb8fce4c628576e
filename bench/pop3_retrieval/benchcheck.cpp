#include "checkrun.h"

#include "mail/checkmail.h"
#include "mail/pop3library.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

CheckConnector libraryConnect(const QString &server)
{
    return [server](Pop3Library &library) { return library.NMailPop3Connect(server); };
}

CheckRun runCheck(Pop3Library &library, const CheckConnector &connect, const QString &user,
    const QString &password, const CheckObserver &observer)
{
    CheckRun run;
    library.NMailSetOption(1, NMailApi::BufferSize);
    const int handle = connect(library);
    if (handle == -1) {
        run.error = QStringLiteral("connect: ") + library.lastFailureText();
        return run;
    }
    // Made after the connection, as the check makes them.
    std::vector<char> subject(NMailApi::BufferSize, ' '), from(NMailApi::BufferSize, ' '),
        date(NMailApi::BufferSize, ' '), id(NMailApi::BufferSize, ' ');
    run.count = library.NMailPop3Authenticate(handle, user, password, 0);
    if (run.count < 0) {
        run.error = QStringLiteral("login: ") + library.lastFailureText();
        library.NMailPop3Close(handle);
        return run;
    }
    std::vector<char> body;
    run.ok = true;
    for (int n = 1; n <= run.count; ++n) {
        if (library.NMailPop3GetMailStatus(handle, n, subject, from, date, id, 0) != 0) {
            run.ok = false;
            run.error = QStringLiteral("status %1: %2").arg(n).arg(library.lastFailureText());
        }
        if (observer)
            observer(n, 0, CheckStep::Status, {});
        const int size = library.NMailPop3GetMailSize(handle, n);
        const size_t bodySize = size < 0 ? 0 : size_t(std::min(size, MaxBodyBuffer - 1)) + 1;
        body.assign(bodySize, ' ');
        run.largestSize = std::max(run.largestSize, size);
        if (observer)
            observer(n, size, CheckStep::SizeAndBuffer, {});
        if (library.NMailPop3GetMail(handle, n, subject, from, date, id, body, 0, 0) != 0) {
            run.ok = false;
            run.error = QStringLiteral("mail %1: %2").arg(n).arg(library.lastFailureText());
        }
        const auto *end = static_cast<const char *>(std::memchr(body.data(), 0, body.size()));
        const QByteArrayView text(body.data(), end ? end - body.data() : qsizetype(body.size()));
        run.bodyBytes += text.size();
        if (observer)
            observer(n, size, CheckStep::Mail, text);
    }
    library.NMailPop3Close(handle);
    return run;
}

qint64 procStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
