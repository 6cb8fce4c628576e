#pragma once
// The byte stream under a POP3 session. The real one is a socket (TCP, TLS from the first byte
// or after STLS), made by makeSocketTransport(); tests and the fuzz target hand a session a
// transport of their own that plays back canned server bytes, so the protocol code runs
// unchanged against hostile input.
//
// The socket lives in a module of its own (mail/net/, built as libbrindle_net.so beside the
// program) because it needs the network libraries, and with them Kerberos and the proxy
// resolver: loading those at every start would slow the start for a check that may never run.
// A program that links the module's objects in (the tests) uses them directly.
#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>
#include <memory>

class Pop3Transport {
public:
    static constexpr qint64 Closed = -1;
    static constexpr qint64 TimedOut = -2;

    struct TlsResult {
        bool ok = false;
        QString failureText; // Japanese, naming the reason
    };

    virtual ~Pop3Transport() = default;
    // Reads at least one byte, waiting until the deadline: the count read, Closed or TimedOut.
    virtual qint64 read(char *data, qint64 maxSize, QDeadlineTimer deadline) = 0;
    // Sends all of data; false when the connection is gone or the deadline passed.
    virtual bool write(QByteArrayView data, QDeadlineTimer deadline) = 0;
    // Throws away every byte received so far (it came before the handshake and cannot be
    // trusted), then negotiates TLS and verifies the peer.
    virtual TlsResult startTls(QDeadlineTimer deadline) = 0;
    virtual bool isEncrypted() const = 0;
    virtual void close() = 0;
};

class Pop3SocketTransport : public Pop3Transport {
public:
    enum class OpenResult { Ok, Failed, TimedOut, TlsFailed };

    // Connects to host:port; implicitTls starts the handshake at once. The peer certificate is
    // checked against the system's trust store plus the PEM certificates in extraCaPem, and
    // against host.
    virtual OpenResult open(const QString &host, quint16 port, bool implicitTls,
        const QByteArray &extraCaPem, QDeadlineTimer deadline, QString *failureText)
        = 0;
};

// A new, unconnected socket transport; null when the module cannot be loaded, with the reason
// in failureText.
std::unique_ptr<Pop3SocketTransport> makeSocketTransport(QString *failureText);
// The same from the module in folder, even where the objects are linked in. Once the module
// is loaded, later calls use it whatever folder they name.
std::unique_ptr<Pop3SocketTransport> loadSocketTransport(
    const QString &folder, QString *failureText);
