#include "httpaddress.h"

#include <QRegularExpression>
#include <QUrl>

namespace
{

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "scheme://" at the start of an address, other than http and https.
bool hasOtherScheme(const QString &url)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(url).hasMatch();
}

} // namespace

QByteArray PercentEncodeForRequest(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool escapeStart =
            c == '%' && i + 2 < bytes.size() && isHex(bytes[i + 1]) && isHex(bytes[i + 2]);
        if (c <= 0x20 || c >= 0x7F || (c == '%' && !escapeStart)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += char(c);
        }
    }
    return out;
}

QString HttpAddress::toUrl() const
{
    return (secure ? QStringLiteral("https://") : QStringLiteral("http://")) + host +
           QString::fromLatin1(path);
}

HttpAddress HttpAddress::parse(const QString &url)
{
    HttpAddress a;
    QString rest = url;
    if (rest.left(7).compare(QLatin1String("http://"), Qt::CaseInsensitive) == 0) {
        rest = rest.mid(7);
    } else if (rest.left(8).compare(QLatin1String("https://"), Qt::CaseInsensitive) == 0) {
        rest = rest.mid(8);
        a.secure = true;
        a.port = 443;
    } else if (hasOtherScheme(rest)) {
        a.error =
            QStringLiteral("unsupported address scheme (only http and https are fetched): ") + url;
        return a;
    }

    qsizetype end = rest.size();
    for (QChar stop : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = rest.indexOf(stop);
        if (at >= 0 && at < end) end = at;
    }
    a.host = rest.left(end);
    QString path = rest.mid(end);
    if (!path.startsWith(QLatin1Char('/'))) path.prepend(QLatin1Char('/'));
    const qsizetype hash = path.indexOf(QLatin1Char('#'));
    if (hash >= 0) path.truncate(hash);
    a.path = PercentEncodeForRequest(path.toUtf8());

    if (a.host.isEmpty()) {
        a.error = QStringLiteral("the address has no host: ") + url;
        return a;
    }
    if (a.host.contains(QLatin1Char('@'))) {
        a.error = QStringLiteral("addresses with a user part are not fetched: ") + url;
        return a;
    }
    for (QChar c : a.host) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F) {
            a.error = QStringLiteral("the host contains a blank or a control character: ") + url;
            return a;
        }
    }

    // Split off a port: "[v6]:port" or "name:port".
    QString name = a.host;
    QString portText;
    if (name.startsWith(QLatin1Char('['))) {
        const qsizetype close = name.indexOf(QLatin1Char(']'));
        if (close < 0) {
            a.error = QStringLiteral("malformed host: ") + a.host;
            return a;
        }
        const QString after = name.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':'))) {
                a.error = QStringLiteral("malformed host: ") + a.host;
                return a;
            }
            portText = after.mid(1);
        }
        name = name.mid(1, close - 1);
    } else {
        const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            portText = name.mid(colon + 1);
            name = name.left(colon);
        }
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok, 10);
        if (!ok || port == 0 || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
            a.error = QStringLiteral("invalid port in address: ") + url;
            return a;
        }
        a.port = quint16(port);
    }
    if (name.isEmpty()) {
        a.error = QStringLiteral("the address has no host: ") + url;
        return a;
    }
    // Names outside ASCII are sent in their ASCII-compatible form.
    bool ascii = true;
    for (QChar c : name)
        ascii = ascii && c.unicode() < 0x80;
    if (!ascii) {
        const QByteArray ace = QUrl::toAce(name);
        if (ace.isEmpty()) {
            a.error = QStringLiteral("invalid host name: ") + url;
            return a;
        }
        name = QString::fromLatin1(ace);
        a.host = portText.isEmpty() ? name : name + QLatin1Char(':') + portText;
    }
    a.connectHost = name;
    return a;
}

QString AddressWithoutScheme(const QString &address)
{
    QString rest = address;
    for (const char *scheme : {"http://", "HTTP://", "https://", "HTTPS://"})
        rest.remove(QLatin1String(scheme));
    return rest;
}

QString AddressHost(const QString &address)
{
    const QString rest = AddressWithoutScheme(address);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    return slash >= 0 ? rest.left(slash) : rest;
}
