#pragma once

#include "downloadstate.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

// Holds the list-busy flag for a scope: waits, sleeping in the event loop,
// while someone else holds it, then sets it, and clears it again however the
// scope is left, so that an error can never leave the lists locked.
class ListBusyLock
{
public:
    explicit ListBusyLock(DownloadState &state) : m_state(state)
    {
        while (m_state.ListBusy && !QCoreApplication::closingDown()) {
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
        m_state.ListBusy = true;
    }
    ~ListBusyLock() { m_state.ListBusy = false; }
    ListBusyLock(const ListBusyLock &) = delete;
    ListBusyLock &operator=(const ListBusyLock &) = delete;

private:
    DownloadState &m_state;
};
