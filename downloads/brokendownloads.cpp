#include "brokendownloads.h"

#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "leadingnumber.h"
#include "statefiles.h"

#include <QFileInfo>

namespace
{

// One state file as read back: its number (line 1), the saved row, the
// length text and the part count.
struct SavedState {
    QString Number;
    QString Row;
    QString Length;
    int Parts = 0;
};

// Reads the listed state file; false when it vanished since it was listed.
bool ReadSaved(const StateFiles &files, const QString &listed, SavedState &saved)
{
    saved.Number = listed;
    QList<ByteRange> ranges;
    return files.ReadStateFile(saved.Number, saved.Row, saved.Length, saved.Parts, ranges) == 0;
}

} // namespace

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
        SavedState saved;
        if (!ReadSaved(files, listed, saved)) continue;
        BrokenDownload broken;
        const QString target = saved.Row.section(QStringLiteral("<QVRL>"), 0, 0,
                                                 QString::SectionCaseInsensitiveSeps);
        broken.FileName = QFileInfo(target).fileName();
        broken.Length = LeadingNumber(saved.Length);
        broken.Parts = saved.Parts;
        // The part files are numbered from the state number on, as resuming
        // reads them; a missing one holds nothing yet.
        const qint64 first = LeadingNumber(saved.Number);
        for (int j = 0; j < saved.Parts && j < 10; ++j)
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
        SavedState saved;
        // A state file that vanished since it was listed is passed over.
        if (!ReadSaved(files, listed, saved)) continue;
        ++read;
        const QStringList pieces =
            saved.Row.split(QStringLiteral("<QVRL>"), Qt::KeepEmptyParts, Qt::CaseInsensitive);
        if (pieces.size() < 2) continue;
        auto piece = [&](int k) { return k < pieces.size() ? pieces.at(k) : QString(); };
        const int position = list.appendRow(piece(0));
        state.LastRow = position;
        for (int column = 1; column <= 7; ++column)
            list.setSubItem(position, column, piece(column));
        list.setSubItem(position, DownloadListModel::ColMdnlNumber, saved.Number);
        list.setSubItem(position, DownloadListModel::ColRef, piece(9));
    }
    return read;
}

} // namespace BrokenDownloads
