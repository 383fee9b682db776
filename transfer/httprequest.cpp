#include "httprequest.h"

#include "httpaddress.h"

QByteArray HttpRequest::toBytes() const
{
    // Nothing from the inputs may break a line: CR and LF are dropped from the
    // referer, and everything else unsafe is percent-encoded.
    QString cleanReferer = referer;
    cleanReferer.remove(QLatin1Char('\r'));
    cleanReferer.remove(QLatin1Char('\n'));
    const QByteArray ref = PercentEncodeForRequest(cleanReferer.toUtf8());

    QByteArray r;
    r.reserve(256 + path.size() + ref.size());
    r += isGet ? "GET " : "HEAD ";
    r += path;
    r += " HTTP/1.1\r\n";
    r += "Host: " + PercentEncodeForRequest(host.toUtf8()) + "\r\n";
    r += "Accept: */*\r\n";
    if (!ref.isEmpty()) {
        r += "Referer: " + ref + "\r\n";
        if (isGet) r += "IF-MATCH: *\r\n";
    }
    if (!keepConnection) r += "Connection: close\r\n";
    if (isGet && (startRange != 0 || endRange != 0)) {
        r += "Range: bytes=" + QByteArray::number(qMax<qint64>(0, startRange)) + '-' +
             QByteArray::number(qMax<qint64>(0, endRange)) + "\r\n";
    }
    for (QByteArray line : extraLines) {
        line.replace('\r', QByteArray()).replace('\n', QByteArray());
        if (!line.isEmpty()) r += line + "\r\n";
    }
    r += "\r\n";
    return r;
}
