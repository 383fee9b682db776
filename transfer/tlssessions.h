#pragma once

#include <QString>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// What the secure connections of one process share: one OpenSSL context
// (made on first use) whose store holds the system's trusted certificates
// and those added besides, which verifies chain, dates and name of every
// server; and the last TLS session of every server (connect name and port),
// offered again on the next connection to it so that the server can resume
// the session instead of a full handshake. Process-wide because the public
// call that adds certificates is static and every control of the process
// must see them; only the transfer jobs of this library use it, all on the
// one thread.
namespace TlsSessions
{

// Reads one or more PEM certificates from pemFile and trusts them from now
// on for every secure transfer, besides the system's certificates. Returns
// the number added: 0 when the file is missing, unreadable or holds no
// certificate; certificates already trusted this way are not counted again.
int AddTrustedCertificates(const QString &pemFile);

// The context every TLS connection of the process is made from.
SSL_CTX *Context();
// Where a connection keeps its TlsLink (SSL_get_ex_data).
int LinkIndex();

// "host:port": whose session it is.
QString Key(const QString &connectHost, quint16 port);
// Offers the session kept for key, if any, to a connection before its
// handshake.
void Offer(SSL *ssl, const QString &key);
// Forgets the session of key (after a failed handshake, so that it is not
// offered again).
void Forget(const QString &key);
// True when a session of key is kept.
bool HasSession(const QString &key);

// Why a certificate was refused, in words that name the problem
// ("certificate expired", "host name mismatch", "self-signed certificate",
// ...), for one of OpenSSL's verification errors.
QString DescribeVerifyError(int verifyError);

} // namespace TlsSessions
