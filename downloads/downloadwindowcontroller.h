#pragma once

#include "urlrows.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class DownloadArchive;
class DownloadEngine;
class LanguageTexts;
class Questions;
class frmDownloadData;
struct DownloadState;
struct ProgramSettings;

// Wires the download window's commands to the logic: starting, stopping and
// deleting downloads, the URL list's commands and its runner, saving and
// loading both lists, opening the target folder, the button-state timer, and
// the window's resize and mouse handlers.
class DownloadWindowController : public QObject
{
    Q_OBJECT
public:
    DownloadWindowController(frmDownloadData &window, DownloadEngine &engine, DownloadState &state,
                             Questions &questions, LanguageTexts &texts, ProgramSettings &settings,
                             QObject *parent = nullptr);

    // Hooks the composing shell fills in.
    // Runs the URL-list runner over the selected rows; true when the
    // stop-filling request ended it, nothing when it was refused (a harvest
    // was running).
    std::function<std::optional<bool>()> FillDownloadList;
    // The harvest options that rows made from bare addresses take.
    std::function<UrlRows::AddressRowOptions()> RowOptions;
    // Forgets the start addresses of this run (clearing the list does).
    std::function<void()> ClearStartAddresses;
    // Shows a folder in the file manager; QDesktopServices by default. False
    // when nothing could show it.
    std::function<bool(const QString &)> OpenFolder;

    // The archive that the forget command empties (nullptr: none).
    DownloadArchive *Archive = nullptr;

    // True while a transfer group serves the download-list row.
    bool RowIsRunning(int row) const;
    // Asked by both start commands first ("start all": restart false, no
    // rows; the restart: true and the selected rows): true when a running
    // harvest takes the start over (a pass would otherwise hold it up).
    std::function<bool(bool restart, const QList<int> &rows)> HarvestTakesStart;

    void Command1_Click();
    void cmdRestartSelectedDownloads_Click();
    void cmdStopAllRunningDownloads_Click();
    void cmdStopDownload_Click();
    void cmdDeleteFromList_Click();
    void Command2_Click();
    void cmdOpenTargetDir_Click();
    // Forgets the files downloaded before, once the user agrees.
    void cmdForgetArchive_Click();
    void cmdPut2DownloadList_Click();
    void cmdStopFillingDownloadlist_Click();
    void cmdDeleteFromURLList_Click();
    void cmdClearURLList_Click();
    void ListView2_ItemClick(int row);
    void cmdSaveDownloadlist_Click();
    void cmdSaveURLlist_Click();
    void cmdLoadDownloadlist_Click();
    void cmdLoadURLlist_Click();
    // The Timer1 tick: buttons follow the running transfers.
    void Timer1_Timer();
    // The lists' columns follow the window's width.
    void Form_Resize();
    void Form_MouseMove();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The fixed columns fit their texts and captions; widths the user gave
    // (the settings' column widths) win.
    void FitColumns();
    // The user dragged a column of the download list to a new width.
    void ColumnResized(int column);
    void ShowFolder(const QString &folder);
    QString ListFilter() const;
    void SaveList(bool downloads);
    void Report(int text, const QString &fallback, const QString &path);

    frmDownloadData &m_window;
    DownloadEngine &m_engine;
    DownloadState &m_state;
    Questions &m_questions;
    LanguageTexts &m_texts;
    ProgramSettings &m_settings;
    bool m_filling = false;
    // Widths set by the window itself, not by the user.
    bool m_fitting = false;
    // The user gave the file-name column a width: it no longer fills the list.
    bool m_ownFileWidth = false;
};
