#include "downloadwindowcontroller.h"

#include "downloadengine.h"
#include "downloadstate.h"
#include "frmdownloaddata.h"

#include <QPushButton>
#include <QTimer>

DownloadWindowController::DownloadWindowController(frmDownloadData &window, DownloadEngine &engine,
                                                   DownloadState &state, QObject *parent)
    : QObject(parent), m_window(window), m_engine(engine), m_state(state)
{
    connect(window.Command1, &QPushButton::clicked, this,
            &DownloadWindowController::Command1_Click);
    connect(window.cmdRestartSelectedDownloads, &QPushButton::clicked, this,
            &DownloadWindowController::cmdRestartSelectedDownloads_Click);
    connect(window.cmdStopAllRunningDownloads, &QPushButton::clicked, this,
            &DownloadWindowController::cmdStopAllRunningDownloads_Click);
    connect(&engine, &DownloadEngine::PassEnded, this, [this] {
        m_window.Command1->setEnabled(true);
        m_window.cmdRestartSelectedDownloads->setEnabled(true);
    });
    connect(window.Timer1, &QTimer::timeout, this, &DownloadWindowController::Timer1_Timer);
    window.Timer1->start();
}

void DownloadWindowController::Command1_Click()
{
    m_state.StopRequested = false;
    m_window.cmdDeleteFromList->setEnabled(false);
    m_window.cmdRestartSelectedDownloads->setEnabled(false);
    if (HarvestTakesStart && HarvestTakesStart()) return;
    m_engine.DownloadFilesFromLV(false);
}

void DownloadWindowController::cmdRestartSelectedDownloads_Click()
{
    m_state.StopRequested = false;
    m_window.cmdDeleteFromList->setEnabled(false);
    m_window.Command1->setEnabled(false);
    m_engine.DownloadFilesFromLV(true);
}

void DownloadWindowController::cmdStopAllRunningDownloads_Click()
{
    m_state.StopRequested = true;
    m_engine.KillAllDownloads();
}

void DownloadWindowController::Timer1_Timer()
{
    const DownloadEngine::ButtonStates b = m_engine.Timer1States();
    m_window.cmdDeleteFromList->setEnabled(b.DeleteFromList);
    m_window.cmdStopDownload->setEnabled(b.StopDownload);
    m_window.cmdStopAllRunningDownloads->setEnabled(b.StopAllRunningDownloads);
    if (!b.Busy) m_window.Command1->setEnabled(b.Command1);
}
