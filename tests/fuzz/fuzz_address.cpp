// Address parsing, the request builder and the link resolver: whatever the
// address, referer or link, no CR, LF, blank or other control character
// reaches the request line, and the request is exactly its lines.
#include "fuzzcheck.h"
#include "httpaddress.h"
#include "httprequest.h"
#include "linkresolver.h"

#include <QList>

#include <cstddef>
#include <cstdint>

namespace
{
void checkRequest(const HttpAddress &address, const QString &referer, bool isGet)
{
    if (!address.isValid()) return;
    FUZZ_CHECK(address.path.startsWith('/'));
    for (char c : address.path)
        FUZZ_CHECK(static_cast<unsigned char>(c) > 32 && static_cast<unsigned char>(c) < 127);
    HttpRequest request;
    request.isGet = isGet;
    request.host = address.host;
    request.path = address.path;
    request.referer = referer;
    request.startRange = 1;
    request.endRange = 2;
    const QByteArray bytes = request.toBytes();
    FUZZ_CHECK(bytes.endsWith("\r\n\r\n"));
    const QByteArray requestLine = bytes.left(bytes.indexOf("\r\n"));
    FUZZ_CHECK(requestLine == (isGet ? "GET " : "HEAD ") + address.path + " HTTP/1.1");
    // Every line is ended by CR LF; no lone CR or LF anywhere.
    const QList<QByteArray> lines = bytes.chopped(4).split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        FUZZ_CHECK(!text.contains('\r'));
        FUZZ_CHECK(!text.isEmpty());
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Input: address, referer and link separated by NUL bytes.
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    const QString url = QString::fromUtf8(parts.value(0));
    const QString referer = QString::fromUtf8(parts.value(1));
    const QString link = QString::fromUtf8(parts.value(2));

    const HttpAddress address = HttpAddress::parse(url);
    checkRequest(address, referer, true);
    checkRequest(address, referer, false);
    if (address.isValid())
        FUZZ_CHECK(address.toUrl().startsWith(address.secure ? QLatin1String("https://")
                                                             : QLatin1String("http://")));

    const QString resolved = LinkResolver().ResolveLink(url, link);
    if (!resolved.isEmpty()) {
        FUZZ_CHECK(resolved.startsWith(QLatin1String("http://")) ||
                   resolved.startsWith(QLatin1String("https://")));
        const HttpAddress next = HttpAddress::parse(resolved);
        checkRequest(next, referer, true);
    }
    return 0;
}
