// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: random server bytes against the POP3 client, through the canned transport
// that the unit tests use (tests/pop3/cannedtransport.h), so no socket and no waiting is involved.
//
// Build (not part of the normal build):
//   clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -I. -Itests/pop3 \
//       tests/fuzz/fuzz_pop3.cpp mail/pop3library.cpp mail/pop3session.cpp \
//       mail/sockettransport.cpp mail/pop3headers.cpp mail/trimatnul.cpp \
//       $(pkg-config --cflags --libs Qt6Core Qt6Network) -o fuzz_pop3
//   ./fuzz_pop3 -max_total_time=60 tests/fuzz/corpus/pop3
//
// Input: byte 0 chooses the login (bit 0: APOP) and whether STLS "succeeds" (bit 1); byte 1
// seeds how the rest is cut into reads; the rest is what the server sends.
#include "cannedtransport.h"

#include "mail/pop3library.h"

#include <array>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t options = data[0];
    uint32_t seed = data[1] | 1u;
    const QByteArray stream(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));

    QList<QByteArray> chunks;
    for (qsizetype pos = 0; pos < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype length = 1 + qsizetype((seed >> 16) % 97);
        chunks << stream.mid(pos, length);
        pos += length;
    }
    // Every second run hands the handshake over halfway through.
    if (options & 2)
        chunks.insert(chunks.size() / 2, CannedTransport::TlsMarker);

    auto transport = std::make_unique<CannedTransport>(chunks);
    transport->setTlsSucceeds(options & 2);
    Pop3Library library;
    const int handle = library.attachTransport(std::move(transport), QStringLiteral("fuzz"));
    if (handle < 0)
        return 0;
    const int count = library.NMailPop3Authenticate(
        handle, QStringLiteral("user"), QStringLiteral("secret"), (options & 1) ? -1 : 0);
    std::array<char, 64> subject {}, from {}, date {}, id {};
    for (int n = 1; n <= std::min(count, 4); ++n) {
        library.NMailPop3GetMailStatus(handle, n, subject, from, date, id, 0);
        const int messageSize = library.NMailPop3GetMailSize(handle, n);
        std::vector<char> body(size_t(std::clamp(messageSize, 0, 1 << 20)) + 1);
        library.NMailPop3GetMail(handle, n, subject, from, date, id, body, 0, 0);
    }
    std::array<char, 256> text {};
    int textSize = int(text.size());
    library.NMailGetMessage(0, text, &textSize);
    library.NMailPop3Close(handle);
    return 0;
}
