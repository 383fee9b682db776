// The download engine's side of servers that ask to wait: rows whose server
// waits (or holds its limit of groups) are held instead of started, a 429 or
// 503 answer makes its row wait instead of fail, and held rows start as soon
// as their server may be asked again and a group is free.
#include "downloadengine.h"

#include "downloadlistmodel.h"
#include "quarvel.h"
#include "statewords.h"

#include <algorithm>

bool DownloadEngine::MayStartNow(int row) const
{
    const QString source = m_list.subItem(row, DownloadListModel::ColSource);
    if (m_waits.MsLeft(source) > 0) return false;
    if (m_state.PerServer <= 0) return true;
    const QString server = ServerWaits::ServerOf(source);
    int groups = 0;
    for (int base = 1; base < PoolSize; base += GroupSize)
        if (!IsIdle(base) && ServerWaits::ServerOf(m_slots[base].SourceFileName) == server)
            ++groups;
    return groups < m_state.PerServer;
}

bool DownloadEngine::HeldForServer(int row)
{
    if (MayStartNow(row)) return false;
    const QString source = m_list.subItem(row, DownloadListModel::ColSource);
    if (m_waits.MsLeft(source) > 0)
        SetState(row, m_waits.WaitingWord(), m_waits.WaitReason(source));
    m_waits.Hold(m_list.index(row - 1, 0));
    return true;
}

bool DownloadEngine::ServerRefused(int i, int status)
{
    if (i == 0 || !ServerWaits::AsksToWait(status)) return false;
    const int base = GroupBase(i);
    const int row = RowOfBase(base);
    if (row == 0) return false;
    const QString source = m_slots[base].SourceFileName;
    const QPersistentModelIndex index(m_list.index(row - 1, 0));
    m_waits.Refused(source, status, m_pool[i]->RetryAfter());
    const int count = m_waits.CountRefusal(index);
    if (count >= ServerWaits::MaxRefusals) {
        m_waits.ForgetRow(index);
        EndRow(i, StateFailed, m_waits.RefusedReason(count, status));
        return true;
    }
    WaitWithServer(base, true);
    return true;
}

bool DownloadEngine::WaitWithServer(int base, bool refused)
{
    const int row = RowOfBase(base);
    const QString source = m_slots[base].SourceFileName;
    if (row == 0 || (!refused && m_waits.MsLeft(source) == 0)) return false;
    // The whole group stops (parts and state files stay for the retry); the
    // row starts again once its server's wait is over.
    SetState(row, m_waits.WaitingWord(), m_waits.WaitReason(source));
    FreeGroup(base, true);
    m_waits.Hold(m_list.index(row - 1, 0));
    return true;
}

void DownloadEngine::StartHeldRows()
{
    if (m_startingHeld || m_closing) return;
    m_startingHeld = true;
    QList<QPersistentModelIndex> held = m_waits.Held();
    std::stable_sort(held.begin(), held.end(),
                     [](const auto &a, const auto &b) { return a.row() < b.row(); });
    for (const QPersistentModelIndex &index : held) {
        const int row = index.isValid() ? index.row() + 1 : 0;
        const QString state = row ? m_list.subItem(row, DownloadListModel::ColState) : QString();
        // Gone, started by a pass, or stopped or restarted by the user.
        if (row == 0 || RowIsServed(row) ||
            !(IsWaitingState(state) || state == m_waits.WaitingWord())) {
            m_waits.Release(index);
            continue;
        }
        if (!MayStartNow(row)) continue;
        const int base = FindFreeGroup();
        if (base == 0) break;
        m_waits.Release(index);
        TakeGroup(base, row);
    }
    m_startingHeld = false;
}

bool DownloadEngine::StopHeldRow(int row)
{
    bool stopped = false;
    for (const QPersistentModelIndex &index : m_waits.Held()) {
        if (!index.isValid() || (row != 0 && index.row() + 1 != row)) continue;
        m_waits.Release(index);
        if (m_list.subItem(index.row() + 1, DownloadListModel::ColState) == m_waits.WaitingWord())
            SetState(index.row() + 1, StateAborted);
        stopped = true;
    }
    return stopped;
}
