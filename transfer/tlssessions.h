#pragma once

#include <QByteArray>
#include <QList>
#include <QSslError>
#include <QString>

class QSslSocket;

// What the secure connections of one process share: the certificates trusted
// besides the system's, and the last TLS session of every server (host and
// port), offered again on the next connection to it so that the server can
// resume the session instead of a full handshake. Process-wide because the
// public call that adds certificates is static and every control of the
// process must see them; only the transfer jobs of this library use it, all
// on the one thread.
namespace TlsSessions
{

// Reads one or more PEM certificates from pemFile and trusts them from now
// on for every secure transfer, besides the system's certificates. Returns
// the number added: 0 when the file is missing, unreadable or holds no
// certificate; certificates already trusted this way are not counted again.
int AddTrustedCertificates(const QString &pemFile);

// Prepares socket for a connection to connectHost:port: the peer is always
// verified, and the last session kept for that server is offered. The chain
// is verified against the system's and the added certificates; a server
// whose chain one of the two verified before is verified against that one
// alone, which is far cheaper to set up. Returns true when the store was
// narrowed so: a refused certificate must then be tried once more with the
// whole store (after Forget) before it counts as refused.
bool Prepare(QSslSocket &socket, const QString &connectHost, quint16 port);

// Keeps the socket's current session for connectHost:port (called once the
// handshake is done, and again whenever the server sends a new ticket), and
// which store verified its chain.
void Keep(const QSslSocket &socket, const QString &connectHost, quint16 port);

// Forgets the session of connectHost:port and the store that verified it
// (after a failed handshake, so that neither is offered again).
void Forget(const QString &connectHost, quint16 port);

// True when a session of connectHost:port is kept.
bool HasSession(const QString &connectHost, quint16 port);

// Why a handshake was refused, in words that name the problem ("certificate
// expired", "host name mismatch", "self-signed certificate", ...); the
// distinct problems of errors joined by "; ".
QString DescribeErrors(const QList<QSslError> &errors);

} // namespace TlsSessions
