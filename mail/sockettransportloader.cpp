#include "mail/pop3transport.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QMutex>

// Defined when the module's objects are linked into the program; otherwise null, and the
// module is loaded from beside the executable.
extern "C" Pop3SocketTransport *brindle_make_socket_transport() __attribute__((weak));

std::unique_ptr<Pop3SocketTransport> makeSocketTransport(QString *failureText)
{
    if (brindle_make_socket_transport)
        return std::unique_ptr<Pop3SocketTransport>(brindle_make_socket_transport());
    return loadSocketTransport(QCoreApplication::applicationDirPath(), failureText);
}

std::unique_ptr<Pop3SocketTransport> loadSocketTransport(
    const QString &folder, QString *failureText)
{
    using Maker = Pop3SocketTransport *(*)();
    static QMutex mutex;
    static Maker maker = nullptr;
    const QMutexLocker lock(&mutex);
    if (!maker) {
        // Never unloaded: transports made by the module may live until the program ends.
        QLibrary module(folder + QStringLiteral("/libbrindle_net.so"));
        module.setLoadHints(QLibrary::PreventUnloadHint);
        if (module.load())
            maker = reinterpret_cast<Maker>(module.resolve("brindle_make_socket_transport"));
        if (!maker) {
            *failureText = QStringLiteral("通信部品 libbrindle_net.so を読み込めません（%1）。")
                               .arg(module.errorString());
            return nullptr;
        }
    }
    return std::unique_ptr<Pop3SocketTransport>(maker());
}
