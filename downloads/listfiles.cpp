#include "listfiles.h"

#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "urllistmodel.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace ListFiles
{

QString Separator()
{
    return QStringLiteral("<QVRL>");
}

Lines SplitLines(const QString &text)
{
    Lines lines;
    lines.Items = text.split(QLatin1Char('\n'));
    for (QString &line : lines.Items)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    lines.SeveralPieces = lines.Items.size() >= 2;
    if (lines.SeveralPieces && lines.Items.last().trimmed().isEmpty()) lines.Items.removeLast();
    return lines;
}

QStringList SplitFields(const QString &line)
{
    const QString separator = Separator();
    QStringList fields;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = line.indexOf(separator, from, Qt::CaseInsensitive);
        if (at < 0) break;
        fields.append(line.mid(from, at - from));
        from = at + separator.size();
    }
    fields.append(line.mid(from));
    return fields;
}

QString CleanField(const QString &field)
{
    // A lone CR stays: lines end only at LF, and the reader takes a single CR
    // off a line's end, so a field ending in CR still reads back whole.
    QString clean = field;
    clean.remove(QStringLiteral("\r\n"));
    clean.remove(QLatin1Char('\n'));
    const QString separator = Separator();
    qsizetype at = 0;
    while ((at = clean.indexOf(separator, at, Qt::CaseInsensitive)) >= 0) {
        clean.replace(at, 1, QStringLiteral("%3C"));
        at += separator.size();
    }
    return clean;
}

QByteArray Serialise(const QList<QStringList> &rows)
{
    QByteArray bytes;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0) line += Separator();
            line += CleanField(row.at(i));
        }
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    // The reader takes one byte order mark off the start of the file: a
    // first field that starts with one keeps it behind a second.
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}

QList<QStringList> RowsOf(const ListModel &list)
{
    QList<QStringList> rows;
    rows.reserve(list.count());
    const int columns = list.columnCount();
    for (int row = 1; row <= list.count(); ++row) {
        QStringList cells;
        cells.reserve(columns);
        for (int column = 0; column < columns; ++column)
            cells.append(list.subItem(row, column));
        rows.append(cells);
    }
    return rows;
}

QList<QStringList> DownloadRowsOf(const DownloadListModel &list)
{
    QList<QStringList> rows = RowsOf(list);
    for (int row = 1; row <= rows.size(); ++row) {
        const QString reason = list.subItemToolTip(row, DownloadListModel::ColState);
        if (!reason.isEmpty()) rows[row - 1].append(reason);
    }
    return rows;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

std::optional<QString> ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

QList<QStringList> UrlListRows(const QString &text)
{
    QList<QStringList> rows;
    for (const QString &line : SplitLines(text).Items) {
        const QStringList fields = SplitFields(line);
        if (fields.size() < 2) continue;
        rows.append(fields.mid(0, UrlListModel::UrlColumnCount));
    }
    return rows;
}

DownloadRows DownloadListRows(const QString &text, const UrlRows::AddressRowOptions &options)
{
    DownloadRows result;
    const Lines lines = SplitLines(text);
    result.StartEnabled = lines.SeveralPieces;
    if (lines.Items.isEmpty()) return result;
    const bool listFile = lines.Items.first().contains(Separator(), Qt::CaseInsensitive);
    for (const QString &line : lines.Items) {
        if (listFile) {
            const QStringList fields = SplitFields(line);
            if (fields.size() >= 2)
                result.Rows.append(fields.mid(0, DownloadListModel::DownloadColumnCount + 1));
        } else {
            QStringList row = UrlRows::PlainUrlRow(line, options);
            if (!row.isEmpty()) result.Rows.append(std::move(row));
        }
    }
    return result;
}

int AppendUrlRows(UrlListModel &urls, const QList<QStringList> &rows)
{
    urls.appendRows(rows);
    return int(rows.size());
}

int AppendDownloadRows(DownloadListModel &list, DownloadState &state,
                       const QList<QStringList> &rows)
{
    if (rows.isEmpty()) return 0;
    // The failure reasons come off the rows and become the State cells' tooltips.
    QList<std::pair<int, QString>> reasons;
    QList<QStringList> cells = rows;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (cells[i].size() <= DownloadListModel::DownloadColumnCount) continue;
        reasons.append({int(i), cells[i].at(DownloadListModel::DownloadColumnCount)});
        cells[i].resize(DownloadListModel::DownloadColumnCount);
    }
    const int first = list.appendRows(cells);
    for (const auto &[i, reason] : reasons)
        list.setSubItemToolTip(first + i, DownloadListModel::ColState, reason);
    state.LastRow = list.count();
    return int(rows.size());
}

} // namespace ListFiles
