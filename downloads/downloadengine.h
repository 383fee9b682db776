#pragma once

#include "downloadstate.h"
#include "serverwaits.h"
#include "statefiles.h"
#include "transferslot.h"

#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <vector>

class DownloadListModel;
class Quarvel;
class QModelIndex;

// The download engine: the pool of transfer controls Quarvel1(0..200) with
// their slot records, the scheduler pass over the download list, the stop of
// all transfers and the handling of every transfer event. Instance 0 serves
// the crawl's page fetches; 1..200 form 20 groups of ten slots, a running row
// occupying one group (its base holds the row's position in its Tag).
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
    bool PassRunning() const { return !m_cursors.empty(); }
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
    // Takes the free group base for row and starts its transfer.
    void StartRowOnGroup(int base, int row);

    void RowsRemoved(const QModelIndex &parent, int first, int last);
    void RowsInserted(const QModelIndex &parent, int first, int last);

    DownloadListModel &m_list;
    DownloadState &m_state;
    StateFiles &m_files;
    std::array<std::unique_ptr<Quarvel>, PoolSize> m_pool;
    std::array<TransferSlot, PoolSize> m_slots;
    // Positions that running passes are looking at; renumbered with the list.
    std::vector<int *> m_cursors;
    bool m_closing = false;
    ServerWaits m_waits;
    bool m_startingHeld = false;
};
