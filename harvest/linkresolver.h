#pragma once

#include <QString>

// Turns a link as written on a page into the absolute http or https address
// it names; the crawl asks it for every relative link it follows or collects.
class LinkResolver
{
public:
    // The link resolved against the page's address (RFC 3986), percent-encoded,
    // query kept, fragment dropped. Empty when the link cannot lead to a file
    // or page over HTTP: an empty link, a bare "#fragment", a scheme other than
    // http or https (mailto:, javascript:, data:, ftp:, ...), or an address
    // without a host. A page address written without a scheme counts as http.
    QString ResolveLink(const QString &pageAddress, const QString &link) const;
};
