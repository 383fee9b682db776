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

// The bytes the part files of a saved download hold so far, numbered from
// its state number on as resuming reads them; a missing one holds nothing yet.
qint64 BytesHeld(const StateFiles &files, const SavedState &saved)
{
    const qint64 first = LeadingNumber(saved.Number);
    qint64 held = 0;
    for (int j = 0; j < saved.Parts && j < 10; ++j)
        held += QFileInfo(files.PathOf(QString::number(first + j) + QStringLiteral(".qvp"))).size();
    return held;
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
        broken.BytesHeld = BytesHeld(files, saved);
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
        // The saved row shows the size from before the split; the row shows
        // what its parts hold already, as the question did.
        const qint64 length = LeadingNumber(saved.Length);
        const qint64 held = BytesHeld(files, saved);
        list.setSubItem(position, DownloadListModel::ColSize,
                        QStringLiteral("%1/%2 bytes").arg(held).arg(length));
        if (length > 0)
            list.setSubItem(position, DownloadListModel::ColProgress,
                            QStringLiteral("%1%").arg(held * 100 / length));
        list.setSubItem(position, DownloadListModel::ColMdnlNumber, saved.Number);
        list.setSubItem(position, DownloadListModel::ColRef, piece(9));
    }
    return read;
}

} // namespace BrokenDownloads
