/* The least any POP3 client can do to fetch a whole mailbox, the limit the library is measured
 * against: log in, send every RETR at once, read with recv() into one large buffer and throw
 * the bytes away, counting only each reply's terminating line. It keeps nothing, parses nothing
 * else and checks nothing else.
 *
 *   limitreader HOST PORT USER PASSWORD COUNT
 *
 * Exits 0 once COUNT messages have ended, 1 on any failure. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { BufferSize = 4 * 1024 * 1024, Carry = 3 };

static char buffer[Carry + BufferSize];

static int sendAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
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
        const ssize_t got = recv(fd, buffer + held, BufferSize - held, 0);
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

int main(int argc, char **argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: %s HOST PORT USER PASSWORD COUNT\n", argv[0]);
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
    if (readStatusLines(fd, 1) || sendAll(fd, login, (size_t)loginSize)
        || readStatusLines(fd, 2)) {
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
        const ssize_t got = recv(fd, buffer + carried, BufferSize, 0);
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
