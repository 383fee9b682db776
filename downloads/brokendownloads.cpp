#include "brokendownloads.h"

#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "leadingnumber.h"
#include "statefiles.h"

#include <QFileInfo>

namespace BrokenDownloads
{

QStringList Find(const StateFiles &files)
{
    QStringList names;
    int count = 0;
    files.ListBrokenDownloads(names, count);
    return names.mid(0, count);
}

QList<BrokenDownload> Describe(const StateFiles &files, const QStringList &names)
{
    QList<BrokenDownload> found;
    for (const QString &listed : names) {
        QString number = listed;
        QString row, length;
        int parts = 0;
        QList<ByteRange> ranges;
        if (files.ReadStateFile(number, row, length, parts, ranges) != 0) continue;
        BrokenDownload broken;
        const QString target =
            row.section(QStringLiteral("<QVRL>"), 0, 0, QString::SectionCaseInsensitiveSeps);
        broken.FileName = QFileInfo(target).fileName();
        broken.Length = LeadingNumber(length);
        broken.Parts = parts;
        // The part files are numbered from the state number on, as resuming
        // reads them; a missing one holds nothing yet.
        const qint64 first = LeadingNumber(number);
        for (int j = 0; j < parts && j < 10; ++j)
            broken.BytesHeld +=
                QFileInfo(files.PathOf(QString::number(first + j) + QStringLiteral(".qvp"))).size();
        found.append(broken);
    }
    return found;
}

int Load(const StateFiles &files, const QStringList &names, DownloadListModel &list,
         DownloadState &state)
{
    int read = 0;
    for (const QString &listed : names) {
        QString number = listed;
        QString row, length;
        int parts = 0;
        QList<ByteRange> ranges;
        // A state file that vanished since it was listed is passed over.
        if (files.ReadStateFile(number, row, length, parts, ranges) != 0) continue;
        ++read;
        const QStringList pieces =
            row.split(QStringLiteral("<QVRL>"), Qt::KeepEmptyParts, Qt::CaseInsensitive);
        if (pieces.size() < 2) continue;
        auto piece = [&](int k) { return k < pieces.size() ? pieces.at(k) : QString(); };
        const int position = list.appendRow(piece(0));
        state.LastRow = position;
        for (int column = 1; column <= 7; ++column)
            list.setSubItem(position, column, piece(column));
        list.setSubItem(position, DownloadListModel::ColMdnlNumber, number);
        list.setSubItem(position, DownloadListModel::ColRef, piece(9));
    }
    return read;
}

} // namespace BrokenDownloads
