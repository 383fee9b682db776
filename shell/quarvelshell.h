#pragma once

#include "downloadstate.h"
#include "programstate.h"
#include "settingsstore.h"
#include "singleinstance.h"
#include "statefiles.h"
#include "urlbarstate.h"
#include "windowlanguage.h"
#include "windowops.h"
#include "windowplan.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QTranslator>
#include <memory>
#include <optional>

class CookieJar;
class Crawler;
class DownloadArchive;
class DownloadEngine;
class OptionsController;
class UrlBarWiring;
class WindowCrawlHost;
class DownloadListModel;
class DownloadWindowController;
class UrlListModel;
class Questions;
class frmRaiseIE;
class frmDownloadData;
class frmLoadDeleteBroken;
class frmRLIE;
class frmWebbrowser;
class frmShowPicture;
class QWidget;

// The program's start and end: creates the windows, runs the startup sequence
// (single instance, defaults, settings and language, placement around the URL
// bar), lets the URL bar's minimise and restore drive the other windows,
// switches the language, and shuts down in order, writing both settings.
class StatusLine;
class QuarvelShell : public QObject
{
    Q_OBJECT
public:
    enum class StartResult {
        Started,        // all four main windows are shown
        SecondInstance, // another copy runs on this program folder: end now
        NoLanguage,     // the language file had no block for the language: end now
        Failed,         // a start step failed and was reported: end now
    };

    // programFolder holds quarvel.ini, qvtemp/ and incoming/; languageFile is
    // the path of lang.dat.
    QuarvelShell(const QString &programFolder, const QString &languageFile, Questions &questions,
                 const QString &version, QObject *parent = nullptr);
    ~QuarvelShell() override;

    // Runs the startup sequence. workArea (in twips) replaces the screen's
    // available geometry, for tests.
    StartResult Start(std::optional<QRect> workArea = std::nullopt);
    // Runs the shutdown steps once (the URL bar's close runs it too).
    void Shutdown();
    // Switches between German and English as a click on the language picture does.
    void SwitchLanguage();
    // Closes every open window of the program.
    void UnloadForms();

    bool PictureMode = false;
    DownloadState &Downloading() { return m_downloadState; }
    DownloadEngine *Engine() const { return m_engine.get(); }
    StateFiles &States() { return m_stateFiles; }
    Crawler *Harvester() const { return m_crawler.get(); }
    OptionsController *Options() const { return m_optionsController.get(); }
    UrlBarState &WorkingAddress() { return m_urlBarState; }
    // The URL bar's, the browser's and picture mode's controllers.
    UrlBarWiring *UrlBarCommands() const { return m_urlBarWiring.get(); }
    QString StartStamp;
    QString BrokenDownloadAnswer;

    ProgramSettings &Settings() { return m_settings; }
    LanguageTexts &Texts() { return m_texts; }
    DownloadListModel &Downloads() { return *m_downloads; }
    UrlListModel &Urls() { return *m_urls; }
    // The archive of finished downloads in the program folder.
    DownloadArchive *Archive() const { return m_archive.get(); }
    // The embedded browser's cookies and user agent, for the browser's login.
    CookieJar &BrowserCookies() { return *m_cookies; }
    frmRaiseIE *UrlBar() const { return m_urlBar.get(); }
    frmDownloadData *DownloadWindow() const { return m_downloadWindow.get(); }
    frmLoadDeleteBroken *BrokenQuestion() const { return m_broken.get(); }
    frmRLIE *OptionsWindow() const { return m_options.get(); }
    frmWebbrowser *BrowserWindow() const { return m_browser.get(); }
    frmShowPicture *PictureWindow() const { return m_picture.get(); }
    QString TempFolder() const;
    bool IsEnding() const { return m_ending; }

signals:
    // The program must end (URL bar closed, or the language file failed).
    void EndRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Applies language to every window; false when the file has no block for
    // it (the program is then ending).
    bool applyLanguage(const QString &language);
    // The download window's load: the slot pool, and the broken-downloads question.
    bool LoadDownloadWindow();
    void ConnectHarvest();
    // The archive and the browser's login: their options and their wiring.
    void ConnectArchiveAndLogin();
    // Named texts the logic shows, in the current language.
    void applyNamedTexts();
    QString AskBrokenDownloads();
    void UseQtTranslation(const QString &language);
    void showLanguagePicture(int index);
    void urlBarStateChanged();
    void keepOptionsInside();
    void fitOptionsWidth();
    void placeWindow(QWidget *window, const QRect &twips);
    int optionsWidthTwips() const;
    void reportError(const QString &procedure, int line, const QString &description);
    QString peekLanguageTexts0();

    QString m_folder;
    QString m_languageFile;
    Questions &m_questions;
    QString m_version;
    ProgramSettings m_settings;
    LanguageTexts m_texts;
    SettingsStore m_store;
    SingleInstance m_instance;
    DownloadState m_downloadState;
    StateFiles m_stateFiles;
    std::unique_ptr<DownloadListModel> m_downloads;
    std::unique_ptr<UrlListModel> m_urls;
    std::unique_ptr<CookieJar> m_cookies;
    std::unique_ptr<frmRaiseIE> m_urlBar;
    std::unique_ptr<frmDownloadData> m_downloadWindow;
    std::unique_ptr<frmLoadDeleteBroken> m_broken;
    std::unique_ptr<frmRLIE> m_options;
    std::unique_ptr<frmWebbrowser> m_browser;
    std::unique_ptr<frmShowPicture> m_picture;
    std::unique_ptr<WindowLanguage> m_windowLanguage;
    std::unique_ptr<DownloadArchive> m_archive;
    std::unique_ptr<DownloadEngine> m_engine;
    std::unique_ptr<DownloadWindowController> m_controller;
    UrlBarState m_urlBarState;
    std::unique_ptr<WindowCrawlHost> m_crawlHost;
    std::unique_ptr<Crawler> m_crawler;
    std::unique_ptr<OptionsController> m_optionsController;
    std::unique_ptr<UrlBarWiring> m_urlBarWiring;
    std::unique_ptr<StatusLine> m_statusLine;
    QTranslator m_qtTranslator;
    bool m_brokenAsked = false;
    CloseGuard m_closeGuard;
    QRect m_workArea;
    WindowPlan m_plan;
    bool m_started = false;
    bool m_ending = false;
    bool m_shutDown = false;
    bool m_languageFailed = false;
    bool m_inStateChange = false;
};
