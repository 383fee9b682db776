#include "urlrows.h"

#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "httpaddress.h"

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
    if (c.toUtf8().size() <= MaxNameBytes) return c;
    // Too long: shorten the stem, keep a short extension, never split a
    // character made of two UTF-16 units.
    const qsizetype dot = c.lastIndexOf(QLatin1Char('.'));
    QString ext = dot > 0 && c.size() - dot <= 16 ? c.mid(dot) : QString();
    QString stem = ext.isEmpty() ? c : c.left(dot);
    const qsizetype extBytes = ext.toUtf8().size();
    while (!stem.isEmpty() && stem.toUtf8().size() + extBytes > MaxNameBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate()) stem.chop(1);
    }
    return stem + ext;
}

QString HostOf(const QString &url)
{
    return AddressHost(url);
}

QString LocalPath(const QString &folderText, const QString &host, const QString &name)
{
    QString folder = folderText.trimmed();
    while (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    const QString inside = SafeComponent(host) + QLatin1Char('/') + SafeComponent(name);
    if (folder.isEmpty()) return inside;
    if (folder.endsWith(QLatin1Char('/'))) return folder + inside;
    return folder + QLatin1Char('/') + inside;
}

QStringList PlainUrlRow(const QString &line, const AddressRowOptions &options)
{
    const QString address = line.trimmed();
    if (address.isEmpty() || !address.contains(QLatin1Char('/'))) return {};
    const QString host = HostOf(address);
    const QString name = address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
    QStringList row(DownloadListModel::DownloadColumnCount);
    row[DownloadListModel::ColFilename] = LocalPath(options.TargetDirText, host, name);
    row[DownloadListModel::ColSize] = QStringLiteral("0/0 bytes");
    row[DownloadListModel::ColSource] = address;
    row[DownloadListModel::ColTargetDir] = options.TargetDir;
    row[DownloadListModel::ColMainURL] = SafeComponent(host);
    row[DownloadListModel::ColMinFileSize] =
        QStringLiteral(" %1").arg(options.MinFileSizeKB * 1024);
    row[DownloadListModel::ColMdnlNumber] = options.Multi ? QStringLiteral("TRUE") : QString();
    return row;
}

int AppendPlainUrl(DownloadListModel &list, DownloadState &state, const QString &url,
                   const QString &targetDir, qint64 minFileSizeKB, bool multi)
{
    const QStringList row = PlainUrlRow(url, {targetDir, targetDir, minFileSizeKB, multi});
    if (row.isEmpty()) return 0;
    state.LastRow = list.appendRows({row});
    return state.LastRow;
}

} // namespace UrlRows
