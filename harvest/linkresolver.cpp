#include "linkresolver.h"

#include <QRegularExpression>
#include <QUrl>

namespace
{

// Page addresses may be typed without "http://" (the transfer control accepts
// them so); QUrl would take "host:port/..." for a scheme.
QString WithScheme(const QString &address)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(address).hasMatch() ? address : QStringLiteral("http://") + address;
}

// The normal form of a resolved address; empty when it is not http or https
// or has no host.
QString Written(QUrl absolute)
{
    const QString scheme = absolute.scheme();
    const bool secure = scheme == QLatin1String("https");
    if (!absolute.isValid() || absolute.host().isEmpty() ||
        (scheme != QLatin1String("http") && !secure))
        return {};
    absolute = absolute.adjusted(QUrl::RemoveFragment);
    if (absolute.port() == (secure ? 443 : 80)) absolute.setPort(-1);
    if (absolute.path().isEmpty()) absolute.setPath(QStringLiteral("/"));
    return absolute.toString(QUrl::FullyEncoded);
}

} // namespace

QString LinkResolver::ResolveLink(const QString &pageAddress, const QString &link) const
{
    const QString written = link.trimmed();
    if (written.isEmpty() || written.startsWith(u'#')) return {};
    const QUrl page(WithScheme(pageAddress.trimmed()), QUrl::TolerantMode);
    const QUrl relative(written, QUrl::TolerantMode);
    if (!page.isValid() || !relative.isValid()) return {};
    return Written(page.resolved(relative));
}

QString LinkResolver::NormalAddress(const QString &address)
{
    const QString written = address.trimmed();
    if (written.isEmpty()) return {};
    // Resolving an absolute address against itself removes its dot segments
    // the way a resolved link loses them.
    const QUrl url(WithScheme(written), QUrl::TolerantMode);
    if (!url.isValid()) return {};
    return Written(url.resolved(url));
}
