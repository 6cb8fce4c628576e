// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A server setting read once, where the server's text enters a check: the host to connect to
// and to check the certificate against, the port, whether TLS starts with the first byte, and
// the key under which the program records what it learns about the server (servertrust.h).
//
// The key is the one name a server has: the host case-folded, a trailing dot dropped, an IPv6
// literal in its canonical form (in brackets), an international name in its ASCII form, and the
// port always written: "pop.example.org:110", "[2001:db8::1]:995". A key written by an older
// version (the host's text lower-cased, with its port) reads as the same key, since a key is
// itself a server setting.
#include <QString>
#include <optional>

struct ServerAddress {
    static constexpr quint16 DefaultPort = 110;
    static constexpr quint16 ImplicitTlsPort = 995;

    QString host; // as connected to and as the certificate must name it
    quint16 port = DefaultPort;
    bool implicitTls = false;

    // "host", "host:port", "[v6]", "[v6]:port"; a bare IPv6 address (several colons) is a host.
    // Nothing when the text names no host the program can reach. implicitTlsPort is the port on
    // which TLS starts with the first byte.
    static std::optional<ServerAddress> parse(
        const QString &server, quint16 implicitTlsPort = ImplicitTlsPort);
    QString key() const;
};

// The key of a server setting, or empty when it cannot be read.
QString serverKey(const QString &server);
