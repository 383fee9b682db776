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

} // namespace

QString LinkResolver::ResolveLink(const QString &pageAddress, const QString &link) const
{
    const QString written = link.trimmed();
    if (written.isEmpty() || written.startsWith(u'#')) return {};
    const QUrl page(WithScheme(pageAddress.trimmed()), QUrl::TolerantMode);
    const QUrl relative(written, QUrl::TolerantMode);
    if (!page.isValid() || !relative.isValid()) return {};
    const QUrl absolute = page.resolved(relative).adjusted(QUrl::RemoveFragment);
    const QString scheme = absolute.scheme();
    if (!absolute.isValid() || absolute.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return absolute.toString(QUrl::FullyEncoded);
}
