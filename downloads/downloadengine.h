#pragma once

#include "downloadstate.h"
#include "serverwaits.h"
#include "statefiles.h"
#include "transferslot.h"

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class DownloadArchive;
class DownloadListModel;
class Quarvel;
class QModelIndex;
class RowCursor;

// The download engine: the pool of transfer controls Quarvel1(0..200) with
// their slot records, the scheduler pass over the download list, the stop of
// all transfers and the handling of every transfer event. Instance 0 serves
// the crawl's page fetches; 1..200 form 20 groups of ten slots, a running row
// occupying one group. The engine keeps each group's row as a persistent
// index, so the list's changes (insertions, removals, layout changes,
// resets) never leave a group naming the wrong row.
class DownloadEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int PoolSize = 201;
    static constexpr int GroupSize = 10;
    static constexpr int GroupCount = 20;

    // What the download window's buttons should show (its Timer1 tick).
    struct ButtonStates {
        bool Busy = false;
        bool DeleteFromList = false;
        bool StopDownload = false;
        bool StopAllRunningDownloads = false;
        bool Command1 = false;
    };

    DownloadEngine(DownloadListModel &list, DownloadState &state, StateFiles &files,
                   QObject *parent = nullptr);
    ~DownloadEngine() override;

    Quarvel *Quarvel1(int index) const { return m_pool[index].get(); }
    // Whether the pool's controls keep their connections to a server open
    // for the next transfer.
    void SetKeepConnections(bool keep);
    TransferSlot &TransferSlots(int index) { return m_slots[index]; }
    static int GroupBase(int slot) { return GroupSize * ((slot - 1) / GroupSize) + 1; }
    // The row a base serves (its Tag), 0 when idle.
    int RowOfBase(int base) const;
    bool IsIdle(int slot) const;

    // One scheduler pass: Restart false starts waiting rows, true the selected
    // rows whatever their state. Returns when the pass has ended. Without
    // WaitForGroups the pass ends at the first row that finds no group free
    // (the next pass begins with that row) and announces no end: a harvest
    // starts the rows it adds this way without being held up.
    void DownloadFilesFromLV(bool Restart, bool WaitForGroups = true);
    // True while a pass runs.
    bool PassRunning() const { return m_passes > 0; }
    // Starts the row now, whatever its state, on a free group: false when no
    // group is free. A row a group serves already, or one that does not
    // exist, counts as handled (true); a row whose folder cannot be made fails.
    bool StartRow(int row);
    // Stops every running row (all slots of its group); its row becomes "aborted".
    void KillAllDownloads();
    // Stops the group serving row, if any; the row becomes "aborted". True when one was stopped.
    bool StopRow(int row);
    // The button states of the download window for the current groups.
    ButtonStates Timer1States() const;
    // True when every part of the slot's group is done.
    bool AllPartsFinished(int slot) const;
    // The engine is going away with the program: waits end.
    void Close();
    // Every row that ends "Done" is archived there (nullptr: nowhere); a
    // file whose content the archive holds already ends "Done (same as NAME)".
    void SetArchive(DownloadArchive *archive) { m_archive = archive; }
    // Extra request lines for every control of the pool (page fetches too).
    void SetExtraHeaderLines(const std::function<QList<QByteArray>(const QString &)> &lines);
    // Every byte the transfers have received since the program started; the
    // status line measures the speed with it.
    qint64 BytesReceived() const { return m_bytesReceived; }
    // The servers that asked to wait, and the rows held for them.
    ServerWaits &Waits() { return m_waits; }

signals:
    // A pass ended: the two start commands may be enabled again.
    void PassEnded();
    // A group became free.
    void GroupFreed();

private:
    // The five events of the control, and its failure.
    void Quarvel1_Started(int i);
    void Quarvel1_Header(int i, int statusCode, const QString &acceptRanges,
                         const QString &contentType, const QString &contentLength,
                         const QString &urlReferer);
    void Quarvel1_Progress(int i, qint64 bytesLoaded, qint64 fileSize);
    void Quarvel1_TooSmall(int i);
    void Quarvel1_Finished(int i);
    void Quarvel1_Failed(int i, const QString &reason);

    void PartialDownload(const QString &source, const QString &target, int slot, qint64 minSize,
                         const QString &referer);
    void StartSingleDownload(const QString &source, const QString &target, int slot, qint64 minSize,
                             const QString &referer);
    // A HEAD probe (get false) or one GET of the whole file on a slot.
    void StartOnSlot(const QString &source, const QString &target, int slot, qint64 minSize,
                     const QString &referer, bool get);
    // Instance 0's page fetch has ended, however.
    void PageFetchEnded();
    // TooSmall and Failed: the row ends with word, its group is freed.
    void EndRow(int i, const QString &word, const QString &reason);
    // The header probe of group b gave no usable answer: one GET of the file.
    void FallBackToOneConnection(int b);
    // Splits the row's file into parts and starts them; row follows the row
    // when it moves while the split waits. False: fetch over one connection.
    bool StartParts(int base, int &row, const QString &lengthText, qint64 size,
                    const QString &referer);
    void JoinGroup(int base, int row);
    // Archives the file of a row that has just ended "Done".
    void ArchiveDone(const QPersistentModelIndex &rowIndex);

    int WaitForFreeGroup();
    // The base of a free group, 0 when none is free.
    int FindFreeGroup() const;
    bool Qualifies(int row, bool restart) const;
    bool RowIsServed(int row) const;
    void FreeGroup(int base, bool abort);
    // Writes the row's state word; the reason, if any, becomes the cell's tooltip.
    void SetState(int row, const QString &word, const QString &reason = {});
    QString SerialiseRow(int row) const;
    bool StillServes(int base, int row) const;

    // The row's folders; false when it lacks source or target or a folder
    // cannot be made. made holds the folders made in this pass.
    bool MakeFolders(int row, QSet<QString> &made);
    // Takes the free group base for row and starts its transfer.
    void TakeGroup(int base, int row);

    // The list changed: groups whose row went are freed, the state's
    // positions follow.
    // Servers that ask to wait (enginewaits.cpp). The row may not start now:
    // it is held (and shows why) until its server may be asked again.
    bool HeldForServer(int row);
    bool MayStartNow(int row) const;
    // A 429 or 503 answer on slot i: the row waits, or fails after too many
    // in a row. False (nothing done) for any other status.
    bool ServerRefused(int i, int status);
    // A row about to send a further request (after its probe) while its
    // server waits, or whose request was refused: it waits, holding no
    // group. False when the server may be asked and nothing was refused.
    bool WaitWithServer(int base, bool refused = false);
    void StartHeldRows();
    // Stopping: the held row (0: every held row) goes; a "waiting" one becomes
    // "aborted". True when one was held.
    bool StopHeldRow(int row);

    void RowsRemoved(const QModelIndex &parent, int first, int last);
    void RowsInserted(const QModelIndex &parent, int first, int last);
    void ListAboutToChange();
    void ListChanged();
    void FreeRemovedGroups();
    // What a running row is found by again after a reset: target and source.
    QString RowKey(int row) const;

    DownloadListModel &m_list;
    DownloadState &m_state;
    StateFiles &m_files;
    std::array<std::unique_ptr<Quarvel>, PoolSize> m_pool;
    std::array<TransferSlot, PoolSize> m_slots;
    // The row each group serves (by group number), invalid when idle.
    std::array<QPersistentModelIndex, GroupCount> m_groupRows;
    int m_passes = 0;
    // Kept across a layout change or a reset of the list.
    std::unique_ptr<RowCursor> m_current;
    std::unique_ptr<RowCursor> m_last;
    QHash<QString, int> m_runningKeys;
    bool m_resetting = false;
    bool m_closing = false;
    DownloadArchive *m_archive = nullptr;
    qint64 m_bytesReceived = 0;
    ServerWaits m_waits;
    bool m_startingHeld = false;
};
