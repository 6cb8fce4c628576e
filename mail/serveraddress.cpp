// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/serveraddress.h"

#include "mail/nmail.h"

#include <QHostAddress>
#include <QUrl>

namespace {

bool parsePort(QStringView text, quint16 *port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535 || !text.front().isDigit())
        return false;
    *port = quint16(value);
    return true;
}

bool isPlainAsciiName(QStringView host)
{
    for (QChar c : host) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')
                || u == u'-' || u == u'_' || u == u'.'))
            return false;
    }
    return true;
}

// The one spelling of a host: an address in its canonical form, a name in ASCII and lower case
// without the root's dot, which would also fail the certificate's name check.
QString canonicalHost(QString host)
{
    if (QHostAddress address; address.setAddress(host))
        return address.toString();
    if (host.endsWith(u'.'))
        host.chop(1);
    if (host.isEmpty())
        return {};
    const QByteArray ace = QUrl::toAce(host.toCaseFolded());
    if (!ace.isEmpty())
        return QString::fromLatin1(ace).toLower();
    // Names that the international rules turn down but a local resolver may know
    // ("my_host.lan").
    return isPlainAsciiName(host) && !host.contains(QLatin1String("..")) ? host.toLower()
                                                                         : QString();
}

} // namespace

std::optional<ServerAddress> ServerAddress::parse(const QString &server, quint16 implicitTlsPort)
{
    ServerAddress address;
    const QString text = TrimAtNul(server).trimmed();
    QString host;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        // Only an address goes in brackets.
        if (QHostAddress literal; !literal.setAddress(host))
            return std::nullopt;
        const QStringView rest = QStringView(text).sliced(close + 1);
        if (!rest.isEmpty()
            && (!rest.startsWith(u':') || !parsePort(rest.sliced(1), &address.port)))
            return std::nullopt;
    } else if (text.count(u':') == 1) {
        const qsizetype colon = text.indexOf(u':');
        host = text.left(colon);
        if (!parsePort(QStringView(text).sliced(colon + 1), &address.port))
            return std::nullopt;
    } else {
        host = text;
    }
    address.host = canonicalHost(host);
    if (address.host.isEmpty())
        return std::nullopt;
    address.implicitTls = address.port == implicitTlsPort;
    return address;
}

QString ServerAddress::key() const
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

QString serverKey(const QString &server)
{
    const std::optional<ServerAddress> address = ServerAddress::parse(server);
    return address ? address->key() : QString();
}
