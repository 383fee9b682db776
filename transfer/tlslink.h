#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpSocket;
typedef struct ssl_st SSL;

// TLS over a plain QTcpSocket: OpenSSL reads from and writes to the socket
// through a BIO of its own (no memory buffers in between). The link is a child of
// the socket and goes wherever the socket goes (into the connection pool and
// out again). All links share the process's one TLS context (TlsSessions):
// one store of trusted certificates, built once, and the sessions kept per
// server.
class TlsLink : public QObject
{
    Q_OBJECT
public:
    // Prepares TLS for a connection to connectHost:port over socket: the
    // name goes out for server name indication (unless it is an address) and
    // is verified against the certificate, and the session kept for that
    // server, if any, is offered.
    TlsLink(QTcpSocket *socket, const QString &connectHost, quint16 port);
    ~TlsLink() override;

    // The link riding on socket, or nullptr for a plain connection.
    static TlsLink *Of(const QTcpSocket *socket);

    // Sends the first handshake message (the TCP connection is up).
    void startHandshake();
    // Takes the bytes the socket holds: advances the handshake, and appends
    // the decrypted data to plain. False when TLS failed (failure() says
    // why, refusals() lists a refused certificate's problems).
    bool takeFromSocket(QByteArray &plain);
    // Encrypts and sends bytes; false when TLS failed.
    bool send(const QByteArray &plain);

    bool handshakeDone() const { return m_handshakeDone; }
    // True when the server ended the TLS session (close_notify).
    bool peerClosed() const { return m_peerClosed; }
    // True when the handshake resumed a kept session.
    bool resumed() const;
    QString failure() const { return m_failure; }
    // The verification problems of the server's certificate in words
    // ("certificate expired", "host name mismatch", ...), each once.
    QStringList refusals() const { return m_refusals; }

    // Called by the verification of the shared context for each problem.
    void noteRefusal(int verifyError);
    // Called by the shared context when the server issued a session.
    bool acceptsSessions() const { return m_refusals.isEmpty(); }
    QString serverKey() const { return m_key; }

private:
    bool failWith(const QString &text);

    QTcpSocket *m_socket;
    SSL *m_ssl = nullptr;
    QString m_key; // "host:port" of the sessions
    bool m_handshakeDone = false;
    bool m_peerClosed = false;
    bool m_failed = false;
    QString m_failure;
    QStringList m_refusals;
};
