#include "clipboardcapture.h"

#include "downloadlistmodel.h"
#include "httpaddress.h"
#include "listfiles.h"

#include <QRegularExpression>

namespace ClipboardCapture
{

QStringList Words(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[ \\r\\n]"));
    QStringList words;
    for (const QString &piece : text.split(separators, Qt::SkipEmptyParts)) {
        const QString word = piece.trimmed();
        if (!word.isEmpty()) words.append(word);
    }
    return words;
}

QStringList Row(const QString &word, const UrlRows::AddressRowOptions &options)
{
    // A bare host (nothing after the scheme but the host) is not taken.
    if (!AddressWithoutScheme(word).contains(QLatin1Char('/'))) return {};
    const QString host = AddressHost(word);
    const QString name = word.mid(word.lastIndexOf(QLatin1Char('/')) + 1);
    QStringList row(DownloadListModel::DownloadColumnCount);
    row[DownloadListModel::ColFilename] = UrlRows::LocalPath(options.TargetDirText, host, name);
    row[DownloadListModel::ColSize] = QStringLiteral("0/0 bytes");
    row[DownloadListModel::ColSource] = word;
    row[DownloadListModel::ColTargetDir] = options.TargetDir;
    row[DownloadListModel::ColMainURL] = UrlRows::SafeComponent(host);
    row[DownloadListModel::ColMinFileSize] = QString::number(options.MinFileSizeKB * 1024);
    row[DownloadListModel::ColMdnlNumber] = options.Multi ? QStringLiteral("TRUE") : QString();
    return row;
}

QList<QStringList> Rows(const QString &text, const UrlRows::AddressRowOptions &options)
{
    QList<QStringList> rows;
    for (const QString &word : Words(text)) {
        QStringList row = Row(word, options);
        if (!row.isEmpty()) rows.append(std::move(row));
    }
    return rows;
}

int Capture(DownloadListModel &list, DownloadState &state, const QString &text,
            const UrlRows::AddressRowOptions &options)
{
    return ListFiles::AppendDownloadRows(list, state, Rows(text, options));
}

} // namespace ClipboardCapture
