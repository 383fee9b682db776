#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <functional>

struct ProgramSettings;

// The embedded browser's cookies and user agent, kept on the logic side so
// that harvests can send the browser's login with their requests. The
// browser wiring feeds it as cookies come and go; the jar decides which of
// them go to an address by domain, path, secure flag and expiry.
class CookieJar
{
public:
    // A cookie the browser set; it replaces one of the same name, domain and path.
    void Insert(const QNetworkCookie &cookie);
    // A cookie the browser dropped.
    void Remove(const QNetworkCookie &cookie);
    void Clear() { m_cookies.clear(); }
    int Count() const { return int(m_cookies.size()); }

    // The browser's user agent ("" sends none).
    QString UserAgent;

    // "name=value; name2=value2" of the cookies that go to address at now,
    // longer paths first; empty when none goes.
    QByteArray CookieValue(const QString &address,
                           const QDateTime &now = QDateTime::currentDateTimeUtc()) const;
    // The extra request lines for address: "Cookie: ..." when a cookie goes
    // there, "User-Agent: ..." when one is known. CR and LF are removed.
    QList<QByteArray> HeaderLines(const QString &address) const;
    // What the transfer controls ask for each request: the header lines
    // while the setting BrowserLogin is on, nothing while it is off. Both
    // objects must outlive the controls that use it.
    std::function<QList<QByteArray>(const QString &)>
    RequestLines(const ProgramSettings &settings) const;

private:
    QList<QNetworkCookie> m_cookies;
};
