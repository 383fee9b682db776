// The download engine's handling of the transfer controls' events: progress
// into the row's cells, the decision after the header probe, the start of the
// parts, their join, and the end of a row in "Done", "too small" or "failed".
#include "downloadengine.h"

#include "downloadarchive.h"
#include "downloadlistmodel.h"
#include "leadingnumber.h"
#include "quarvel.h"
#include "repaintlock.h"
#include "statewords.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPersistentModelIndex>
#include <cmath>

namespace
{

// A percentage, to the nearest integer with halves to the even neighbour.
qint64 Percent(qint64 part, qint64 whole)
{
    return whole > 0 ? qint64(std::nearbyint(double(part) * 100.0 / double(whole))) : 0;
}

constexpr int MultipartPicture = 8;
// How often new state numbers are reserved when a state file of the reserved
// number exists already, before the file is fetched over one connection.
constexpr int StateFileAttempts = 5;

} // namespace

void DownloadEngine::Quarvel1_Started(int i)
{
    if (i == 0) m_pool[0]->Tag = QStringLiteral("working");
}

void DownloadEngine::Quarvel1_Header(int i, int statusCode, const QString &acceptRanges,
                                     const QString &, const QString &contentLength,
                                     const QString &urlReferer)
{
    if (i == 0 || !m_slots[i].Probing) return;
    TransferSlot &base = m_slots[i];
    base.Probing = false;
    int row = RowOfBase(i);
    if (row == 0 || ServerRefused(i, statusCode) || WaitWithServer(i)) return;
    base.ContentLengthText = contentLength;
    const qint64 partSize = qint64(m_state.PartSizeKB) * 1024;
    const qint64 size = LeadingNumber(contentLength);
    // Parts only when the server answered well, offers byte ranges and the
    // file is at least one part long; anything else is one connection, whose
    // GET then reports real errors.
    const bool split = partSize > 0 && statusCode >= 200 && statusCode <= 299 &&
                       acceptRanges.contains(QLatin1String("bytes"), Qt::CaseInsensitive) &&
                       size > 0 && size >= partSize;
    if (split && StartParts(i, row, contentLength, size, urlReferer)) return;
    // Splitting may have waited: the row may have moved, or stopped.
    row = RowOfBase(i);
    if (row == 0) return;
    StartSingleDownload(base.SourceFileName, base.TargetFilename, i, base.LocalMinFileSize,
                        urlReferer);
}

bool DownloadEngine::StartParts(int base, int &row, const QString &lengthText, qint64 size,
                                const QString &referer)
{
    qint64 partSize = qint64(m_state.PartSizeKB) * 1024;
    QList<ByteRange> ranges;
    int parts = 0;
    StateFiles::SplitIntoRanges(size, partSize, ranges, parts);
    const QPersistentModelIndex rowIndex(m_list.index(row - 1, 0));

    // A row with a state number resumes from its state file, if that file
    // still describes this file; otherwise the file is split anew. The number
    // alone proves nothing: after the temporary folder was cleared numbering
    // starts again, and a list saved earlier may name another download's
    // state, so the state file must name the row's own source.
    bool resume = false;
    qint64 number = 0;
    QList<qint64> present;
    const MultipartMarker marker =
        ParseMultipartMarker(m_list.subItem(row, DownloadListModel::ColMdnlNumber));
    if (marker.kind == MultipartMarker::Resume && marker.number > 0) {
        QString name = QString::number(marker.number) + QStringLiteral(".qvi");
        QString savedRow, savedLength;
        int savedParts = 0;
        QList<ByteRange> savedRanges;
        if (m_files.ReadStateFile(name, savedRow, savedLength, savedParts, savedRanges) == 0 &&
            savedParts >= 1 && savedParts <= 10 && StateFiles::RangesCover(savedRanges, size) &&
            LeadingNumber(savedLength) == size &&
            StateFiles::SavedRowHasSource(savedRow, m_slots[base].SourceFileName)) {
            resume = true;
            for (int j = 0; j < savedParts && resume; ++j) {
                const qint64 length =
                    m_files.PartFileLength(QString::number(marker.number + j) + ".qvp");
                resume = length <= savedRanges[j].Length();
                present.append(length);
            }
            if (resume) {
                ranges = savedRanges;
                parts = savedParts;
                number = marker.number;
            }
        }
    }
    m_slots[base].NOP = parts;
    if (parts < 2) return false;
    m_list.setSubItemImage(row, DownloadListModel::ColProgress, MultipartPicture, true);

    if (!resume) {
        QString row0 = SerialiseRow(row);
        for (int attempt = 0; attempt < StateFileAttempts && number == 0; ++attempt) {
            const QString reserved = m_files.GetNextNumber(parts);
            // The wait for the counter lets other events run: the row may be
            // stopped, gone or moved by now.
            if (!rowIndex.isValid() || !StillServes(base, rowIndex.row() + 1)) return true;
            row = rowIndex.row() + 1;
            // A counter that fell behind hands out numbers another download
            // still uses: none of its files may be touched, so reserve again.
            const qint64 first = reserved.trimmed().toLongLong();
            if (m_files.NumbersInUse(first, parts)) continue;
            const int written = m_files.WriteStateFile(reserved, row0, lengthText, parts, ranges);
            if (written == 0)
                number = first;
            else if (written != 1)
                break;
        }
        if (number == 0) {
            m_slots[base].NOP = 1;
            m_list.setSubItemImage(row, DownloadListModel::ColProgress, MultipartPicture, false);
            return false;
        }
        // The row now names its state file: a retry in this run resumes the
        // parts instead of splitting anew and leaving these files behind.
        m_list.setSubItem(row, DownloadListModel::ColMdnlNumber, QString::number(number));
    }
    m_slots[base].StateNumber = QString::number(number);
    const QString source = m_slots[base].SourceFileName;
    for (int j = 0; j < parts; ++j) {
        TransferSlot &slot = m_slots[base + j];
        slot.RangeFirst = ranges[j].First;
        slot.RangeLast = ranges[j].Last;
        slot.Counted = 0;
        slot.PartFile = m_files.PathOf(QString::number(number + j) + ".qvp");
        qint64 first = ranges[j].First;
        if (resume) {
            slot.StartLength = present[j];
            first += present[j];
            if (first > ranges[j].Last) {
                slot.PartDone = true;
                continue;
            }
        }
        m_pool[base + j]->StartDownload(source, slot.PartFile, 0, true, first, ranges[j].Last,
                                        resume, referer);
    }
    // Every part was complete already: nothing will finish, so join now.
    if (resume && AllPartsFinished(base)) JoinGroup(base, row);
    return true;
}

QString DownloadEngine::SerialiseRow(int row) const
{
    QStringList cells;
    for (int c = 0; c < DownloadListModel::DownloadColumnCount; ++c)
        cells << (c == DownloadListModel::ColState ? QStringLiteral(" ") : m_list.subItem(row, c));
    return cells.join(QStringLiteral("<QVRL>"));
}

void DownloadEngine::Quarvel1_Progress(int i, qint64 bytesLoaded, qint64 fileSize)
{
    if (i == 0) return;
    const int b = GroupBase(i);
    const int row = RowOfBase(b);
    if (row == 0) return;
    // The received total grows by what this transfer got since its last report.
    qint64 &counted = m_slots[i].Counted;
    m_bytesReceived += bytesLoaded >= counted ? bytesLoaded - counted : bytesLoaded;
    counted = bytesLoaded;
    const TransferSlot &base = m_slots[b];
    RepaintLock lock(m_list);
    if (base.NOP < 2) {
        if (fileSize != 0) {
            m_list.setSubItem(row, DownloadListModel::ColSize,
                              QStringLiteral("%1/%2 bytes").arg(bytesLoaded).arg(fileSize));
            m_list.setSubItem(row, DownloadListModel::ColProgress,
                              QStringLiteral("%1%").arg(Percent(bytesLoaded, fileSize)));
        } else {
            m_list.setSubItem(row, DownloadListModel::ColSize, QString::number(bytesLoaded));
        }
        return;
    }
    m_slots[i].BytesLoaded = bytesLoaded;
    qint64 total = 0;
    for (int s = b; s < b + base.NOP; ++s)
        total += m_slots[s].BytesLoaded + m_slots[s].StartLength;
    if (fileSize == 0) {
        m_list.setSubItem(row, DownloadListModel::ColSize, QString::number(bytesLoaded));
        return;
    }
    const qint64 size = LeadingNumber(base.ContentLengthText);
    m_list.setSubItem(row, DownloadListModel::ColSize,
                      QStringLiteral("%1/%2 bytes").arg(total).arg(base.ContentLengthText));
    m_list.setSubItem(row, DownloadListModel::ColProgress,
                      QStringLiteral("%1%").arg(Percent(total, size)));
}

void DownloadEngine::PageFetchEnded()
{
    m_state.PageFetched = true;
    m_pool[0]->Tag = QStringLiteral("idle");
}

void DownloadEngine::Quarvel1_TooSmall(int i)
{
    EndRow(i, StateTooSmall, {});
}

void DownloadEngine::EndRow(int i, const QString &word, const QString &reason)
{
    if (i == 0) {
        PageFetchEnded();
        return;
    }
    // The row ends with the word and its whole group is freed.
    const int b = GroupBase(i);
    const int row = RowOfBase(b);
    if (row == 0) return;
    SetState(row, word, reason);
    FreeGroup(b, true);
}

void DownloadEngine::Quarvel1_Finished(int i)
{
    if (i == 0) {
        PageFetchEnded();
        return;
    }
    const int b = GroupBase(i);
    const int row = RowOfBase(b);
    if (row == 0) return;
    TransferSlot &base = m_slots[b];
    if (base.Probing) {
        // The probe ended without a header: one connection.
        FallBackToOneConnection(b);
        return;
    }
    m_waits.Answered(base.SourceFileName, m_list.index(row - 1, 0));
    m_slots[i].PartDone = true;
    if (base.NOP < 2) {
        // An existing file of that name made the control write another name.
        const QString written = m_pool[b]->LocalFile();
        if (!written.isEmpty() && written != m_list.text(row)) m_list.setText(row, written);
        // A resumable row fetched over one connection leaves no state behind;
        // a state file of another source is not the row's to remove.
        const MultipartMarker marker =
            ParseMultipartMarker(m_list.subItem(row, DownloadListModel::ColMdnlNumber));
        if (marker.kind == MultipartMarker::Resume && marker.number > 0)
            m_files.RemoveDownload(marker.number, base.SourceFileName);
        SetState(row, StateDone);
        const QPersistentModelIndex done(m_list.index(row - 1, 0));
        FreeGroup(b, false);
        ArchiveDone(done);
        return;
    }
    // The control names the file it wrote, should the part's name have been taken.
    if (!m_pool[i]->LocalFile().isEmpty()) m_slots[i].PartFile = m_pool[i]->LocalFile();
    if (AllPartsFinished(b)) JoinGroup(b, row);
}

void DownloadEngine::JoinGroup(int b, int row)
{
    const TransferSlot &base = m_slots[b];
    QStringList parts;
    QList<ByteRange> ranges;
    for (int s = b; s < b + base.NOP; ++s) {
        parts << m_slots[s].PartFile;
        ranges << ByteRange{m_slots[s].RangeFirst, m_slots[s].RangeLast};
    }
    QString target = base.TargetFilename;
    const QString stateNumber = base.StateNumber;
    const QPersistentModelIndex rowIndex(m_list.index(row - 1, 0));
    // A join of gigabytes lets the event loop run; the row may be stopped,
    // moved or removed meanwhile, and its group may serve another row then.
    QString error;
    const bool joined = m_files.JoinPartFiles(parts, ranges, target, &error,
                                              [] { QCoreApplication::processEvents(); });
    if (joined) m_files.MoveToMarker(stateNumber + QStringLiteral(".qvi"));
    if (!rowIndex.isValid()) return;
    row = rowIndex.row() + 1;
    // "Done" only once the target is complete; on any error the parts and the
    // state file stay for another try.
    if (joined) {
        if (target != m_list.text(row)) m_list.setText(row, target);
        SetState(row, StateDone);
    } else if (StillServes(b, row)) {
        SetState(row, StateFailed, error);
    }
    if (StillServes(b, row)) FreeGroup(b, true);
    if (joined) ArchiveDone(rowIndex);
}

void DownloadEngine::ArchiveDone(const QPersistentModelIndex &rowIndex)
{
    if (!m_archive || !rowIndex.isValid() || !m_archive->Usable()) return;
    const int row = rowIndex.row() + 1;
    const QString file = m_list.text(row);
    // The archive's worker hashes and records the file; its answer comes
    // back through the event loop, when the row may have moved or changed.
    m_archive->Archive(m_list.subItem(row, DownloadListModel::ColSource), file, this,
                       [this, rowIndex, file](const QString &earlier) {
                           if (!rowIndex.isValid()) return;
                           const int now = rowIndex.row() + 1;
                           if (m_list.text(now) != file ||
                               m_list.subItem(now, DownloadListModel::ColState) != StateDone)
                               return;
                           SetState(now, StateDoneSameAs(QFileInfo(earlier).fileName()), earlier);
                       });
}

void DownloadEngine::Quarvel1_Failed(int i, const QString &reason)
{
    // A probe that fails (no header, a close, no answer in time) is no
    // verdict on the file: one connection decides.
    if (i != 0 && m_slots[i].Probing && RowOfBase(i) != 0) {
        FallBackToOneConnection(i);
        return;
    }
    if (i != 0 && ServerRefused(i, m_pool[i]->StatusCode())) return;
    EndRow(i, StateFailed, reason);
}

void DownloadEngine::FallBackToOneConnection(int b)
{
    if (WaitWithServer(b)) return;
    TransferSlot &base = m_slots[b];
    base.Probing = false;
    StartSingleDownload(base.SourceFileName, base.TargetFilename, b, base.LocalMinFileSize,
                        base.Referer);
}
