#include "quarvelshell.h"

#include "brokendownloads.h"
#include "browserlogin.h"
#include "cookiejar.h"
#include "crawler.h"
#include "downloadarchive.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadwindowcontroller.h"
#include "frmdownloaddata.h"
#include "frmloaddeletebroken.h"
#include "frmraiseie.h"
#include "frmrlie.h"
#include "frmshowpicture.h"
#include "frmwebbrowser.h"
#include "languagefile.h"
#include "leadingnumber.h"
#include "optionscontroller.h"
#include "programfolder.h"
#include "quarvel.h"
#include "questions.h"
#include "statusline.h"
#include "twips.h"
#include "urlbarwiring.h"
#include "urllistmodel.h"
#include "urllistrunner.h"
#include "wait.h"
#include "windowcrawlhost.h"
#include "windowops.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTime>
#include <QTimer>
#include <QVersionNumber>

namespace
{

// A language target that keeps nothing: used to read the message texts only.
class NoWindows : public LanguageTarget
{
public:
    void Apply(const QString &, const QString &, Kind, const QString &) override {}
};

} // namespace

QuarvelShell::QuarvelShell(const QString &programFolder, const QString &languageFile,
                           Questions &questions, const QString &version, QObject *parent)
    : QObject(parent), m_folder(programFolder), m_languageFile(languageFile),
      m_questions(questions), m_version(version), m_store(programFolder, m_settings),
      m_instance(programFolder),
      m_stateFiles(ProgramFolder::Join(programFolder, QStringLiteral("qvtemp"))),
      m_downloads(std::make_unique<DownloadListModel>()), m_urls(std::make_unique<UrlListModel>()),
      m_cookies(std::make_unique<CookieJar>())
{
}

QuarvelShell::~QuarvelShell()
{
    m_ending = true;
}

QString QuarvelShell::TempFolder() const
{
    return ProgramFolder::Join(m_folder, QStringLiteral("qvtemp"));
}

QString QuarvelShell::peekLanguageTexts0()
{
    // Read-only: the settings file names the language; nothing is written.
    QString language = QStringLiteral("german");
    QFile ini(m_store.Path());
    if (ini.open(QIODevice::ReadOnly)) {
        for (const QByteArray &raw : ini.readAll().split('\n')) {
            const QByteArray line = raw.trimmed();
            const qsizetype bar = line.indexOf('|');
            if (bar > 0 && line.left(bar).toUpper() == "LANGUAGE" && bar + 1 < line.size())
                language = QString::fromUtf8(line.mid(bar + 1));
        }
    }
    LanguageTexts texts;
    NoWindows none;
    SilentQuestions silent;
    LanguageFile::ChangeLanguage(m_languageFile, language, none, texts, silent);
    return texts.LangText(0);
}

QuarvelShell::StartResult QuarvelShell::Start(std::optional<QRect> workArea)
{
    // 1. One copy per program folder.
    if (!m_instance.TryLock()) {
        QString text = peekLanguageTexts0();
        if (text.isEmpty()) text = QStringLiteral("Quarvel is already running.");
        m_questions.Message(text, Questions::Buttons::Ok, Questions::Icon::None, QString());
        return StartResult::SecondInstance;
    }

    m_urlBar = std::make_unique<frmRaiseIE>();
    m_downloadWindow = std::make_unique<frmDownloadData>(*m_downloads, *m_urls);
    m_broken = std::make_unique<frmLoadDeleteBroken>();
    m_options = std::make_unique<frmRLIE>();
    m_browser = std::make_unique<frmWebbrowser>();
    m_picture = std::make_unique<frmShowPicture>();
    m_windowLanguage = std::make_unique<WindowLanguage>(*m_downloads, *m_urls);
    m_windowLanguage->AddWindow(QStringLiteral("FRMRAISEIE"), m_urlBar.get());
    m_windowLanguage->AddWindow(QStringLiteral("FRMDOWNLOADDATA"), m_downloadWindow.get());
    m_windowLanguage->AddWindow(QStringLiteral("FRMLOADDELETEBROKEN"), m_broken.get());
    m_windowLanguage->AddWindow(QStringLiteral("FRMRLIE"), m_options.get());
    m_windowLanguage->AddWindow(QStringLiteral("FRMSHOWPICTURE"), m_picture.get());
    m_windowLanguage->AddWindow(QStringLiteral("FRMWEBBROWSER"), m_browser.get());
    m_urlBar->installEventFilter(this);
    for (QLabel *picture : m_urlBar->Picture1)
        picture->installEventFilter(this);

    // 3. The URL bar's language picture and title.
    showLanguagePicture(0);
    const QVersionNumber v = QVersionNumber::fromString(m_version);
    m_urlBar->setWindowTitle(QStringLiteral("Quarvel v%1.%2-%3")
                                 .arg(v.majorVersion())
                                 .arg(v.minorVersion())
                                 .arg(v.microVersion()));
    // 4. No answer to the broken-downloads question yet.
    BrokenDownloadAnswer.clear();
    // 5.-8. The options window's defaults.
    m_urlBar->hide();
    m_options->txtIndexDepth->setText(QStringLiteral("1"));
    m_options->txtSimultaneousDownloads->setText(QStringLiteral("4"));
    m_options->txtSimultaneousDownloads->setToolTip(
        QStringLiteral("Maximum number of simultaneous downloads limited to %1")
            .arg(frmRLIE::MaxSimultaneousDownloads));
    m_options->chkJustGoDown->setChecked(true);
    m_options->chkViewBrowser->setChecked(false);
    m_options->chkClipboard2URLList->setChecked(false);
    m_options->chkStayOnsite->setChecked(true);
    m_options->chkDoExtraClick->setChecked(true);
    m_options->chkUniqueFilename->setChecked(true);
    m_options->chkMultiDnl->setChecked(true);
    m_downloadState.PartSizeKB = m_options->txtMultiDnl->text().toInt();
    PictureMode = false;
    // 9. The stamp that names the crawl's temporary pages.
    StartStamp = MakeStartStamp(QTime::currentTime());
    // 10. An empty view of the working address.
    for (int i = 0; i < frmRaiseIE::ViewLength; ++i) {
        m_urlBar->Command1[i]->setText(QString());
        m_urlBar->RLLabel[i]->setText(QStringLiteral(" "));
    }
    // 11. The temporary folder.
    if (!QDir().mkpath(TempFolder())) {
        reportError(QStringLiteral("Form_Load"), 11,
                    QStringLiteral("Path/File access error: ") + TempFolder());
        return StartResult::Failed;
    }

    // Certificates of private servers the user trusts besides the system's.
    Quarvel::AddTrustedCertificates(ProgramFolder::Join(m_folder, QStringLiteral("trusted.pem")));

    // 12. The work area, the bar in its top-left corner, then the download
    // window's load: the settings and with them the language.
    m_workArea = workArea ? *workArea : GetWorkArea();
    placeWindow(m_urlBar.get(), WindowPlan::For(m_workArea, 0).UrlBar);
    const bool settingsWritten = m_store.ReadSettings([this](const QString &language) {
        const QString upper = language.toUpper();
        if (upper == QLatin1String("ENGLISH"))
            showLanguagePicture(1);
        else if (upper == QLatin1String("GERMAN"))
            showLanguagePicture(0);
        if (!m_languageFailed) applyLanguage(language);
    });
    if (m_languageFailed) return StartResult::NoLanguage;
    if (!settingsWritten)
        reportError(QStringLiteral("Form_Load"), 12,
                    QStringLiteral("Path/File access error: ") + m_store.Path());
    m_options->txtTargetDir->setText(m_settings.TargetDir);
    connect(m_options->txtTargetDir, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_settings.TargetDir = text; });
    if (!LoadDownloadWindow()) return StartResult::Failed;
    ConnectHarvest();
    // Connections to a server are kept and reused unless the user said no.
    m_options->chkKeepConnections->setChecked(m_settings.KeepConnections);
    m_engine->SetKeepConnections(m_settings.KeepConnections);
    connect(m_options->chkKeepConnections, &QCheckBox::toggled, this, [this](bool on) {
        m_engine->SetKeepConnections(on);
        if (!m_store.WriteSetting(QStringLiteral("keepconnections"),
                                  on ? QStringLiteral("1") : QStringLiteral("0")))
            reportError(QStringLiteral("chkKeepConnections_Click"), 1,
                        QStringLiteral("Path/File access error: ") + m_store.Path());
    });
    const WindowPlan plan = WindowPlan::For(m_workArea, optionsWidthTwips());
    placeWindow(m_picture.get(), plan.Picture);

    // 13.-16. No Close command on the other windows; their places.
    RemoveCloseItem(m_options.get(), m_closeGuard);
    m_options->setMouseTracking(true);
    m_options->installEventFilter(this);
    RemoveCloseItem(m_downloadWindow.get(), m_closeGuard);
    RemoveCloseItem(m_browser.get(), m_closeGuard);
    RemoveCloseItem(m_picture.get(), m_closeGuard);
    m_picture->installEventFilter(this);
    m_options->cmdStopDnl->hide();
    placeWindow(m_options.get(), plan.Options);
    placeWindow(m_downloadWindow.get(), plan.Downloads);
    placeWindow(m_browser.get(), plan.Browser);

    // 17. Shown in this order; then placed again now that the window frames
    // are known, so that the outer edges meet the work area.
    m_urlBar->show();
    m_downloadWindow->show();
    m_browser->show();
    m_options->show();
    SetTopmost(m_options.get(), true);
    placeWindow(m_urlBar.get(), plan.UrlBar);
    placeWindow(m_downloadWindow.get(), plan.Downloads);
    placeWindow(m_browser.get(), plan.Browser);
    placeWindow(m_options.get(), plan.Options);
    placeWindow(m_picture.get(), plan.Picture);
    m_started = true;
    // The window manager adds its frames a moment after the windows are
    // shown; once they are known the windows are placed again so that their
    // outer edges follow the plan, and the options window goes back on top
    // of the browser, whose view maps its native window late.
    m_plan = plan;
    for (int delay : {0, 300, 1000}) {
        QTimer::singleShot(delay, m_options.get(), [this] {
            if (m_ending) return;
            placeWindow(m_urlBar.get(), m_plan.UrlBar);
            placeWindow(m_downloadWindow.get(), m_plan.Downloads);
            placeWindow(m_browser.get(), m_plan.Browser);
            fitOptionsWidth();
            SetTopmost(m_options.get(), true);
        });
    }
    return StartResult::Started;
}

bool QuarvelShell::applyLanguage(const QString &language)
{
    const LanguageFile::Outcome outcome = LanguageFile::ChangeLanguage(
        m_languageFile, language, *m_windowLanguage, m_texts, m_questions);
    if (outcome == LanguageFile::Outcome::NoLanguageFound) {
        m_languageFailed = true;
        if (m_started) {
            m_ending = true;
            emit EndRequested();
        }
        return false;
    }
    if (outcome == LanguageFile::Outcome::Applied) {
        applyNamedTexts();
        UseQtTranslation(language);
        for (QWidget *w :
             {static_cast<QWidget *>(m_urlBar.get()),
              static_cast<QWidget *>(m_downloadWindow.get()),
              static_cast<QWidget *>(m_broken.get()), static_cast<QWidget *>(m_options.get()),
              static_cast<QWidget *>(m_picture.get()), static_cast<QWidget *>(m_browser.get())})
            w->update();
    }
    return true;
}

void QuarvelShell::UseQtTranslation(const QString &language)
{
    // Qt's own texts (the buttons of questions, the file dialogs) follow the
    // language through Qt's translation of its base module; without the
    // translation installed they stay English.
    QCoreApplication::removeTranslator(&m_qtTranslator);
    if (language.compare(QLatin1String("german"), Qt::CaseInsensitive) == 0 &&
        m_qtTranslator.load(QStringLiteral("qtbase_de"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qtTranslator);
}

void QuarvelShell::showLanguagePicture(int index)
{
    m_urlBar->Picture1[index]->show();
    m_urlBar->Picture1[1 - index]->hide();
}

void QuarvelShell::SwitchLanguage()
{
    const bool toEnglish = m_urlBar->Picture1[0]->isVisibleTo(m_urlBar.get());
    showLanguagePicture(toEnglish ? 1 : 0);
    const QString language = toEnglish ? QStringLiteral("english") : QStringLiteral("german");
    // The language becomes the setting only once it was applied: a language
    // file without its block ends the program, and the next start must still
    // find the language that worked.
    if (applyLanguage(language)) m_settings.Language = language;
    // The options window takes the width its captions need in this language
    // once their layouts have taken the new texts.
    QTimer::singleShot(0, this, [this] {
        if (m_started) fitOptionsWidth();
    });
}

void QuarvelShell::Shutdown()
{
    if (m_shutDown) return;
    m_shutDown = true;
    m_ending = true;
    // Every transfer stops, every window closes, then both settings are written.
    if (m_crawler) {
        m_crawler->StopHarvest = true;
        m_crawler->StopPage = true;
    }
    if (m_engine) {
        m_downloadState.StopRequested = true;
        m_engine->KillAllDownloads();
        m_engine->Close();
    }
    // The files that ended "Done" last are written to the archive now.
    if (m_archive) m_archive->Flush();
    UnloadForms();
    // After the language file failed nothing is written: the settings file
    // keeps the language the program last started with.
    if (m_languageFailed) return;
    if (!m_store.WriteSetting(QStringLiteral("targetdirectory"), m_settings.TargetDir) ||
        !m_store.WriteSetting(QStringLiteral("language"), m_settings.Language))
        reportError(QStringLiteral("Form_Unload"), 3,
                    QStringLiteral("Path/File access error: ") + m_store.Path());
}

void QuarvelShell::ConnectHarvest()
{
    // The crawl fetches pages through instance 0 or the embedded browser; the
    // options window drives it; a harvest starts from the URL bar's working
    // address.
    m_crawlHost = std::make_unique<WindowCrawlHost>(*m_downloadWindow, *m_options, *m_browser);
    m_crawler = std::make_unique<Crawler>(*m_engine->Quarvel1(0), *m_downloads, m_downloadState,
                                          m_settings, TempFolder(), StartStamp, *m_crawlHost);
    m_crawler->Waits = &m_engine->Waits();
    m_optionsController = std::make_unique<OptionsController>(
        *m_options, *m_crawler, m_downloadState, m_settings, *m_urls, *m_downloads,
        m_questions.Above(m_options.get()), m_texts, [this] { return m_urlBarState.RLText; });
    m_optionsController->SetBrowserDownloadEnabled = [this](bool on) {
        m_browser->cmdDownload->setEnabled(on);
    };
    // The harvest speaks the user's language; a start page that cannot be
    // read is told in a message once the harvest has ended (a URL-list run
    // shows it in the status line only, not once per row).
    m_crawler->Texts = &m_texts;
    m_downloads->Texts = &m_texts;
    m_crawler->StartFailed = [this](const QString &text) {
        if (m_optionsController && m_optionsController->Runner().IsRunning()) return;
        QTimer::singleShot(0, m_options.get(), [this, text] {
            if (!m_ending)
                m_questions.Above(m_options.get())
                    .Message(text, Questions::Buttons::Ok, Questions::Icon::Warning, QString());
        });
    };
    m_statusLine = std::make_unique<StatusLine>(*m_downloadWindow->lblStatus, *m_downloads,
                                                *m_engine, *m_crawler, m_texts);
    m_urlBarWiring = std::make_unique<UrlBarWiring>(*this, m_questions);
    m_controller->HarvestTakesStart = m_optionsController->AttachDownloads(*m_engine);
    m_downloadState.SimultaneousDownloads =
        int(LeadingNumber(m_options->txtSimultaneousDownloads->text()));
    // The download window's list commands use the options window's runner and options.
    m_optionsController->RowIsRunning = [this](int row) { return m_controller->RowIsRunning(row); };
    m_controller->FillDownloadList = [this] { return m_optionsController->RunUrlList(); };
    m_controller->RowOptions = [this] { return m_optionsController->AddressRowOptions(); };
    m_controller->ClearStartAddresses = [this] { m_optionsController->StartAddresses.clear(); };
    ConnectArchiveAndLogin();
}

void QuarvelShell::ConnectArchiveAndLogin()
{
    m_archive = std::make_unique<DownloadArchive>(m_folder, m_questions);
    m_engine->SetArchive(m_archive.get());
    m_crawler->Archive = m_archive.get();
    m_controller->Archive = m_archive.get();
    // The lines are asked for at every request: the option counts at once.
    const auto lines = m_cookies->RequestLines(m_settings);
    m_engine->SetExtraHeaderLines(lines);
    m_crawler->SetExtraHeaderLines(lines);
    FeedCookieJar(*m_browser->WebBrowser1, *m_cookies);
    applyNamedTexts();
    m_options->chkSkipDownloaded->setChecked(m_settings.SkipDownloaded);
    m_options->chkBrowserLogin->setChecked(m_settings.BrowserLogin);
    connect(m_options->chkSkipDownloaded, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.SkipDownloaded = on; });
    connect(m_options->chkBrowserLogin, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.BrowserLogin = on; });
}

void QuarvelShell::applyNamedTexts()
{
    if (m_archive)
        m_archive->ProblemText = m_texts.Text(QStringLiteral("ARCHIVEBROKEN"),
                                              QStringLiteral("The archive of downloaded files %1 "
                                                             "cannot be used (%2). The program "
                                                             "goes on without it."));
}

bool QuarvelShell::LoadDownloadWindow()
{
    // The slot pool and its controller; the download list starts empty.
    m_downloads->clear();
    m_engine = std::make_unique<DownloadEngine>(*m_downloads, m_downloadState, m_stateFiles);
    m_engine->Waits().Texts = [this](const QString &key, const QString &english) {
        return m_texts.Text(key, english);
    };
    m_controller = std::make_unique<DownloadWindowController>(
        *m_downloadWindow, *m_engine, m_downloadState, m_questions, m_texts, m_settings);
    m_downloadWindow->Command2->setEnabled(false);
    m_downloadWindow->Command1->setEnabled(false);

    // Broken downloads of an earlier run: asked once per run.
    const QStringList broken = BrokenDownloads::Find(m_stateFiles);
    if (broken.isEmpty() || m_brokenAsked) return true;
    m_brokenAsked = true;
    m_broken->ShowBroken(BrokenDownloads::Describe(m_stateFiles, broken));
    const QString answer = AskBrokenDownloads();
    if (answer == QLatin1String("load")) {
        BrokenDownloads::Load(m_stateFiles, broken, *m_downloads, m_downloadState);
        m_downloadWindow->Command2->setEnabled(true);
        m_downloadWindow->Command1->setEnabled(true);
        m_downloadWindow->cmdRestartSelectedDownloads->setEnabled(true);
    } else if (answer == QLatin1String("clear")) {
        if (m_questions.Message(m_texts.LangText(6), Questions::Buttons::YesNo,
                                Questions::Icon::Question,
                                m_texts.LangText(7)) == Questions::Answer::Yes)
            m_stateFiles.DeleteAll();
    }
    return true;
}

QString QuarvelShell::AskBrokenDownloads()
{
    // Not modal: the other windows stay usable while the question waits.
    m_broken->show();
    WaitOptions options;
    options.PollMs = 250;
    options.Wake = [this](QEventLoop &loop) {
        connect(m_broken.get(), &QDialog::finished, &loop, &QEventLoop::quit);
    };
    WaitUntil([this] { return !m_broken->Answer().isEmpty() || m_ending; }, options);
    m_broken->hide();
    BrokenDownloadAnswer = m_broken->Answer();
    return BrokenDownloadAnswer;
}

void QuarvelShell::UnloadForms()
{
    m_closeGuard.Ending = true;
    for (QWidget *w :
         {static_cast<QWidget *>(m_options.get()), static_cast<QWidget *>(m_downloadWindow.get()),
          static_cast<QWidget *>(m_broken.get()), static_cast<QWidget *>(m_browser.get()),
          static_cast<QWidget *>(m_picture.get()), static_cast<QWidget *>(m_urlBar.get())}) {
        if (w && w->isVisible()) w->close();
    }
}

void QuarvelShell::reportError(const QString &procedure, int line, const QString &description)
{
    m_questions.Message(QStringLiteral("Error 75 in procedure '%1' in line %2: %3")
                            .arg(procedure)
                            .arg(line)
                            .arg(description),
                        Questions::Buttons::Ok, Questions::Icon::Critical, QString());
}

bool QuarvelShell::eventFilter(QObject *watched, QEvent *event)
{
    if (m_options && watched == m_options.get() && m_started && !m_ending) {
        if (event->type() == QEvent::Resize)
            QTimer::singleShot(0, this, [this] { keepOptionsInside(); });
        // The mouse over the options window brings a minimised URL bar back;
        // a click on its background brings every main window to the front.
        if (event->type() == QEvent::MouseMove && (m_urlBar->windowState() & Qt::WindowMinimized))
            m_urlBar->showNormal();
        if (event->type() == QEvent::MouseButtonPress) {
            QWidget *side = PictureMode ? static_cast<QWidget *>(m_picture.get())
                                        : static_cast<QWidget *>(m_browser.get());
            for (QWidget *w : {static_cast<QWidget *>(m_urlBar.get()),
                               static_cast<QWidget *>(m_downloadWindow.get()), side,
                               static_cast<QWidget *>(m_options.get())}) {
                w->raise();
                w->activateWindow();
            }
        }
        return false;
    }
    if (m_picture && watched == m_picture.get() && event->type() == QEvent::Show && m_started &&
        !m_ending) {
        // The viewer was placed before it had a frame: once shown, its outer
        // edges go where the plan puts them, inside the work area.
        for (int delay : {0, 300}) {
            QTimer::singleShot(delay, m_picture.get(), [this] {
                if (!m_ending && m_picture->isVisible())
                    placeWindow(m_picture.get(), m_plan.Picture);
            });
        }
        return false;
    }
    if (m_urlBar && watched == m_urlBar.get()) {
        if (event->type() == QEvent::WindowStateChange && m_started && !m_ending)
            urlBarStateChanged();
        if (event->type() == QEvent::Close && !m_ending) {
            Shutdown();
            emit EndRequested();
        }
        return false;
    }
    if (m_urlBar && event->type() == QEvent::MouseButtonPress &&
        (watched == m_urlBar->Picture1[0] || watched == m_urlBar->Picture1[1])) {
        SwitchLanguage();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
