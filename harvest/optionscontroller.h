#pragma once

#include "urlrows.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class Crawler;
class DownloadEngine;
class HarvestSession;
class DownloadListModel;
class LanguageTexts;
class Questions;
class UrlListModel;
class UrlListRunner;
class frmRLIE;
struct DownloadState;
struct ProgramSettings;

// Keeps the harvest options in step with the options window and carries out
// its commands: start and stop a harvest, the number buttons, the target
// folder, and attaching the options to URL-list and download-list rows.
class OptionsController : public QObject
{
    Q_OBJECT
public:
    // workingAddress gives the URL bar's working address, which a harvest starts from.
    OptionsController(frmRLIE &window, Crawler &crawler, DownloadState &downloads,
                      ProgramSettings &settings, UrlListModel &urls, DownloadListModel &list,
                      Questions &questions, LanguageTexts &texts,
                      std::function<QString()> workingAddress, QObject *parent = nullptr);
    ~OptionsController() override;

    // Lets downloads run during a harvest: a pass already running, or a
    // start command of the download window given during the harvest, starts
    // rows as the crawl adds them without either waiting for the other.
    // Returns what the start commands ask first (restart false for "start
    // all", true for restarting the selected rows): true when a harvest is
    // open and takes the start over; "start all" is then owed the full pass
    // when the harvest ends.
    std::function<bool(bool, const QList<int> &)> AttachDownloads(DownloadEngine &engine);
    // The harvest session every harvest of this window and of the runner runs in.
    HarvestSession &Session() const { return *m_session; }

    // The browser window's download button follows the harvest too.
    std::function<void(bool)> SetBrowserDownloadEnabled;
    // True while a transfer serves the download-list row: attaching options
    // leaves such rows alone.
    std::function<bool(int)> RowIsRunning;

    // The URL-list runner, with this window's filters and start addresses.
    UrlListRunner &Runner() const { return *m_runner; }
    // Runs it; true when the stop-filling request ended it. During a harvest
    // it is refused with the start button's message (and gives nothing).
    std::optional<bool> RunUrlList();
    // What rows made from bare addresses (address files, the clipboard) take
    // from the options: the target folder box, the minimum size, multi-part.
    UrlRows::AddressRowOptions AddressRowOptions() const;
    // Remembers a start address (at most 10000, the oldest dropped).
    void AddStartAddress(const QString &address);

    void Command2_Click();
    void cmdStopDnl_MouseDown();
    void cmdStopDnl_MouseUp();
    // Press lengths of 4 seconds or more end the whole harvest.
    void StopPress(qint64 milliseconds);
    void cmdAttachOptions2URLList_Click();
    // The options a URL-list row carries, columns 1 to 8 (file types to file
    // pattern), as attaching them writes them.
    QStringList UrlRowOptions() const;
    void cmdAttachOptions2Downloadlist_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdUpIndex_Click();
    void cmdDownIndex_Click();
    void cmdTargetDir_Click();
    void Command3_Click();
    // The clipboard capture: the copied words become download rows, and the
    // button goes until the clipboard poll offers it again.
    void cmdGetFilesFromCP_Click();
    // The type boxes, the manual types and the search patterns as filters.
    void UpdateFilters();

    // Every start address of this run (at most 10000, the oldest dropped).
    QStringList StartAddresses;
    bool Expanded = false;

private:
    void ReadFlags();
    // The message for a harvest asked for while one runs.
    void RefuseHarvest();

    frmRLIE &m_window;
    Crawler &m_crawler;
    DownloadState &m_downloads;
    ProgramSettings &m_settings;
    UrlListModel &m_urls;
    DownloadListModel &m_list;
    Questions &m_questions;
    LanguageTexts &m_texts;
    std::function<QString()> m_workingAddress;
    QElapsedTimer m_stopPress;
    std::unique_ptr<HarvestSession> m_session;
    std::unique_ptr<UrlListRunner> m_runner;
};
