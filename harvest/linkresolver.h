#pragma once

#include <QString>

// Turns a link as written on a page into the absolute http or https address
// it names; the crawl asks it for every relative link it follows or collects.
class LinkResolver
{
public:
    // The link resolved against the page's address (RFC 3986), in the normal
    // form of NormalAddress: percent-encoded, query kept, fragment dropped.
    // Empty when the link cannot lead to a file or page over HTTP: an empty
    // link, a bare "#fragment", a scheme other than http or https (mailto:,
    // javascript:, data:, ftp:, ...), or an address without a host. A page
    // address written without a scheme counts as http.
    QString ResolveLink(const QString &pageAddress, const QString &link) const;

    // The one written form of an absolute address that every comparison of
    // the crawl uses: scheme and host in lower case, dot segments removed,
    // percent-encoding as QUrl writes it (so "%7E" and "~" agree), an empty
    // path written "/", the scheme's default port left out, no fragment.
    // Empty for what ResolveLink would refuse.
    static QString NormalAddress(const QString &address);
};
