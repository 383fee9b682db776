#pragma once

#include "dornex_export.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The request text of one transfer. Lines end with CR LF, in a fixed order:
// request line, Host, Accept, [Referer, IF-MATCH (GET only)], Connection
// (unless the connection is to be kept), [Range (GET only)], [extra lines],
// empty line.
struct DORNEX_EXPORT HttpRequest {
    bool isGet = true;
    QString host;    // Host line, as written in the address
    QByteArray path; // already encoded request target
    QString referer; // empty: no Referer line (and no IF-MATCH)
    qint64 startRange = 0;
    qint64 endRange = 0; // both 0: no Range line
    // Lines the host adds ("Cookie: ...", "User-Agent: ..."), without line
    // ends; CR and LF inside them are dropped, empty ones left out.
    QList<QByteArray> extraLines;
    // True: no "Connection: close" line, so that the server keeps the
    // connection for the next request (HTTP/1.1 keeps it by default).
    bool keepConnection = false;

    QByteArray toBytes() const;
};
