// The program's start and end, offscreen: windows and named controls, their
// places around the URL bar, settings and language on first and later starts,
// the second copy refused, the language switch and the shutdown.
#include "downloadengine.h"
#include "captionfit.h"
#include "downloadlistmodel.h"
#include "frmdownloaddata.h"
#include "frmloaddeletebroken.h"
#include "frmraiseie.h"
#include "frmrlie.h"
#include "frmshowpicture.h"
#include "frmwebbrowser.h"
#include "quarvel.h"
#include "quarvelshell.h"
#include "scriptedquestions.h"
#include "testcertificates.h"
#include "twips.h"
#include "windowplan.h"

#include <QCheckBox>
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace
{

const QString LangDat = QStringLiteral(QUARVEL_LANG_DAT);
const QString LangSources = QStringLiteral(QUARVEL_LANG_SOURCES);
const QRect WorkArea(0, 0, 28800, 15600);

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The readable language lines of one language: "SECTION<qvrl>KEY<qvrl>KIND<qvrl>text".
QStringList languageLines(const QString &suffix)
{
    QStringList lines;
    const QStringList files = QDir(LangSources).entryList({"*." + suffix + ".txt"});
    for (const QString &name : files) {
        for (const QString &line :
             QString::fromUtf8(readFile(LangSources + "/" + name)).split('\n')) {
            if (line.count("<qvrl>") >= 3) lines << line;
        }
    }
    return lines;
}

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::unique_ptr<QuarvelShell>
    start(QuarvelShell::StartResult expected = QuarvelShell::StartResult::Started)
    {
        auto shell = std::make_unique<QuarvelShell>(dir.path(), LangDat, questions, "0.1.0");
        EXPECT_EQ(shell->Start(WorkArea), expected);
        return shell;
    }
    QString ini() const { return QString::fromUtf8(readFile(dir.filePath("quarvel.ini"))); }

    QTemporaryDir dir;
    ScriptedQuestions questions;
};

} // namespace

TEST_F(StartupTest, FirstStartCreatesFoldersAndSettingsAndSpeaksGerman)
{
    // "trusted.pem" in the program folder is read at start: its certificate
    // is trusted already afterwards.
    TestCertificates certificates;
    ASSERT_TRUE(certificates.make()) << certificates.errorText().toStdString();
    ASSERT_TRUE(QFile::copy(certificates.authorityFile(), dir.filePath("trusted.pem")));
    auto shell = start();
    EXPECT_EQ(Quarvel::AddTrustedCertificates(dir.filePath("trusted.pem")), 0);
    EXPECT_TRUE(QFileInfo(dir.filePath("incoming")).isDir());
    EXPECT_TRUE(QFileInfo(dir.filePath("qvtemp")).isDir());
    EXPECT_EQ(ini(), "targetdirectory|" + dir.path() + "/incoming/\r\nlanguage|german\r\n");
    EXPECT_EQ(shell->OptionsWindow()->txtTargetDir->text(), dir.path() + "/incoming/");
    EXPECT_TRUE(shell->UrlBar()->Picture1[0]->isVisible());
    EXPECT_FALSE(shell->UrlBar()->Picture1[1]->isVisible());
    EXPECT_EQ(shell->UrlBar()->windowTitle(), "Quarvel v0.1-0");
    EXPECT_EQ(shell->Texts().LangText(0), QString::fromUtf8("Quarvel läuft bereits."));
    EXPECT_EQ(shell->StartStamp.size(), 6);
    EXPECT_TRUE(questions.messages.isEmpty()) << questions.messages.join('|').toStdString();
    // The four main windows are shown; the viewer waits for picture mode.
    EXPECT_TRUE(shell->UrlBar()->isVisible());
    EXPECT_TRUE(shell->DownloadWindow()->isVisible());
    EXPECT_TRUE(shell->BrowserWindow()->isVisible());
    EXPECT_TRUE(shell->OptionsWindow()->isVisible());
    EXPECT_FALSE(shell->PictureWindow()->isVisible());
    EXPECT_FALSE(shell->OptionsWindow()->cmdStopDnl->isVisible());
    // Connections are kept unless the box is cleared, which is stored at once.
    EXPECT_TRUE(shell->Engine()->Quarvel1(7)->KeepConnections());
    shell->OptionsWindow()->chkKeepConnections->setChecked(false);
    EXPECT_FALSE(shell->Engine()->Quarvel1(7)->KeepConnections());
    EXPECT_TRUE(ini().endsWith("language|german\r\nkeepconnections|0\r\n")) << ini().toStdString();
    shell->Shutdown();
}

TEST_F(StartupTest, EveryControlTheLanguageFileNamesExistsAndTakesItsText)
{
    auto shell = start();
    const QHash<QString, QWidget *> windows = {{"FRMRAISEIE", shell->UrlBar()},
                                               {"FRMDOWNLOADDATA", shell->DownloadWindow()},
                                               {"FRMLOADDELETEBROKEN", shell->BrokenQuestion()},
                                               {"FRMRLIE", shell->OptionsWindow()},
                                               {"FRMSHOWPICTURE", shell->PictureWindow()},
                                               {"FRMWEBBROWSER", shell->BrowserWindow()}};
    int checked = 0;
    for (const QString &line : languageLines("de")) {
        const QStringList f = line.split("<qvrl>");
        const QString section = f[0], key = f[1].toUpper(), kind = f[2];
        if (!windows.contains(section) || kind == "TEXT" || key == section) continue;
        QString name = key == "CMDFORWARD" ? QString("CMDFOREWARD") : key;
        int index = -1;
        if (name.endsWith(')')) {
            index = name.section('(', 1).chopped(1).toInt();
            name = name.section('(', 0, 0);
        }
        QList<QWidget *> found;
        for (QWidget *w : windows[section]->findChildren<QWidget *>()) {
            if (w->objectName().toUpper() == name &&
                (index < 0 || w->property("Index").toInt() == index))
                found << w;
        }
        ASSERT_FALSE(found.isEmpty()) << line.toStdString();
        if (kind == "TOOLTIP") {
            EXPECT_EQ(found.first()->toolTip(), f[3]) << line.toStdString();
        }
        ++checked;
    }
    EXPECT_GT(checked, 80);
    // Column headers come from the language file too.
    EXPECT_NE(shell->Downloads().caption(0), QString("Filename"));
    shell->Shutdown();
}

TEST_F(StartupTest, WindowsArePlacedAroundTheBarForTheWorkArea)
{
    const QList<QRect> areas = {QRect(0, 600, 28800, 15600), QRect(900, 0, 27900, 16200)};
    for (const QRect &area : areas) {
        QTemporaryDir folder;
        auto shell = std::make_unique<QuarvelShell>(folder.path(), LangDat, questions, "0.1.0");
        ASSERT_EQ(shell->Start(area), QuarvelShell::StartResult::Started);
        const qreal dx = shell->UrlBar()->logicalDpiX(), dy = shell->UrlBar()->logicalDpiY();
        const WindowPlan plan = WindowPlan::For(area, 0);
        EXPECT_EQ(shell->UrlBar()->frameGeometry(), Twips::ToPixels(plan.UrlBar, dx, dy));
        EXPECT_EQ(shell->DownloadWindow()->frameGeometry(),
                  Twips::ToPixels(plan.Downloads, dx, dy));
        EXPECT_EQ(shell->BrowserWindow()->frameGeometry(), Twips::ToPixels(plan.Browser, dx, dy));
        // The options window keeps its own width, its right edge on the work area's.
        const QRect options = shell->OptionsWindow()->frameGeometry();
        EXPECT_NEAR(options.left() + options.width(),
                    Twips::ToPixels(area.left() + area.width(), dx), 1);
        EXPECT_EQ(options.top(), Twips::ToPixels(2000, dy));
        // Its strip of commands gets the designed height inside the frame.
        EXPECT_EQ(shell->OptionsWindow()->geometry().height(), Twips::ToPixels(1140, dy));
        EXPECT_EQ(shell->PictureWindow()->frameGeometry(), Twips::ToPixels(plan.Picture, dx, dy));
        shell->Shutdown();
    }
}

TEST_F(StartupTest, EveryWindowFitsCommonWorkAreasWithItsButtonsAndCaptions)
{
    // Work areas of 1280×720, 1366×768 and 1920×1080 screens less a panel.
    const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    for (const QString language : {"german", "english"}) {
        for (const QSize screen : {QSize(1280, 720), QSize(1366, 768), QSize(1920, 1080)}) {
            SCOPED_TRACE(QString("%1 %2x%3")
                             .arg(language)
                             .arg(screen.width())
                             .arg(screen.height())
                             .toStdString());
            QTemporaryDir folder;
            QFile ini(folder.filePath("quarvel.ini"));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write("targetdirectory|/tmp/\r\nlanguage|" + language.toUtf8() + "\r\n");
            ini.close();
            const QRect px(0, 0, screen.width(), screen.height() - 30);
            const QRect area(0, 0, Twips::FromPixels(px.width(), dpi),
                             Twips::FromPixels(px.height(), dpi));
            auto shell = std::make_unique<QuarvelShell>(folder.path(), LangDat, questions, "0.1.0");
            ASSERT_EQ(shell->Start(area), QuarvelShell::StartResult::Started);
            // The viewer in place of the browser, the options expanded, the
            // broken-downloads question open.
            QCoreApplication::processEvents();
            shell->DownloadWindow()->cmdPictureMode->click();
            shell->OptionsWindow()->Command3->click();
            shell->BrokenQuestion()->ShowBroken({});
            shell->BrokenQuestion()->show();
            QCoreApplication::processEvents();
            const QList<QWidget *> windows = {shell->UrlBar(), shell->DownloadWindow(),
                                              shell->OptionsWindow(), shell->PictureWindow(),
                                              shell->BrokenQuestion()};
            for (QWidget *window : windows) {
                SCOPED_TRACE(window->objectName().toStdString());
                if (window->isVisible()) {
                    const QRect frame = window->frameGeometry();
                    EXPECT_TRUE(px.contains(frame)) << frame.x() << "," << frame.y() << " "
                                                    << frame.width() << "x" << frame.height();
                } else {
                    EXPECT_LE(window->height(), px.height());
                }
                for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
                    if (!button->isVisibleTo(window)) continue;
                    const QRect at(button->mapTo(window, QPoint(0, 0)), button->size());
                    EXPECT_TRUE(window->rect().contains(at))
                        << button->objectName().toStdString() << " at " << at.y() << "+"
                        << at.height() << " in " << window->height();
                }
                const QStringList cut = CaptionFit::Cut(*window);
                EXPECT_TRUE(cut.isEmpty()) << cut.join('\n').toStdString();
            }
            // Both lists keep about five rows.
            for (QTreeView *list :
                 {shell->DownloadWindow()->ListView1, shell->DownloadWindow()->ListView2})
                EXPECT_GE(list->viewport()->height(), 5 * list->fontMetrics().height());
            // The download list shows its State column beside the file name.
            QTreeView *downloads = shell->DownloadWindow()->ListView1;
            EXPECT_LE(downloads->header()->sectionViewportPosition(DownloadListModel::ColState) +
                          downloads->columnWidth(DownloadListModel::ColState),
                      downloads->viewport()->width());
            shell->BrokenQuestion()->hide();
            shell->Shutdown();
        }
    }
}

TEST_F(StartupTest, SecondCopyIsRefusedAndTouchesNothing)
{
    auto first = start();
    const QByteArray before = readFile(dir.filePath("quarvel.ini"));
    const QDateTime modified = QFileInfo(dir.filePath("quarvel.ini")).lastModified();
    questions.messages.clear();
    auto second = start(QuarvelShell::StartResult::SecondInstance);
    EXPECT_EQ(questions.messages, QStringList({QString::fromUtf8("Quarvel läuft bereits.")}));
    EXPECT_EQ(readFile(dir.filePath("quarvel.ini")), before);
    EXPECT_EQ(QFileInfo(dir.filePath("quarvel.ini")).lastModified(), modified);
    EXPECT_EQ(second->UrlBar(), nullptr);
    first->Shutdown();
}

TEST_F(StartupTest, LanguageSwitchAppliesAtOnceAndIsStoredAtShutdown)
{
    auto shell = start();
    const QString german = shell->UrlBar()->UseItCommand->text();
    shell->SwitchLanguage();
    EXPECT_EQ(shell->UrlBar()->UseItCommand->text(), "use it");
    EXPECT_NE(german, "use it");
    EXPECT_FALSE(shell->UrlBar()->Picture1[0]->isVisible());
    EXPECT_TRUE(shell->UrlBar()->Picture1[1]->isVisible());
    EXPECT_EQ(shell->Texts().LangText(0), "Quarvel is already running.");
    shell->OptionsWindow()->txtTargetDir->setText("/tmp/elsewhere/");
    // A column the user drags keeps its width; the file name still fills the rest.
    QHeaderView *header = shell->DownloadWindow()->ListView1->header();
    header->resizeSection(DownloadListModel::ColSize, 150);
    const QString widths = shell->Settings().ColumnWidths;
    EXPECT_EQ(widths.section(',', DownloadListModel::ColSize, DownloadListModel::ColSize), "150");
    EXPECT_EQ(widths.section(',', 0, 0), "0");
    shell->Shutdown();
    EXPECT_EQ(ini(), "targetdirectory|/tmp/elsewhere/\r\nlanguage|english\r\ncolumnwidths|" +
                         widths + "\r\n");
    shell.reset();

    // The next start speaks English and has the widths.
    auto again = start();
    EXPECT_EQ(again->DownloadWindow()->ListView1->columnWidth(DownloadListModel::ColSize), 150);
    EXPECT_EQ(again->UrlBar()->UseItCommand->text(), "use it");
    EXPECT_TRUE(again->UrlBar()->Picture1[1]->isVisible());
    EXPECT_FALSE(again->UrlBar()->Picture1[0]->isVisible());
    again->Shutdown();
}

TEST_F(StartupTest, AFailedSwitchEndsTheProgramWithoutWritingSettings)
{
    const QString lang = dir.filePath("lang.dat");
    ASSERT_TRUE(QFile::copy(LangDat, lang));
    auto shell = std::make_unique<QuarvelShell>(dir.path(), lang, questions, "0.1.0");
    ASSERT_EQ(shell->Start(WorkArea), QuarvelShell::StartResult::Started);
    const QByteArray before = readFile(dir.filePath("quarvel.ini"));
    QSignalSpy ended(shell.get(), &QuarvelShell::EndRequested);
    // The language file loses its blocks while the program runs.
    QFile(lang).resize(0);
    shell->OptionsWindow()->txtTargetDir->setText("/tmp/elsewhere/");
    shell->SwitchLanguage();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(questions.messages, QStringList({"No language found in file LANG.DAT!!!"}));
    EXPECT_EQ(shell->Settings().Language, "german");
    shell->Shutdown();
    EXPECT_EQ(readFile(dir.filePath("quarvel.ini")), before);
}

TEST_F(StartupTest, UnknownLanguageOrMissingFileEndsTheProgram)
{
    QFile f(dir.filePath("quarvel.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("targetdirectory|/t/\r\nlanguage|German\r\n");
    f.close();
    start(QuarvelShell::StartResult::NoLanguage);
    EXPECT_EQ(questions.messages, QStringList({"No language found in file LANG.DAT!!!"}));
}

TEST_F(StartupTest, TheAlwaysOnTopOptionsWindowAsksOverItself)
{
    // Questions asked over a window get their own script here.
    struct Layered : ScriptedQuestions {
        ScriptedQuestions overOptions;
        QObject *window = nullptr;
        Questions &Above(QObject *w) override
        {
            window = w;
            return overOptions;
        }
    } layered;
    layered.overOptions.folders = {"/tmp/chosen"};
    auto shell = std::make_unique<QuarvelShell>(dir.path(), LangDat, layered, "0.1.0");
    ASSERT_EQ(shell->Start(WorkArea), QuarvelShell::StartResult::Started);
    EXPECT_EQ(layered.window, shell->OptionsWindow());
    shell->OptionsWindow()->cmdTargetDir->click();
    EXPECT_EQ(shell->Settings().TargetDir, "/tmp/chosen/");
    shell->Shutdown();
}

TEST_F(StartupTest, MinimisingTheBarHidesTheOthersAndRestoringBringsThemBack)
{
    auto shell = start();
    shell->UrlBar()->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(shell->DownloadWindow()->isVisible());
    EXPECT_FALSE(shell->BrowserWindow()->isVisible());
    EXPECT_FALSE(shell->OptionsWindow()->isVisible());
    shell->PictureMode = true;
    shell->UrlBar()->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(shell->DownloadWindow()->isVisible());
    EXPECT_TRUE(shell->OptionsWindow()->isVisible());
    EXPECT_TRUE(shell->PictureWindow()->isVisible());
    EXPECT_FALSE(shell->BrowserWindow()->isVisible());
    EXPECT_TRUE(shell->OptionsWindow()->windowFlags() & Qt::WindowStaysOnTopHint);
    shell->Shutdown();
}

TEST_F(StartupTest, OnlyTheUrlBarClosesAndItsCloseEndsTheProgram)
{
    auto shell = start();
    QSignalSpy ended(shell.get(), &QuarvelShell::EndRequested);
    EXPECT_FALSE(shell->DownloadWindow()->close());
    EXPECT_FALSE(shell->OptionsWindow()->close());
    EXPECT_FALSE(shell->BrowserWindow()->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(shell->DownloadWindow()->isVisible());
    EXPECT_EQ(ended.count(), 0);
    EXPECT_TRUE(shell->UrlBar()->close());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(shell->DownloadWindow()->isVisible());
    EXPECT_TRUE(ini().endsWith("language|german\r\n"));
}

namespace
{

// A program folder holding one broken download: state file 5.qvi with its
// two part files.
void makeBrokenDownload(const QString &folder)
{
    QDir().mkpath(folder + "/qvtemp");
    QFile state(folder + "/qvtemp/5.qvi");
    ASSERT_TRUE(state.open(QIODevice::WriteOnly));
    state.write("5\r\n/dl/host/a.jpg<QVRL>40%<QVRL>4/10 bytes<QVRL> <QVRL>http://host/a.jpg"
                "<QVRL>/dl/<QVRL>host<QVRL> 0<QVRL>TRUE<QVRL>http://host/\r\n 10\r\n2\r\n"
                "0;4\r\n5;9\r\n");
    state.close();
    for (const char *part : {"/qvtemp/5.qvp", "/qvtemp/6.qvp"}) {
        QFile f(folder + part);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ab");
    }
}

} // namespace

TEST_F(StartupTest, BrokenDownloadsAreLoadedClearedOrKeptAsAnswered)
{
    // No broken download: no question, the start commands stay off.
    {
        auto shell = start();
        EXPECT_EQ(shell->BrokenDownloadAnswer, "");
        EXPECT_FALSE(shell->DownloadWindow()->Command1->isEnabled());
        EXPECT_FALSE(shell->DownloadWindow()->Command2->isEnabled());
        shell->Shutdown();
    }
    struct Case {
        const char *button;
        Questions::Answer confirm;
        int rows;
        int filesLeft;
    };
    const Case cases[] = {{"cmdLoad", Questions::Answer::Yes, 1, 3},
                          {"cmdNormalStartup", Questions::Answer::Yes, 0, 3},
                          {"cmdClearBrokenDnl", Questions::Answer::No, 0, 3},
                          {"cmdClearBrokenDnl", Questions::Answer::Yes, 0, 0}};
    for (const Case &c : cases) {
        QTemporaryDir folder;
        makeBrokenDownload(folder.path());
        questions.answers = {c.confirm};
        auto shell = std::make_unique<QuarvelShell>(folder.path(), LangDat, questions, "0.1.0");
        QuarvelShell *s = shell.get();
        // The question waits in the event loop: answer it from there.
        // It lists the broken download: file, bytes held of its length, parts.
        QStringList shown;
        QTimer::singleShot(50, [s, &c, &shown] {
            const QTreeWidget *list = s->BrokenQuestion()->lstBroken;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                for (int column = 0; column < 3; ++column)
                    shown << list->topLevelItem(i)->text(column);
            shown << list->headerItem()->text(1);
            s->BrokenQuestion()->findChild<QPushButton *>(c.button)->click();
        });
        ASSERT_EQ(shell->Start(WorkArea), QuarvelShell::StartResult::Started) << c.button;
        EXPECT_EQ(shown, QStringList({"a.jpg", "4/10", "2", "Bytes vorhanden/gesamt"}));
        EXPECT_EQ(shell->Downloads().count(), c.rows) << c.button;
        EXPECT_EQ(QDir(folder.path() + "/qvtemp").entryList(QDir::Files).size(), c.filesLeft)
            << c.button;
        if (c.rows == 1) {
            EXPECT_EQ(shell->BrokenDownloadAnswer, "load");
            EXPECT_EQ(shell->Downloads().text(1), "/dl/host/a.jpg");
            EXPECT_EQ(shell->Downloads().subItem(1, DownloadListModel::ColState), " ");
            EXPECT_EQ(shell->Downloads().subItem(1, DownloadListModel::ColMdnlNumber), "5");
            EXPECT_EQ(shell->Downloads().subItem(1, DownloadListModel::ColRef), "http://host/");
            EXPECT_TRUE(shell->DownloadWindow()->Command1->isEnabled());
            EXPECT_TRUE(shell->DownloadWindow()->cmdRestartSelectedDownloads->isEnabled());
        }
        EXPECT_FALSE(shell->BrokenQuestion()->isVisible());
        shell->Shutdown();
    }
}

TEST_F(StartupTest, DownloadWindowListCommandsReachTheHarvestSide)
{
    auto shell = start();
    frmDownloadData *window = shell->DownloadWindow();
    // A plain address file takes the options window's target folder.
    const QString plain = dir.filePath("addresses.txt");
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("http://h.example/a.jpg\n");
    file.close();
    questions.files = QStringList{plain};
    window->cmdLoadDownloadlist->click();
    ASSERT_EQ(shell->Downloads().count(), 1);
    EXPECT_EQ(shell->Downloads().text(1), dir.path() + "/incoming/h.example/a.jpg");
    EXPECT_EQ(shell->Downloads().subItem(1, DownloadListModel::ColMdnlNumber), "TRUE");
    // The URL-list runner runs (over no selected rows) and reports its end.
    window->cmdPut2DownloadList->setEnabled(true);
    window->cmdPut2DownloadList->click();
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Füllen der Downloadliste beendet"));
    shell->Shutdown();
}
