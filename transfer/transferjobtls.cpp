// The secure side of a TransferJob: what comes over a TLS link (the end of
// the handshake, then the decrypted answer), and the words for a failed
// handshake.
#include "transferjob.h"

#include "quarvel.h"
#include "tlslink.h"
#include "tlssessions.h"

#include <QPointer>
#include <QTcpSocket>

void TransferJob::readSecure()
{
    QPointer<TransferJob> self(this);
    QByteArray plain;
    if (m_state == State::Connecting) {
        // The handshake; a kept connection has done it long before.
        if (m_tls->handshakeDone()) return;
        if (!m_tls->takeFromSocket(plain)) {
            TlsSessions::Forget(TlsSessions::Key(m_address.connectHost, m_address.port));
            fail(tlsFailure(m_tls->failure()));
            return;
        }
        if (!m_tls->handshakeDone()) return;
        onConnected();
        if (!self || m_state != State::ReadingHeader) return;
    } else if (m_state == State::ReadingHeader || m_state == State::ReadingBody) {
        if (!m_tls->takeFromSocket(plain)) {
            fail(QStringLiteral("TLS error: ") + m_tls->failure());
            return;
        }
    } else {
        return;
    }
    if (plain.isEmpty() && !m_tls->peerClosed()) return;
    armTimer(m_params.stallTimeoutMs);
    if (!plain.isEmpty() && !consume(plain.constData(), plain.size())) return;
    if (m_state == State::ReadingBody) {
        emit m_owner->Progress(m_bytesWritten, m_contentLength);
        if (!self || !isActive()) return;
    }
    if (m_state == State::ReadingBody && bodyComplete()) {
        bodyEnded();
        return;
    }
    // The server ended the TLS session: as a close of the connection.
    if (m_tls && m_tls->peerClosed()) onPeerClosed();
}

QString TransferJob::tlsFailure(const QString &socketText) const
{
    if (m_tls && !m_tls->refusals().isEmpty())
        return QStringLiteral("the certificate of %1 was refused: %2")
            .arg(m_address.host, m_tls->refusals().join(QStringLiteral("; ")));
    // OpenSSL's words for an answer that is no TLS record at all.
    if (socketText.contains(QLatin1String("wrong version number")) ||
        socketText.contains(QLatin1String("packet length too long")) ||
        socketText.contains(QLatin1String("http request")))
        return QStringLiteral("%1 does not speak TLS on port %2 (%3)")
            .arg(m_address.connectHost)
            .arg(m_address.port)
            .arg(socketText);
    return QStringLiteral("TLS handshake with %1 failed: %2").arg(m_address.host, socketText);
}
