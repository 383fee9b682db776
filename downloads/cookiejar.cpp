#include "cookiejar.h"

#include "programstate.h"

#include <QUrl>
#include <algorithm>

namespace
{

QByteArray WithoutLineEnds(QByteArray text)
{
    return text.replace('\r', QByteArray()).replace('\n', QByteArray());
}

// A cookie's domain with a leading dot goes to that host and every host
// below it; one without goes to that host alone.
bool DomainMatches(const QString &cookieDomain, const QString &host)
{
    if (cookieDomain.isEmpty() || host.isEmpty()) return false;
    if (!cookieDomain.startsWith(QLatin1Char('.')))
        return host.compare(cookieDomain, Qt::CaseInsensitive) == 0;
    const QString bare = cookieDomain.mid(1);
    return host.compare(bare, Qt::CaseInsensitive) == 0 ||
           host.endsWith(cookieDomain, Qt::CaseInsensitive);
}

// A cookie's path covers the same path and every path below it.
bool PathMatches(QString cookiePath, const QString &path)
{
    if (cookiePath.isEmpty()) cookiePath = QStringLiteral("/");
    if (path == cookiePath) return true;
    return path.startsWith(cookiePath) && (cookiePath.endsWith(QLatin1Char('/')) ||
                                           path.at(cookiePath.size()) == QLatin1Char('/'));
}

} // namespace

void CookieJar::Insert(const QNetworkCookie &cookie)
{
    Remove(cookie);
    m_cookies.append(cookie);
}

void CookieJar::Remove(const QNetworkCookie &cookie)
{
    m_cookies.removeIf([&](const QNetworkCookie &c) { return c.hasSameIdentifier(cookie); });
}

QByteArray CookieJar::CookieValue(const QString &address, const QDateTime &now) const
{
    const QUrl url(address);
    const QString host = url.host();
    const QString path = url.path().isEmpty() ? QStringLiteral("/") : url.path();
    const bool secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QList<const QNetworkCookie *> going;
    for (const QNetworkCookie &c : m_cookies) {
        if (c.isSecure() && !secure) continue;
        if (c.expirationDate().isValid() && c.expirationDate() <= now) continue;
        if (!DomainMatches(c.domain(), host) || !PathMatches(c.path(), path)) continue;
        going.append(&c);
    }
    std::stable_sort(going.begin(), going.end(), [](const auto *a, const auto *b) {
        return a->path().size() > b->path().size();
    });
    QByteArray value;
    for (const QNetworkCookie *c : going) {
        if (!value.isEmpty()) value += "; ";
        value += c->toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    return WithoutLineEnds(value);
}

QList<QByteArray> CookieJar::HeaderLines(const QString &address) const
{
    QList<QByteArray> lines;
    const QByteArray cookies = CookieValue(address);
    if (!cookies.isEmpty()) lines << "Cookie: " + cookies;
    const QByteArray agent = WithoutLineEnds(UserAgent.toUtf8()).trimmed();
    if (!agent.isEmpty()) lines << "User-Agent: " + agent;
    return lines;
}

std::function<QList<QByteArray>(const QString &)>
CookieJar::RequestLines(const ProgramSettings &settings) const
{
    return [this, &settings](const QString &address) {
        return settings.BrowserLogin ? HeaderLines(address) : QList<QByteArray>();
    };
}
