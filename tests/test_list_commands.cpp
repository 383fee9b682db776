// The download window's list commands wired as the program wires them: the
// list files through the questions, the URL-list runner with each row's
// filters and its stop, stopping and deleting beside running downloads, the
// clipboard capture, opening the target folder, and the window's resize.
#include "crawler.h"
#include "crawlhost.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadwindowcontroller.h"
#include "filebytes.h"
#include "frmdownloaddata.h"
#include "frmrlie.h"
#include "harvestsession.h"
#include "nginxserver.h"
#include "optionscontroller.h"
#include "programstate.h"
#include "quarvel.h"
#include "scriptedquestions.h"
#include "scriptedserver.h"
#include "statefiles.h"
#include "urllistmodel.h"
#include "urllistrunner.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLockFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

namespace
{

class NoBrowser : public CrawlHost
{
public:
    bool BrowserFetch(const QString &, const std::function<bool()> &, QString &, QString &) override
    {
        return false;
    }
};

QByteArray Page(const QStringList &links, int padding = 0)
{
    QByteArray html = "<html><body>" + QByteArray(padding, ' ');
    for (const QString &l : links)
        html += "<a href=\"" + l.toUtf8() + "\">x</a>\r\n";
    return html + "</body></html>\r\n";
}

// Everything the download window's commands reach, composed as the shell does.
class ListCommandsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        nginx = new NginxServer;
        ASSERT_TRUE(nginx->start()) << nginx->errorText().toStdString();
        const QStringList links{"a.jpg", "b.gif", "c.png", "d.jpg"};
        nginx->writeFile("one.html", Page(links));
        nginx->writeFile("two.html", Page(links));
        // Takes about two seconds at the slow folder's rate.
        nginx->writeFile("slow/page.html", Page(links, 500 * 1024));
        nginx->writeFile("slow/big.bin", randomBytes(3 * 1024 * 1024, 3));
    }
    static void TearDownTestSuite() { delete nginx; }

    ListCommandsTest()
        : files(dir.path() + "/qvtemp"), engine(list, state, files), window(list, urls),
          crawler(*engine.Quarvel1(0), list, state, settings, dir.path() + "/qvtemp", "120000",
                  host),
          options(), optionsController(options, crawler, state, settings, urls, list, questions,
                                       texts, [] { return QString(); }),
          controller(window, engine, state, questions, texts, settings)
    {
        QDir().mkpath(files.Folder());
        settings.TargetDir = dir.path() + "/incoming/";
        options.txtTargetDir->setText(settings.TargetDir);
        options.chkUniqueFilename->setChecked(false);
        optionsController.RowIsRunning = [this](int row) { return controller.RowIsRunning(row); };
        controller.FillDownloadList = [this] { return optionsController.RunUrlList(); };
        controller.RowOptions = [this] { return optionsController.AddressRowOptions(); };
        controller.ClearStartAddresses = [this] { optionsController.StartAddresses.clear(); };
        controller.OpenFolder = [this](const QString &folder) {
            opened << folder;
            return true;
        };
        for (int i = 1; i <= 10; ++i)
            texts.SetLangText(i + 9, QString("TEXT%1").arg(i + 10));
        texts.SetLangText(5, "no file yet");
    }
    QStringList names() const
    {
        QStringList out;
        for (int row = 1; row <= list.count(); ++row)
            out << QFileInfo(list.text(row)).fileName();
        return out;
    }
    int addRow(const QString &path, bool multi)
    {
        const int row = list.appendRow(dir.path() + "/incoming/h/" + QFileInfo(path).fileName() +
                                       QString::number(list.count()));
        list.setSubItem(row, DownloadListModel::ColSource, nginx->url(path));
        list.setSubItem(row, DownloadListModel::ColTargetDir, dir.path() + "/incoming/");
        list.setSubItem(row, DownloadListModel::ColMainURL, "h");
        list.setSubItem(row, DownloadListModel::ColMdnlNumber, multi ? "TRUE" : "");
        return row;
    }
    void selectOnly(ListModel &model, const QList<int> &rows)
    {
        for (int row = 1; row <= model.count(); ++row)
            model.setSelected(row, rows.contains(row));
    }

    static NginxServer *nginx;
    QTemporaryDir dir;
    DownloadListModel list;
    UrlListModel urls;
    DownloadState state;
    ProgramSettings settings;
    LanguageTexts texts;
    ScriptedQuestions questions;
    NoBrowser host;
    StateFiles files;
    DownloadEngine engine;
    frmDownloadData window;
    Crawler crawler;
    frmRLIE options;
    OptionsController optionsController;
    DownloadWindowController controller;
    QStringList opened;
};
NginxServer *ListCommandsTest::nginx = nullptr;

} // namespace

TEST_F(ListCommandsTest, SaveAndLoadBothListsThroughTheDialogs)
{
    list.appendRows({{"/dl/h/a.jpg", "", "0/0 bytes", "Done", "http://h/a.jpg"},
                     {"/dl/h/b.jpg", "5%", "1/20 bytes", "progress", "http://h/b.jpg"}});
    urls.appendRows({{"http://h/", "1;0;0;0;0;", "1"}});
    const QString downloads = dir.filePath("downloads.gfl");
    const QString addresses = dir.filePath("urls.gfl");
    questions.files = QStringList{downloads};
    window.cmdSaveDownloadlist->click();
    questions.files = QStringList{addresses};
    window.cmdSaveURLlist->click();
    EXPECT_EQ(readAll(downloads).count("\r\n"), 2);
    EXPECT_EQ(readAll(addresses).count("<QVRL>"), 8);

    // A cancelled dialog changes nothing.
    window.cmdLoadDownloadlist->click();
    EXPECT_EQ(list.count(), 2);

    // Loading appends; the commands for a filled list come on.
    window.Command1->setEnabled(false);
    window.Command2->setEnabled(false);
    questions.files = QStringList{downloads};
    window.cmdLoadDownloadlist->click();
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.subItem(4, DownloadListModel::ColState), "progress");
    EXPECT_EQ(state.LastRow, 4);
    EXPECT_TRUE(window.Command1->isEnabled());
    EXPECT_TRUE(window.Command2->isEnabled());
    EXPECT_TRUE(window.cmdRestartSelectedDownloads->isEnabled());
    questions.files = QStringList{addresses};
    window.cmdLoadURLlist->click();
    EXPECT_EQ(urls.count(), 2);
    EXPECT_TRUE(questions.messages.isEmpty());

    // A plain address file takes the options window's folder, size and
    // multi-part boxes.
    const QString plain = dir.filePath("plain.txt");
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("http://host.example/x/p.jpg\n");
    file.close();
    options.txtTargetDir->setText("/t/");
    options.txtMinFileSize->setText("3");
    options.chkMultiDnl->setChecked(true);
    questions.files = QStringList{plain};
    window.cmdLoadDownloadlist->click();
    ASSERT_EQ(list.count(), 5);
    EXPECT_EQ(list.text(5), "/t/host.example/p.jpg");
    EXPECT_EQ(list.subItem(5, DownloadListModel::ColTargetDir), settings.TargetDir);
    EXPECT_EQ(list.subItem(5, DownloadListModel::ColMinFileSize), " 3072");
    EXPECT_EQ(list.subItem(5, DownloadListModel::ColMdnlNumber), "TRUE");

    // Failures are reported with the file's name; a failed save leaves no file.
    const QString unwritable = dir.filePath("no/such/folder/x.gfl");
    questions.files = QStringList{unwritable};
    window.cmdSaveDownloadlist->click();
    questions.files = QStringList{dir.filePath("missing.gfl")};
    window.cmdLoadURLlist->click();
    ASSERT_EQ(questions.messages.size(), 2);
    EXPECT_TRUE(questions.messages[0].startsWith("TEXT18\n"));
    EXPECT_TRUE(questions.messages[0].contains("x.gfl"));
    EXPECT_TRUE(questions.messages[1].startsWith("TEXT19\n"));
    EXPECT_TRUE(questions.messages[1].contains("missing.gfl"));
    EXPECT_EQ(urls.count(), 2);
}

TEST_F(ListCommandsTest, RunnerCrawlsSelectedRowsWithTheirOwnFiltersUntilStopped)
{
    urls.appendRows({{nginx->url("/one.html"), "1;0;0;0;0;", "", "", "", "", "", "", "*"},
                     {nginx->url("/two.html"), "1;1;1;1;1;png", "", "", "", "", "", "", "*"},
                     {nginx->url("/two.html"), "0;1;0;0;1;png", "", "", "", "", "", "", "c*,b*"}});
    selectOnly(urls, {1, 3});
    EXPECT_FALSE(window.cmdPut2DownloadList->isEnabled());
    emit window.ListView2->clicked(urls.index(0, 0));
    ASSERT_TRUE(window.cmdPut2DownloadList->isEnabled());
    // A stop left over from a harvest does not end the run.
    crawler.StopHarvest = true;
    window.cmdPut2DownloadList->click();
    EXPECT_EQ(names(), QStringList({"a.jpg", "d.jpg", "b.gif", "c.png"}));
    EXPECT_EQ(window.windowTitle(), "finished filling downloadlist");
    EXPECT_FALSE(window.cmdStopFillingDownloadlist->isEnabled());
    EXPECT_EQ(optionsController.StartAddresses,
              QStringList({nginx->url("/one.html"), nginx->url("/two.html")}));
    EXPECT_TRUE(urls.rowColor(1).isValid());
    EXPECT_FALSE(urls.rowColor(2).isValid());
    // The options window's own filters are in force again: JPEG only, no
    // typed types, its own patterns.
    EXPECT_FALSE(crawler.Filters.ManualTypesOn);
    EXPECT_TRUE(crawler.Filters.TypeSlots[3].isEmpty());
    EXPECT_EQ(crawler.Filters.SearchPatterns,
              FileFilters::SplitSearchPatterns(options.txtSearchPattern->text()));

    // Stopping during the first row's crawl: that crawl ends, no further row.
    list.clear();
    urls.setText(1, nginx->url("/slow/page.html"));
    bool stopEnabled = false;
    QTimer::singleShot(200, [&] {
        stopEnabled = window.cmdStopFillingDownloadlist->isEnabled();
        window.cmdStopFillingDownloadlist->click();
    });
    window.cmdPut2DownloadList->click();
    EXPECT_TRUE(stopEnabled);
    EXPECT_EQ(names(), QStringList({"a.jpg", "d.jpg"}));
    EXPECT_EQ(window.windowTitle(), "aborted filling downloadlist by user");

    // The row being crawled is removed: the row moving into its place is
    // still crawled. A stop pressed while the runner waits to start the next
    // row's harvest sends no request for that row.
    ScriptedServer never;
    ASSERT_TRUE(never.start());
    urls.clear();
    urls.appendRows({{nginx->url("/slow/page.html")}, {nginx->url("/one.html")}, {never.url()}});
    selectOnly(urls, {1, 2, 3});
    optionsController.StartAddresses.clear();
    QTimer::singleShot(100, &window, [&] {
        urls.removeRow(1);
        crawler.StopPage = true;
    });
    QObject::connect(&urls, &QAbstractItemModel::dataChanged, &window, [&] {
        if (urls.count() == 2 && urls.rowColor(2).isValid())
            QTimer::singleShot(0, window.cmdStopFillingDownloadlist, &QPushButton::click);
    });
    window.cmdPut2DownloadList->click();
    EXPECT_EQ(optionsController.StartAddresses,
              QStringList({nginx->url("/slow/page.html"), nginx->url("/one.html"), never.url()}));
    EXPECT_EQ(never.connectionCount(), 0);
    EXPECT_EQ(window.windowTitle(), "aborted filling downloadlist by user");
}

TEST_F(ListCommandsTest, HarvestsRefuseTheRunAndTakeStartsOverUntilTheyEnd)
{
    controller.HarvestTakesStart = optionsController.AttachDownloads(engine);
    // "look in selected URLs" during a harvest is refused at once with the
    // start button's message; restarting two slow rows with one group hands
    // them to the harvest instead of holding it up.
    texts.SetLangText(4, "a harvest runs");
    urls.appendRows({{nginx->url("/one.html"), "1;0;0;0;0;", "", "", "", "", "", "", "*"}});
    selectOnly(urls, {1});
    emit window.ListView2->clicked(urls.index(0, 0));
    state.SimultaneousDownloads = 1;
    addRow("/slow/big.bin", false);
    addRow("/slow/big.bin", false);
    selectOnly(list, {1, 2});
    bool harvesting = true;
    QTimer::singleShot(100, &window, [&] {
        window.cmdPut2DownloadList->click();
        window.cmdRestartSelectedDownloads->click();
    });
    QTimer::singleShot(400, &window, [&] { crawler.StopPage = true; });
    QTimer::singleShot(3000, &window, [&] { state.StopFilling = harvesting; });
    QElapsedTimer harvest;
    harvest.start();
    {
        HarvestSession::Scope session(optionsController.Session());
        ASSERT_TRUE(crawler.StartHarvest(nginx->url("/slow/page.html")));
    }
    harvesting = false;
    EXPECT_LT(harvest.elapsed(), 2000);
    EXPECT_EQ(questions.messages, QStringList({"a harvest runs"}));
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColState), "progress");
    window.Command2->click();
    state.SimultaneousDownloads = 4;

    // "start all" pressed during the run's crawl: its pass runs once the run
    // has ended, and afterwards a loaded row starts nothing.
    QObject::connect(
        &list, &QAbstractItemModel::rowsInserted, &window,
        [&] { QTimer::singleShot(0, window.Command1, &QPushButton::click); },
        Qt::SingleShotConnection);
    window.cmdPut2DownloadList->click();
    ASSERT_EQ(names(), QStringList({"a.jpg", "d.jpg"}));
    EXPECT_NE(list.subItem(2, DownloadListModel::ColState), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.Timer1States().Busy; }, 10000));
    const int loaded = addRow("/one.html", false);
    QTest::qWait(200);
    EXPECT_EQ(list.subItem(loaded, DownloadListModel::ColState), "");
}

TEST_F(ListCommandsTest, StopAndDeleteBesideRunningDownloads)
{
    // Three parts of 1 MiB, each taking about four seconds.
    state.PartSizeKB = 1024;
    const int single = addRow("/slow/big.bin", false);
    addRow("/slow/big.bin", false); // never started
    addRow("/slow/big.bin", true);
    selectOnly(list, {1, 3});
    window.cmdRestartSelectedDownloads->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(files.PathOf("1.qvi")); }, 10000));

    // Stopping a row that never started changes nothing.
    selectOnly(list, {2});
    window.cmdStopDownload->click();
    EXPECT_EQ(list.subItem(2, DownloadListModel::ColState), "");
    EXPECT_TRUE(controller.RowIsRunning(1));
    EXPECT_TRUE(controller.RowIsRunning(3));

    // Attaching options leaves running rows alone.
    options.txtMinFileSize->setText("5");
    options.chkMultiDnl->setChecked(false);
    selectOnly(list, {1, 2, 3});
    const QString marker = list.subItem(3, DownloadListModel::ColMdnlNumber);
    ASSERT_FALSE(marker.isEmpty());
    options.cmdAttachOptions2Downloadlist->click();
    EXPECT_EQ(list.subItem(2, DownloadListModel::ColMinFileSize), "5120");
    EXPECT_EQ(list.subItem(3, DownloadListModel::ColMinFileSize), "");
    EXPECT_EQ(list.subItem(3, DownloadListModel::ColMdnlNumber), marker);

    // Deleting every row keeps the running ones, which stay served. (The
    // button is off while groups run, but a load or a crawl turns it on.)
    controller.cmdDeleteFromList_Click();
    ASSERT_EQ(list.count(), 2);
    const int multi = 2;
    EXPECT_TRUE(controller.RowIsRunning(single));
    EXPECT_TRUE(controller.RowIsRunning(multi));

    // Stopping the multi-part row stops all its parts at once.
    selectOnly(list, {multi});
    window.cmdStopDownload->click();
    EXPECT_EQ(list.subItem(multi, DownloadListModel::ColState), "aborted");
    EXPECT_FALSE(controller.RowIsRunning(multi));
    EXPECT_TRUE(controller.RowIsRunning(single));
    const int base = 11;
    for (int s = base; s < base + 10; ++s)
        EXPECT_FALSE(engine.Quarvel1(s)->IsBusy()) << s;
    const qint64 part = QFileInfo(files.PathOf("1.qvp")).size();
    QTest::qWait(400);
    EXPECT_EQ(QFileInfo(files.PathOf("1.qvp")).size(), part);
    EXPECT_TRUE(QFileInfo::exists(files.PathOf("1.qvi")));

    // The row stays a multi-part row, and restarted in the same run all its
    // parts run again.
    EXPECT_FALSE(list.subItem(multi, DownloadListModel::ColMdnlNumber).trimmed().isEmpty());
    const auto partBytes = [&] {
        qint64 bytes = 0;
        for (const QFileInfo &info : QDir(files.Folder()).entryInfoList({"*.qvp"}, QDir::Files))
            bytes += info.size();
        return bytes;
    };
    const qint64 before = partBytes();
    window.cmdRestartSelectedDownloads->click();
    EXPECT_TRUE(controller.RowIsRunning(multi));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return partBytes() > before + 100000 && engine.Quarvel1(base + 2)->IsBusy(); },
        10000));
    EXPECT_EQ(list.subItem(multi, DownloadListModel::ColState), "progress");

    // Clearing the list stops everything and empties it.
    state.LastRow = 2;
    optionsController.StartAddresses = QStringList{"x"};
    window.Command2->click();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(state.LastRow, 0);
    EXPECT_EQ(state.CurrentRow, 0);
    EXPECT_TRUE(optionsController.StartAddresses.isEmpty());
    EXPECT_FALSE(engine.Timer1States().Busy);
    EXPECT_FALSE(window.Command2->isEnabled());
    EXPECT_FALSE(window.cmdStopAllRunningDownloads->isEnabled());
}

TEST_F(ListCommandsTest, ClipboardCaptureAndTheUrlListCommands)
{
    window.Command2->setEnabled(false);
    options.chkMultiDnl->setChecked(true);
    QGuiApplication::clipboard()->setText("http://a/1.jpg http://b/2.jpg\r\nhttp://c/3.jpg\n");
    options.cmdGetFilesFromCP->setEnabled(true);
    options.cmdGetFilesFromCP->show();
    window.Command1->setEnabled(false);
    options.cmdGetFilesFromCP->click();
    EXPECT_TRUE(window.Command1->isEnabled()); // at once, not at the next tick
    EXPECT_EQ(names(), QStringList({"1.jpg", "2.jpg", "3.jpg"}));
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColMdnlNumber), "TRUE");
    EXPECT_EQ(state.LastRow, 3);
    EXPECT_FALSE(options.cmdGetFilesFromCP->isVisible());
    EXPECT_FALSE(options.cmdGetFilesFromCP->isEnabled());
    EXPECT_TRUE(window.Command2->isEnabled());

    urls.appendRows({{"u1"}, {"u2"}, {"u3"}, {"u4"}});
    selectOnly(urls, {1, 3});
    window.cmdDeleteFromURLList->click();
    EXPECT_EQ(urls.text(1), "u2");
    EXPECT_EQ(urls.text(2), "u4");
    EXPECT_FALSE(state.ListBusy);
    window.cmdClearURLList->click();
    EXPECT_EQ(urls.count(), 0);
}

TEST_F(ListCommandsTest, OpenTargetDirectoryResizeAndMouseMove)
{
    window.cmdOpenTargetDir->click();
    const int row = list.appendRow(dir.path() + "/incoming/h/a.jpg");
    window.cmdOpenTargetDir->click();
    EXPECT_EQ(opened, QStringList({settings.TargetDir, settings.TargetDir}));
    // The selected row's folder holds no file yet: a notice, nothing opened.
    list.setSelected(row, true);
    window.cmdOpenTargetDir->click();
    EXPECT_EQ(questions.messages, QStringList({"no file yet"}));
    QDir().mkpath(dir.path() + "/incoming/h");
    QFile file(dir.path() + "/incoming/h/a.jpg");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    window.cmdOpenTargetDir->click();
    EXPECT_EQ(opened.last(), dir.path() + "/incoming/h/");

    // The frames, the lists and the file-name column follow the window.
    window.resize(800, 500);
    window.show();
    QCoreApplication::processEvents();
    const int frame = window.frameDownloadList->width();
    const int view = window.ListView1->width();
    const int name = window.ListView1->columnWidth(DownloadListModel::ColFilename);
    window.resize(1400, 900);
    QCoreApplication::processEvents();
    EXPECT_GT(window.frameDownloadList->width(), frame);
    EXPECT_GT(window.frameURLList->height(), 0);
    EXPECT_GT(window.ListView1->width(), view);
    EXPECT_EQ(window.ListView1->columnWidth(DownloadListModel::ColFilename) - name,
              window.ListView1->width() - view);
    EXPECT_EQ(window.ListView1->textElideMode(), Qt::ElideMiddle);

    // A mouse move over the window makes it the active window.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &move);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

TEST_F(ListCommandsTest, QuittingEndsEveryKindOfWaitWithinASecond)
{
    state.SimultaneousDownloads = 1;
    addRow("/slow/big.bin", false);
    addRow("/slow/big.bin", false);
    urls.appendRows({{nginx->url("/slow/page.html")}, {nginx->url("/slow/page.html")}});
    selectOnly(urls, {1, 2});
    QLockFile counter(files.Folder() + "/nextnumber.lock");
    ASSERT_TRUE(counter.tryLock(0));
    const std::pair<const char *, std::function<void()>> waits[] = {
        {"list lock", [&] { window.cmdDeleteFromURLList->click(); }},
        {"page", [&] { crawler.StartHarvest(nginx->url("/slow/page.html")); }},
        {"runner", [&] { window.cmdPut2DownloadList->click(); }},
        {"free group", [&] { window.Command1->click(); }},
        {"state counter", [&] { files.GetNextNumber(1); }},
    };
    state.ListBusy = true; // held by no scope: the list lock waits for it
    emit window.ListView2->clicked(urls.index(0, 0));
    for (const auto &kindAndWait : waits) {
        QElapsedTimer waited;
        QTimer::singleShot(0, &window, [&] {
            waited.start();
            QTimer::singleShot(300, qApp, &QCoreApplication::quit);
            kindAndWait.second();
        });
        qApp->exec();
        EXPECT_LT(waited.elapsed(), 1000) << kindAndWait.first;
    }
    state.ListBusy = false;
}
