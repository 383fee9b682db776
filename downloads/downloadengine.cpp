#include "downloadengine.h"

#include "downloadlistmodel.h"
#include "leadingnumber.h"
#include "quarvel.h"
#include "rowcursor.h"
#include "statewords.h"
#include "wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPersistentModelIndex>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace
{

const QString Idle = QStringLiteral("idle");
// A group's base while it serves a row (the row itself is kept aside).
const QString Busy = QStringLiteral("row");
// How long a header probe may wait for its answer.
constexpr int ProbeTimeoutMs = 15000;

} // namespace

DownloadEngine::DownloadEngine(DownloadListModel &list, DownloadState &state, StateFiles &files,
                               QObject *parent)
    : QObject(parent), m_list(list), m_state(state), m_files(files)
{
    for (int i = 0; i < PoolSize; ++i) {
        m_pool[i] = std::make_unique<Quarvel>();
        Quarvel *q = m_pool[i].get();
        q->Tag = Idle;
        connect(q, &Quarvel::Started, this, [this, i] { Quarvel1_Started(i); });
        connect(q, &Quarvel::Header, this,
                [this, i](int status, const QString &ranges, const QString &type,
                          const QString &length, const QString &referer) {
                    Quarvel1_Header(i, status, ranges, type, length, referer);
                });
        connect(q, &Quarvel::Progress, this,
                [this, i](qint64 bytes, qint64 size) { Quarvel1_Progress(i, bytes, size); });
        connect(q, &Quarvel::TooSmall, this, [this, i] { Quarvel1_TooSmall(i); });
        connect(q, &Quarvel::Finished, this, [this, i] { Quarvel1_Finished(i); });
        connect(q, &Quarvel::Failed, this,
                [this, i](const QString &reason) { Quarvel1_Failed(i, reason); });
    }
    connect(&m_list, &QAbstractItemModel::rowsRemoved, this, &DownloadEngine::RowsRemoved);
    connect(&m_list, &QAbstractItemModel::rowsInserted, this, &DownloadEngine::RowsInserted);
    connect(&m_list, &QAbstractItemModel::layoutAboutToBeChanged, this,
            &DownloadEngine::ListAboutToChange);
    connect(&m_list, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        ListAboutToChange();
        m_resetting = true;
    });
    connect(&m_list, &QAbstractItemModel::layoutChanged, this, &DownloadEngine::ListChanged);
    connect(&m_list, &QAbstractItemModel::modelReset, this, &DownloadEngine::ListChanged);
    connect(&m_waits, &ServerWaits::WaitEnded, this, &DownloadEngine::StartHeldRows);
    // Held rows start from the event loop once a group has freed; without
    // any held row there is nothing to post (a group frees per finished row).
    connect(this, &DownloadEngine::GroupFreed, this, [this] {
        if (m_waits.HasHeld())
            QMetaObject::invokeMethod(this, &DownloadEngine::StartHeldRows, Qt::QueuedConnection);
    });
}

void DownloadEngine::SetKeepConnections(bool keep)
{
    for (const auto &q : m_pool)
        q->SetKeepConnections(keep);
}

DownloadEngine::~DownloadEngine()
{
    m_closing = true;
    for (auto &q : m_pool)
        q->Cancel();
}

void DownloadEngine::Close()
{
    m_closing = true;
    emit GroupFreed();
}

void DownloadEngine::SetExtraHeaderLines(
    const std::function<QList<QByteArray>(const QString &)> &lines)
{
    for (auto &q : m_pool)
        q->SetExtraHeaderLines(lines);
}

int DownloadEngine::RowOfBase(int base) const
{
    if (IsIdle(base) || base < 1 || base >= PoolSize || base != GroupBase(base)) return 0;
    const QPersistentModelIndex &row = m_groupRows[(base - 1) / GroupSize];
    return row.isValid() ? row.row() + 1 : 0;
}

bool DownloadEngine::IsIdle(int slot) const
{
    const QString tag = m_pool[slot]->Tag.trimmed();
    return tag.isEmpty() || tag == Idle;
}

bool DownloadEngine::Qualifies(int row, bool restart) const
{
    if (row < 1 || row > m_list.count()) return false;
    // A row left waiting for its server (a list saved meanwhile) starts again
    // like a row never started.
    const QString state = m_list.subItem(row, DownloadListModel::ColState);
    return restart ? m_list.isSelected(row)
                   : IsWaitingState(state) || state == m_waits.WaitingWord();
}

bool DownloadEngine::RowIsServed(int row) const
{
    for (int base = 1; base < PoolSize; base += GroupSize)
        if (RowOfBase(base) == row) return true;
    return false;
}

bool DownloadEngine::StillServes(int base, int row) const
{
    return row >= 1 && RowOfBase(base) == row;
}

void DownloadEngine::SetState(int row, const QString &word, const QString &reason)
{
    m_list.setSubItem(row, DownloadListModel::ColState, word);
    m_list.setSubItemToolTip(row, DownloadListModel::ColState, reason);
}

int DownloadEngine::FindFreeGroup() const
{
    const int groups = qBound(1, m_state.SimultaneousDownloads, GroupCount);
    for (int base = 1; base <= groups * GroupSize - 9; base += GroupSize)
        if (IsIdle(base)) return base;
    return 0;
}

int DownloadEngine::WaitForFreeGroup()
{
    // Sleeps in the event loop until a group frees (its signal wakes the
    // wait), the engine closes or the program quits; 0 then.
    int base = 0;
    WaitOptions options;
    options.PollMs = 250;
    options.Wake = [this](QEventLoop &loop) {
        connect(this, &DownloadEngine::GroupFreed, &loop, &QEventLoop::quit);
    };
    WaitUntil(
        [this, &base] {
            base = m_closing ? 0 : FindFreeGroup();
            return base != 0 || m_closing;
        },
        options);
    return QuitRequested() ? 0 : base;
}

bool DownloadEngine::MakeFolders(int row, QSet<QString> &made)
{
    const QString source = m_list.subItem(row, DownloadListModel::ColSource);
    const QString target = m_list.text(row);
    const QString targetDir = m_list.subItem(row, DownloadListModel::ColTargetDir).trimmed();
    const QString mainUrl = m_list.subItem(row, DownloadListModel::ColMainURL);
    bool ok = !source.trimmed().isEmpty() && !target.trimmed().isEmpty();
    // Folders made once in this pass are not made again.
    auto make = [&made](const QString &folder) {
        if (made.contains(folder)) return true;
        const bool done = QDir().mkpath(folder);
        if (done) made.insert(folder);
        return done;
    };
    if (ok && !targetDir.isEmpty())
        ok = make(mainUrl.isEmpty() ? targetDir : targetDir + "/" + mainUrl);
    if (ok) ok = make(QFileInfo(target).absolutePath());
    return ok;
}

void DownloadEngine::TakeGroup(int base, int row)
{
    // Fresh records; the group keeps the row through every change of the list.
    for (int s = base; s < base + GroupSize; ++s)
        m_slots[s] = TransferSlot();
    SetState(row, StateProgress);
    m_pool[base]->Tag = Busy;
    m_groupRows[(base - 1) / GroupSize] = QPersistentModelIndex(m_list.index(row - 1, 0));
    const QString source = m_list.subItem(row, DownloadListModel::ColSource);
    const QString target = m_list.text(row);
    const qint64 minSize = LeadingNumber(m_list.subItem(row, DownloadListModel::ColMinFileSize));
    const QString referer = m_list.subItem(row, DownloadListModel::ColRef);
    if (ParseMultipartMarker(m_list.subItem(row, DownloadListModel::ColMdnlNumber)).kind !=
        MultipartMarker::Single)
        PartialDownload(source, target, base, minSize, referer);
    else
        StartSingleDownload(source, target, base, minSize, referer);
}

bool DownloadEngine::StartRow(int row)
{
    if (row < 1 || row > m_list.count() || RowIsServed(row)) return true;
    const int base = FindFreeGroup();
    if (base == 0) return false;
    QSet<QString> made;
    if (!MakeFolders(row, made))
        SetState(row, StateFailed);
    else if (!HeldForServer(row)) // a held row starts when its server may be asked
        TakeGroup(base, row);
    return true;
}

void DownloadEngine::DownloadFilesFromLV(bool Restart, bool WaitForGroups)
{
    if (m_state.CurrentRow < m_list.count() || Restart) {
        // The pass's place follows the list through every change meanwhile.
        RowCursor cursor(m_list, Restart ? 0 : m_state.CurrentRow);
        ++m_passes;
        QSet<QString> made;
        while (!m_state.StopRequested && !m_closing && !QuitRequested()) {
            QCoreApplication::processEvents();
            int i = cursor.Next();
            if (m_state.StopRequested || m_closing || i > m_list.count()) break;
            // Rows a busy group already serves are left alone by a restart.
            if (!Qualifies(i, Restart) || (Restart && RowIsServed(i))) {
                cursor.Passed(i);
                continue;
            }
            const QPersistentModelIndex rowIndex(m_list.index(i - 1, 0));
            m_state.CurrentRow = i;
            const int base = WaitForGroups ? WaitForFreeGroup() : FindFreeGroup();
            if (base == 0 && !WaitForGroups) {
                m_state.CurrentRow = i - 1;
                break;
            }
            // The row may have moved or gone while the pass waited; a gone
            // row's place is taken by the next one.
            if (!rowIndex.isValid()) continue;
            i = rowIndex.row() + 1;
            if (base == 0 || m_state.StopRequested || !Qualifies(i, Restart) || RowIsServed(i)) {
                cursor.Passed(i);
                continue;
            }
            // A row without source or target, or whose folder cannot be
            // made, fails here.
            if (!MakeFolders(i, made)) {
                SetState(i, StateFailed);
                cursor.Passed(i);
                continue;
            }
            QCoreApplication::processEvents();
            if (!rowIndex.isValid()) continue;
            i = rowIndex.row() + 1;
            if (!IsIdle(base) || RowIsServed(i)) continue; // taken meanwhile: look at the row again
            if (HeldForServer(i)) {
                cursor.Passed(i);
                continue;
            }
            TakeGroup(base, i);
            // The yield after the start is the next round's first step.
            if (rowIndex.isValid()) cursor.Passed(rowIndex.row() + 1);
        }
        --m_passes;
    }
    if (WaitForGroups) emit PassEnded();
}

void DownloadEngine::PartialDownload(const QString &source, const QString &target, int slot,
                                     qint64 minSize, const QString &referer)
{
    StartOnSlot(source, target, slot, minSize, referer, false);
}

void DownloadEngine::StartSingleDownload(const QString &source, const QString &target, int slot,
                                         qint64 minSize, const QString &referer)
{
    StartOnSlot(source, target, slot, minSize, referer, true);
}

void DownloadEngine::StartOnSlot(const QString &source, const QString &target, int slot,
                                 qint64 minSize, const QString &referer, bool get)
{
    // The base's record keeps what the probe's answer and the parts need.
    TransferSlot &s = m_slots[slot];
    s.SourceFileName = source;
    s.TargetFilename = target;
    s.LocalMinFileSize = minSize;
    s.Referer = referer;
    s.Probing = !get;
    s.Counted = 0;
    // A probe that gets no header for a while gives way to one GET.
    Quarvel *q = m_pool[slot].get();
    const int stall = q->StallTimeout();
    if (!get) q->SetStallTimeout(qMin(stall, ProbeTimeoutMs));
    const bool started = q->StartDownload(source, target, minSize, get, 0, 0, false, referer);
    q->SetStallTimeout(stall);
    s.WholeFile = started && get;
    if (!started) {
        s.Probing = false;
        Quarvel1_Failed(slot, QStringLiteral("unusable target file name"));
    }
}

void DownloadEngine::FreeGroup(int base, bool abort)
{
    // A whole-file download that is cut off is never resumed: what it wrote
    // goes, so that a retry writes the row's own name again. Part files stay.
    const bool dropFile = abort && m_slots[base].WholeFile && m_slots[base].NOP < 2;
    for (int s = base; s < base + GroupSize; ++s) {
        if (abort) m_pool[s]->Cancel();
        m_slots[s] = TransferSlot();
        m_pool[s]->Tag = Idle;
    }
    m_groupRows[(base - 1) / GroupSize] = QPersistentModelIndex();
    if (dropFile && m_pool[base]->CreatedLocalFile()) QFile::remove(m_pool[base]->LocalFile());
    emit GroupFreed();
}

void DownloadEngine::KillAllDownloads()
{
    StopHeldRow(0);
    bool stopped = false;
    for (int base = 1; base < PoolSize; base += GroupSize) {
        if (IsIdle(base)) continue;
        const int row = RowOfBase(base);
        if (row > 0) SetState(row, StateAborted);
        // Every slot of the group, parts included; part and state files stay.
        FreeGroup(base, true);
        stopped = true;
    }
    if (stopped && m_state.CurrentRow > 0) --m_state.CurrentRow;
}

bool DownloadEngine::StopRow(int row)
{
    if (StopHeldRow(row)) return true;
    for (int base = 1; base < PoolSize; base += GroupSize) {
        if (RowOfBase(base) == row) {
            SetState(row, StateAborted);
            FreeGroup(base, true);
            return true;
        }
    }
    return false;
}

DownloadEngine::ButtonStates DownloadEngine::Timer1States() const
{
    ButtonStates b;
    for (int base = 1; base < PoolSize; base += GroupSize)
        b.Busy = b.Busy || !IsIdle(base);
    b.Busy = b.Busy || m_waits.HasHeld();
    if (b.Busy) {
        b.StopDownload = true;
        b.StopAllRunningDownloads = true;
    } else {
        b.Command1 = m_list.count() > 0;
        b.DeleteFromList = m_list.count() > 0;
    }
    return b;
}

bool DownloadEngine::AllPartsFinished(int slot) const
{
    const int base = GroupBase(slot);
    const int parts = m_slots[base].NOP;
    for (int s = base; s < base + parts && s < PoolSize; ++s)
        if (!m_slots[s].PartDone) return false;
    return true;
}

void DownloadEngine::FreeRemovedGroups()
{
    // A running row that was removed stops, so that its end never marks
    // another row.
    for (int base = 1; base < PoolSize; base += GroupSize)
        if (!IsIdle(base) && !m_groupRows[(base - 1) / GroupSize].isValid()) FreeGroup(base, true);
}

void DownloadEngine::RowsRemoved(const QModelIndex &, int first, int last)
{
    FreeRemovedGroups();
    // The two positions of the state move up with the rows before them.
    const int a = first + 1;
    const int b = last + 1;
    auto shift = [&](int &pos) {
        if (pos > b)
            pos -= b - a + 1;
        else if (pos >= a)
            pos = a - 1;
    };
    shift(m_state.CurrentRow);
    shift(m_state.LastRow);
}

void DownloadEngine::RowsInserted(const QModelIndex &, int first, int last)
{
    const int a = first + 1;
    const int n = last - first + 1;
    if (m_state.CurrentRow >= a) m_state.CurrentRow += n;
    if (m_state.LastRow >= a) m_state.LastRow += n;
}

void DownloadEngine::ListAboutToChange()
{
    // A layout change or a reset may drop or move any row: the positions of
    // the state are kept as cursors, and the running rows by what they are
    // (a reset forgets every index).
    m_current = std::make_unique<RowCursor>(m_list, m_state.CurrentRow);
    m_last = std::make_unique<RowCursor>(m_list, m_state.LastRow);
    m_runningKeys.clear();
    for (int base = 1; base < PoolSize; base += GroupSize) {
        const int row = RowOfBase(base);
        if (row > 0) m_runningKeys.insert(RowKey(row), base);
    }
}

void DownloadEngine::ListChanged()
{
    // A reset left every index invalid: the running rows are found again.
    // (A layout change keeps the indexes of the rows it keeps.)
    if (m_resetting) {
        for (int row = 1; row <= m_list.count(); ++row) {
            const auto found = m_runningKeys.find(RowKey(row));
            if (found == m_runningKeys.end()) continue;
            QPersistentModelIndex &kept = m_groupRows[(found.value() - 1) / GroupSize];
            if (!kept.isValid()) kept = QPersistentModelIndex(m_list.index(row - 1, 0));
            m_runningKeys.erase(found);
        }
    }
    m_runningKeys.clear();
    FreeRemovedGroups();
    if (m_resetting) {
        // A reset keeps no place: the positions stay within the list.
        m_state.CurrentRow = qMin(m_state.CurrentRow, m_list.count());
        m_state.LastRow = qMin(m_state.LastRow, m_list.count());
    } else {
        if (m_current) m_state.CurrentRow = m_current->Next() - 1;
        if (m_last) m_state.LastRow = m_last->Next() - 1;
    }
    m_resetting = false;
    m_current.reset();
    m_last.reset();
}

QString DownloadEngine::RowKey(int row) const
{
    return m_list.text(row) + QLatin1Char('\n') + m_list.subItem(row, DownloadListModel::ColSource);
}
