#pragma once

#include "downloadstate.h"
#include "wait.h"

// Holds the list-busy flag for a scope: waits, sleeping in the event loop,
// while someone else holds it, then sets it, and clears it again however the
// scope is left, so that an error can never leave the lists locked.
//
// A lock held by another scope of this kind belongs to a frame further down
// the stack, which cannot go on before this one returns: such a lock is
// refused at once, as it is when the program quits. A refused lock holds
// nothing; its command does nothing.
class ListBusyLock
{
public:
    explicit ListBusyLock(DownloadState &state) : m_state(state)
    {
        WaitOptions options;
        options.OuterFrame = [this] { return m_state.ListBusyScoped; };
        m_held = WaitUntil([this] { return !m_state.ListBusy; }, options) == WaitEnd::Done;
        if (!m_held) return;
        m_state.ListBusy = true;
        m_state.ListBusyScoped = true;
    }
    ~ListBusyLock()
    {
        if (!m_held) return;
        m_state.ListBusy = false;
        m_state.ListBusyScoped = false;
    }
    ListBusyLock(const ListBusyLock &) = delete;
    ListBusyLock &operator=(const ListBusyLock &) = delete;

    // False when the lock was refused: the lists must be left alone.
    explicit operator bool() const { return m_held; }

private:
    DownloadState &m_state;
    bool m_held = false;
};
