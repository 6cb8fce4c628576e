// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A transport that plays back server bytes in the chunks given, without a socket: each read()
// returns (at most) one chunk, so a test decides exactly where the stream is split. The chunk
// TlsMarker stands for the TLS handshake: startTls() drops the plain chunks still unread before
// it, as the socket transport drops buffered plain text. What the client sends is recorded, also
// as batches: the bytes sent between two reads, so a test sees what went out before the client
// waited for an answer.
#include "mail/pop3transport.h"

#include <QByteArray>
#include <QList>
#include <cstring>
#include <memory>

class CannedTransport final : public Pop3Transport {
public:
    static inline const QByteArray TlsMarker = QByteArrayLiteral("\x01<TLS>\x01");
    enum class End { Close, Stall };

    explicit CannedTransport(QList<QByteArray> chunks, End end = End::Close)
        : m_chunks(std::move(chunks))
        , m_end(end)
        , m_sent(std::make_shared<QByteArray>())
        , m_batches(std::make_shared<QList<QByteArray>>())
    {
    }

    // What the client has written, readable after the session took ownership.
    std::shared_ptr<QByteArray> sent() const { return m_sent; }
    std::shared_ptr<QList<QByteArray>> batches() const { return m_batches; }
    void setTlsSucceeds(bool ok) { m_tlsSucceeds = ok; }

    qint64 read(char *data, qint64 maxSize, QDeadlineTimer) override
    {
        m_readSinceWrite = true;
        while (m_next < m_chunks.size() && m_offset == m_chunks[m_next].size()
            && m_chunks[m_next] != TlsMarker) {
            ++m_next;
            m_offset = 0;
        }
        if (m_closed)
            return Closed;
        // At a marker the server waits for a handshake that the client never began.
        if (m_next >= m_chunks.size() || m_chunks[m_next] == TlsMarker)
            return m_end == End::Close ? Closed : TimedOut;
        const QByteArray &chunk = m_chunks[m_next];
        const qint64 n = std::min<qint64>(maxSize, chunk.size() - m_offset);
        std::memcpy(data, chunk.constData() + m_offset, size_t(n));
        m_offset += n;
        return n;
    }
    bool write(QByteArrayView data, QDeadlineTimer) override
    {
        if (m_closed)
            return false;
        m_sent->append(data);
        if (m_readSinceWrite || m_batches->isEmpty())
            m_batches->append(QByteArray());
        m_batches->last().append(data);
        m_readSinceWrite = false;
        return true;
    }
    TlsResult startTls(QDeadlineTimer) override
    {
        while (m_next < m_chunks.size() && m_chunks[m_next] != TlsMarker) {
            ++m_next;
            m_offset = 0;
        }
        if (!m_tlsSucceeds || m_next >= m_chunks.size())
            return { false, QStringLiteral("TLS で安全に接続できません（試験）。") };
        ++m_next;
        m_offset = 0;
        m_encrypted = true;
        return { true, {} };
    }
    bool isEncrypted() const override { return m_encrypted; }
    void close() override { m_closed = true; }

private:
    QList<QByteArray> m_chunks;
    End m_end;
    std::shared_ptr<QByteArray> m_sent;
    std::shared_ptr<QList<QByteArray>> m_batches;
    bool m_readSinceWrite = false;
    qsizetype m_next = 0;
    qint64 m_offset = 0;
    bool m_tlsSucceeds = true;
    bool m_encrypted = false;
    bool m_closed = false;
};
