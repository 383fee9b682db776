#pragma once

#include <QObject>

#include <functional>

class DownloadEngine;
class frmDownloadData;
struct DownloadState;

// Wires the download window's start and stop commands and its button-state
// timer to the download engine.
class DownloadWindowController : public QObject
{
    Q_OBJECT
public:
    DownloadWindowController(frmDownloadData &window, DownloadEngine &engine, DownloadState &state,
                             QObject *parent = nullptr);

    // Asked by the start command first: true when a running harvest takes
    // the start over (its pass would otherwise hold the harvest up).
    std::function<bool()> HarvestTakesStart;

    void Command1_Click();
    void cmdRestartSelectedDownloads_Click();
    void cmdStopAllRunningDownloads_Click();
    // The Timer1 tick: buttons follow the running transfers.
    void Timer1_Timer();

private:
    frmDownloadData &m_window;
    DownloadEngine &m_engine;
    DownloadState &m_state;
};
