#include "urlrows.h"

#include "downloadlistmodel.h"
#include "downloadstate.h"

namespace UrlRows
{

QString SafeComponent(const QString &component)
{
    QString c = component;
    c.replace(QLatin1Char('/'), QLatin1Char('_'));
    c.replace(QLatin1Char('\\'), QLatin1Char('_'));
    c.replace(QChar(0), QLatin1Char('_'));
    if (c.isEmpty() || c == QLatin1String(".") || c == QLatin1String(".."))
        return QStringLiteral("_");
    if (c.toUtf8().size() <= 255) return c;
    // Too long for a file name: shorten the stem, keep a short extension.
    const qsizetype dot = c.lastIndexOf(QLatin1Char('.'));
    QString ext = dot > 0 && c.size() - dot <= 16 ? c.mid(dot) : QString();
    QString stem = ext.isEmpty() ? c : c.left(dot);
    while ((stem + ext).toUtf8().size() > 255)
        stem.chop(1);
    return stem + ext;
}

QString HostOf(const QString &url)
{
    QString host = url;
    host.remove(QStringLiteral("http://"));
    host.remove(QStringLiteral("HTTP://"));
    // A secure address lands in the same host folder as the plain one.
    host.remove(QStringLiteral("https://"));
    host.remove(QStringLiteral("HTTPS://"));
    const qsizetype slash = host.indexOf(QLatin1Char('/'));
    return slash >= 0 ? host.left(slash) : host;
}

int AppendPlainUrl(DownloadListModel &list, DownloadState &state, const QString &url,
                   const QString &targetDir, qint64 minFileSizeKB, bool multi)
{
    const QString address = url.trimmed();
    if (address.isEmpty() || !address.contains(QLatin1Char('/'))) return 0;
    const QString host = HostOf(address);
    const QString name = address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
    QString folder = targetDir.trimmed();
    while (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    const QString file =
        folder + QLatin1Char('/') + SafeComponent(host) + QLatin1Char('/') + SafeComponent(name);
    const int row = list.appendRow(file);
    state.LastRow = row;
    list.setSubItem(row, DownloadListModel::ColSize, QStringLiteral("0/0 bytes"));
    list.setSubItem(row, DownloadListModel::ColSource, address);
    list.setSubItem(row, DownloadListModel::ColTargetDir, targetDir);
    list.setSubItem(row, DownloadListModel::ColMainURL, SafeComponent(host));
    list.setSubItem(row, DownloadListModel::ColMinFileSize,
                    QStringLiteral(" %1").arg(minFileSizeKB * 1024));
    list.setSubItem(row, DownloadListModel::ColMdnlNumber,
                    multi ? QStringLiteral("TRUE") : QString());
    return row;
}

} // namespace UrlRows
