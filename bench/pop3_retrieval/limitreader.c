// SPDX-License-Identifier: GPL-3.0-or-later
/* The least any POP3 client can do to fetch a whole mailbox, the limit the library is measured
 * against: log in, send every RETR at once, read into one large buffer and throw the bytes
 * away, counting only each reply's terminating line. It keeps nothing, parses nothing else and
 * checks nothing else. With CAFILE it first upgrades the connection with STLS (OpenSSL directly,
 * the server's certificate checked against CAFILE and HOST) and reads with SSL_read.
 *
 *   limitreader HOST PORT USER PASSWORD COUNT [CAFILE]
 *
 * Exits 0 once COUNT messages have ended, 1 on any failure. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <limits.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { BufferSize = 4 * 1024 * 1024, Carry = 3 };

static char buffer[Carry + BufferSize];
static SSL *tls; /* once STLS has been done */

static ssize_t receive(int fd, char *data, size_t size)
{
    if (tls)
        return SSL_read(tls, data, size > INT_MAX ? INT_MAX : (int)size);
    return recv(fd, data, size, 0);
}

static int sendAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = tls ? SSL_write(tls, data, size > INT_MAX ? INT_MAX : (int)size)
                                 : send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return -1;
        data += sent;
        size -= (size_t)sent;
    }
    return 0;
}

/* Reads until `lines` line ends have come; each must belong to a "+OK" reply. */
static int readStatusLines(int fd, int lines)
{
    size_t held = 0;
    while (lines > 0) {
        const ssize_t got = receive(fd, buffer + held, BufferSize - held);
        if (got <= 0)
            return -1;
        held += (size_t)got;
        char *line = buffer, *end;
        while (lines > 0 && (end = memchr(line, '\n', held - (size_t)(line - buffer)))) {
            if (strncmp(line, "+OK", 3) != 0)
                return -1;
            --lines;
            line = end + 1;
        }
        held -= (size_t)(line - buffer);
        memmove(buffer, line, held);
    }
    return 0;
}

/* STLS and the handshake; the certificate must chain to caFile and name host (an address). */
static int startTls(int fd, const char *host, const char *caFile)
{
    if (sendAll(fd, "STLS\r\n", 6) || readStatusLines(fd, 1))
        return -1;
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (!context || SSL_CTX_load_verify_locations(context, caFile, NULL) != 1)
        return -1;
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, NULL);
    /* Without it OpenSSL reads each record's header and body with a recv() each. */
    SSL_CTX_set_read_ahead(context, 1);
    SSL *ssl = SSL_new(context);
    if (!ssl || X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host) != 1
        || SSL_set_fd(ssl, fd) != 1 || SSL_connect(ssl) != 1)
        return -1;
    tls = ssl;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 7) {
        fprintf(stderr, "usage: %s HOST PORT USER PASSWORD COUNT [CAFILE]\n", argv[0]);
        return 2;
    }
    const int count = atoi(argv[5]);
    struct sockaddr_in address = { .sin_family = AF_INET, .sin_port = htons(atoi(argv[2])) };
    if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1)
        return 1;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr *)&address, sizeof address) != 0)
        return 1;

    char login[1024];
    const int loginSize = snprintf(login, sizeof login, "USER %s\r\nPASS %s\r\n", argv[3], argv[4]);
    if (readStatusLines(fd, 1) || (argc == 7 && startTls(fd, argv[1], argv[6]))
        || sendAll(fd, login, (size_t)loginSize) || readStatusLines(fd, 2)) {
        fprintf(stderr, "limitreader: login failed\n");
        return 1;
    }

    size_t commandsSize = 0;
    char *commands = malloc((size_t)count * 24 + 8);
    for (int n = 1; n <= count; ++n)
        commandsSize += (size_t)sprintf(commands + commandsSize, "RETR %d\r\n", n);
    if (sendAll(fd, commands, commandsSize))
        return 1;
    free(commands);

    /* A reply ends with a line holding only a dot; inside a message such a line is stuffed. The
     * last Carry bytes of one read stay in front of the next, so a terminator split between two
     * reads is found once. */
    int ended = 0;
    size_t carried = 0;
    while (ended < count) {
        const ssize_t got = receive(fd, buffer + carried, BufferSize);
        if (got <= 0) {
            fprintf(stderr, "limitreader: connection ended after %d messages\n", ended);
            return 1;
        }
        const size_t size = carried + (size_t)got;
        const char *p = buffer, *end = buffer + size, *hit;
        while ((hit = memmem(p, (size_t)(end - p), "\n.\r\n", 4))) {
            ++ended;
            p = hit + 4;
        }
        carried = size < Carry ? size : Carry;
        memmove(buffer, end - carried, carried);
    }
    sendAll(fd, "QUIT\r\n", 6);
    close(fd);
    return 0;
}
