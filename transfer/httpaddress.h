#pragma once

#include "dornex_export.h"

#include <QByteArray>
#include <QString>

// An http or https address split the way a request needs it: the host as
// written (for the Host line), the name and port to connect to, whether the
// connection is secured with TLS, and the path to request. Built by parse(); a
// non-empty error() means the address cannot be fetched.
class DORNEX_EXPORT HttpAddress
{
public:
    // Splits an address with or without "http://", or with "https://" (either
    // in any letter case; without a scheme the address is plain http). The
    // host ends at the first "/", "?" or "#"; the path keeps the query, drops
    // the fragment and is percent-encoded where a request line needs it. The
    // port defaults to 80, or 443 for https.
    static HttpAddress parse(const QString &url);

    QString host;        // host as written, with its port if one was written
    QString connectHost; // name or address to connect to (no brackets, no port)
    quint16 port = 80;
    bool secure = false; // https: the connection runs over TLS
    QByteArray path;     // request target, starts with "/"
    QString error;       // why the address cannot be fetched; empty when it can

    bool isValid() const { return error.isEmpty(); }
    // "http://" or "https://" + host + path.
    QString toUrl() const;
};

// Percent-encodes what must not appear raw in a request line or header value:
// control characters (CR and LF among them), spaces, DEL, bytes outside ASCII
// and a "%" that does not start an escape. Existing %xx escapes are kept.
DORNEX_EXPORT QByteArray PercentEncodeForRequest(const QByteArray &bytes);

// The address without its scheme: every "http://", "HTTP://", "https://" and
// "HTTPS://" removed (a scheme in another mix of letter cases stays, as the
// saved lists expect).
DORNEX_EXPORT QString AddressWithoutScheme(const QString &address);
// The host of an address as folder names and list rows take it: the address
// without its scheme, cut before its first "/" (the whole of it when there is
// none). A plain and a secure address of one site give the same host.
DORNEX_EXPORT QString AddressHost(const QString &address);
