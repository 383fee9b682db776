// The site crawl against an nginx-served site built here: depth and extra
// click, directory and page links, the on-site and downward rules, the
// visited list, the rows it writes, stopping, hostile addresses; and the
// options window's number buttons and attach commands.
#include "crawler.h"
#include "crawlhost.h"
#include "downloadarchive.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "frmrlie.h"
#include "harvestfeed.h"
#include "nginxserver.h"
#include "optionscontroller.h"
#include "programstate.h"
#include "quarvel.h"
#include "scriptedquestions.h"
#include "scriptedserver.h"
#include "testcertificates.h"
#include "urllistmodel.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <utility>

// Readable failure messages for texts and lists of texts.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace
{

// The crawl's window side, recording what it is told.
class RecordingHost : public CrawlHost
{
public:
    std::function<void()> onEnd;
    std::function<void()> onRow;
    void RowAdded() override
    {
        if (onRow) onRow();
    }
    bool BrowserFetch(const QString &, const std::function<bool()> &, QString &, QString &) override
    {
        return false;
    }
    void SetDownloadCaption(const QString &text) override { caption = text; }
    void HarvestEnded() override
    {
        ++ended;
        if (onEnd) onEnd();
    }
    int ended = 0;
    QString caption;
};

QByteArray page(const QStringList &links, const QStringList &images = {})
{
    QByteArray html = "<html><body>\r\n";
    for (const QString &l : links)
        html += "<a href=\"" + l.toUtf8() + "\">link</a>\r\n";
    for (const QString &i : images)
        html += "<img src=\"" + i.toUtf8() + "\">\r\n";
    return html + "</body></html>\r\n";
}

class CrawlTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        nginx = new NginxServer;
        // The same site over TLS, with a certificate from an authority
        // trusted for this process.
        certificates = new TestCertificates;
        ASSERT_TRUE(certificates->make()) << certificates->errorText().toStdString();
        ASSERT_EQ(Quarvel::AddTrustedCertificates(certificates->authorityFile()), 1);
        nginx->addTlsListener("tls", certificates->certificateFile(TestCertificates::Good),
                              certificates->keyFile(TestCertificates::Good));
        ASSERT_TRUE(nginx->start()) << nginx->errorText().toStdString();
        const QString abs = nginx->url("/site/abs.jpg");
        nginx->writeFile("site/index.html",
                         page({"a.jpg", "gallery", "page2.html", "PAGE3.HTM", "script.php?x=1",
                               "mailto:me@example.org", "user@host.jpg", abs, "./"},
                              {"b.gif", "a.jpg"}));
        nginx->writeFile("site/gallery/index.html", page({"g1.jpg", "deeper/", "../"}));
        nginx->writeFile("site/gallery/deeper/index.html", page({"d1.jpg", "deepest/"}));
        nginx->writeFile("site/gallery/deeper/deepest/index.html", page({"x.jpg"}));
        nginx->writeFile("site/page2.html", page({"p2.jpg", "index.html"}));
        nginx->writeFile("site/PAGE3.HTM", page({"p3.jpg"}));
        nginx->writeFile("site/stop.html",
                         page({"../slow/big.html", "sub.html", "../slow/big2.html", "after.jpg"}));
        nginx->writeFile("slow/big2.html", QByteArray(600 * 1024, ' '));
        nginx->writeFile("site/sub.html", page({"s.jpg"}));
        nginx->writeFile("slow/big.html", QByteArray(600 * 1024, ' '));
        // A site typed with another host case and "%7E", a relative base,
        // off-site links in disguise, a gallery linking each picture twice,
        // and pages in Latin-1 (announced by the server, and not announced).
        nginx->writeFile("g~x/index.html",
                         "<a href=\"../\">up</a><a href=\"./\">self</a><a href=\"sub/\">s</a>"
                         "<a href=\"/latin1/\">l</a><a href=\"plain.html\">p</a>"
                         "<a href=\"//elsewhere.test/x.jpg\">x</a>"
                         "<a href=\" HTTP://elsewhere.test/y.jpg\">y</a>"
                         "<a href=\"p.jpg\"><img src=\"p.jpg\"></a>");
        nginx->writeFile("g~x/p.jpg", "jpeg");
        nginx->writeFile("g~x/sub/index.html",
                         "<a href=\"../\">up</a><base href=\"/\"><img src=\"img/a.jpg\">");
        nginx->writeFile("latin1/index.html", "<img src=\"gr\xF6\xDF"
                                              "e.jpg\">");
        nginx->writeFile("g~x/plain.html", "<img src=\"caf\xE9.jpg\">");
        // Eight pages linking each other in a ring and across it, each with a
        // picture of its own before those links, a folder link that is
        // redirected, and a picture that every page shows.
        for (int k = 0; k < 8; ++k) {
            const QString n = QString::number(k);
            nginx->writeFile(
                QString("ring/n%1.html").arg(k),
                page({"p" + n + ".jpg", QString("n%1.html").arg((k + 1) % 8),
                      QString("n%1.html").arg((k + 3) % 8), "d" + n, "../ring/shared.jpg"},
                     {"shared.jpg", "p" + n + ".jpg"}));
            nginx->writeFile(
                QString("ring/d%1/index.html").arg(k),
                page({"../n" + QString::number((k + 5) % 8) + ".html", "q" + n + ".jpg"}));
        }
        // A tree: the crawl goes index, p1, p3, p4, p2.
        nginx->writeFile("flat/index.html", page({"p1.html", "p2.html"}));
        nginx->writeFile("flat/p1.html", page({"p3.html", "p4.html"}));
        for (const char *leaf : {"flat/p2.html", "flat/p3.html", "flat/p4.html"})
            nginx->writeFile(leaf, page({}));
        nginx->writeFile("dup/index.html", page({"one.jpg", "two.jpg"}));
        nginx->writeFile("dup/one.jpg", "one picture");
        nginx->writeFile("dup/two.jpg", "one picture");
        nginx->writeFile("site/hostile.html",
                         page({"http://../evil.jpg", "http://h/dir\\..\\..\\evil2.jpg",
                               "http://h/" + QString(400, 'n') + ".jpg"}));
    }
    static void TearDownTestSuite()
    {
        delete nginx;
        delete certificates;
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings.TargetDir = dir.path() + "/incoming/";
        QDir().mkpath(dir.path() + "/qvtemp");
        files = std::make_unique<StateFiles>(dir.path() + "/qvtemp");
        engine = std::make_unique<DownloadEngine>(list, state, *files);
        crawler = std::make_unique<Crawler>(*engine->Quarvel1(0), list, state, settings,
                                            dir.path() + "/qvtemp", "120000", host);
        crawler->Options.UniqueFilename = false;
        crawler->Filters.SearchPatterns = QStringList({"*"});
    }
    QStringList names() const
    {
        QStringList out;
        for (int row = 1; row <= list.count(); ++row)
            out << list.text(row).section('/', -1);
        return out;
    }
    void harvest(const QString &path) { ASSERT_TRUE(crawler->StartHarvest(nginx->url(path))); }

    // Every row's ten columns, one text a row.
    QStringList rows() const
    {
        QStringList out;
        for (int row = 1; row <= list.count(); ++row) {
            QStringList cells{list.text(row)};
            for (int c = 1; c < DownloadListModel::DownloadColumnCount; ++c)
                cells << list.subItem(row, c);
            out << cells.join('|');
        }
        return out;
    }

    static NginxServer *nginx;
    static TestCertificates *certificates;
    QTemporaryDir dir;
    ProgramSettings settings;
    DownloadListModel list;
    DownloadState state;
    RecordingHost host;
    std::unique_ptr<StateFiles> files;
    std::unique_ptr<DownloadEngine> engine;
    std::unique_ptr<Crawler> crawler;
};
NginxServer *CrawlTest::nginx = nullptr;
TestCertificates *CrawlTest::certificates = nullptr;

} // namespace

TEST_F(CrawlTest, DepthOneWithAndWithoutTheExtraClick)
{
    crawler->Options.DoExtraClick = false;
    harvest("/site/index.html");
    // Anchors before images; a picture linked twice gives one row.
    EXPECT_EQ(names(), QStringList({"a.jpg"}));
    EXPECT_EQ(crawler->Depth(), 0);
    EXPECT_EQ(host.ended, 1);

    list.clear();
    crawler->Options.DoExtraClick = true;
    harvest("/site/index.html");
    // The folder link, .html and .HTM pages one click away; not deeper.
    EXPECT_EQ(names(), QStringList({"a.jpg", "g1.jpg", "p2.jpg", "p3.jpg"}));
}

TEST_F(CrawlTest, DepthThreeStopsThreeLinksAway)
{
    crawler->Options.RecurseIndexDepth = 3;
    harvest("/site/index.html");
    EXPECT_EQ(names(), QStringList({"a.jpg", "g1.jpg", "d1.jpg", "p2.jpg", "p3.jpg"}));
    // The folder link was redirected to its "/" form; that address is visited.
    EXPECT_TRUE(crawler->Visited().contains(nginx->url("/site/gallery")));
    EXPECT_TRUE(crawler->Visited().contains(nginx->url("/site/gallery/deeper/")));
    // page2's link back to the start page is not crawled again.
    EXPECT_EQ(crawler->Visited().count(nginx->url("/site/index.html")), 1);
}

TEST_F(CrawlTest, FiltersOnSiteAndDownwardRules)
{
    crawler->Options.StayOnsite = false;
    crawler->Options.DoExtraClick = false;
    crawler->Filters.ManualTypes = QStringList({"php"});
    crawler->Filters.ManualTypesOn = true;
    crawler->Filters.SetBox(1, true); // gif
    harvest("/site/index.html");
    // .php is a file link; "@" links are neither followed nor collected; the
    // absolute link counts once on-site rules are off.
    EXPECT_EQ(names(), QStringList({"a.jpg", "script.php?x=1", "abs.jpg", "b.gif"}));

    // Going up ("../" from the gallery) only without the downward rule.
    list.clear();
    crawler->Options.RecurseIndexDepth = 2;
    crawler->Options.DoExtraClick = true;
    harvest("/site/gallery/");
    EXPECT_FALSE(crawler->Visited().contains(nginx->url("/site/")));
    crawler->Options.JustGoDown = false;
    harvest("/site/gallery/");
    EXPECT_TRUE(crawler->Visited().contains(nginx->url("/site/")));
}

TEST_F(CrawlTest, RowsCarryTheTenColumnsAndTheVisitedListRestartsPerHarvest)
{
    crawler->Options.DoExtraClick = false;
    crawler->Options.UniqueFilename = true;
    crawler->MinFileSizeText = "10";
    harvest("/site/page2.html");
    ASSERT_EQ(list.count(), 1);
    const QString host = QString("127.0.0.1_%1").arg(nginx->port());
    const QString file = list.text(1);
    EXPECT_TRUE(QRegularExpression("^" +
                                   QRegularExpression::escape(settings.TargetDir + host + "/") +
                                   "\\d{6}_p2\\.jpg$")
                    .match(file)
                    .hasMatch())
        << file.toStdString();
    const QStringList expected = {
        "",   "0/0 bytes", "",     nginx->url("/site/p2.jpg"),    settings.TargetDir,
        host, "10240",     "TRUE", nginx->url("/site/page2.html")};
    for (int c = 1; c <= 9; ++c)
        EXPECT_EQ(list.subItem(1, c), expected[c - 1]) << c;
    EXPECT_EQ(state.LastRow, 1);

    // A second harvest crawls the same pages again.
    crawler->Options.DoExtraClick = true;
    harvest("/site/page2.html");
    harvest("/site/page2.html");
    EXPECT_EQ(names().filter("p2.jpg").size(), 3);
}

TEST_F(CrawlTest, AddressesAreComparedInOneFormAndRowsAreUniquePerHarvest)
{
    crawler->Options.RecurseIndexDepth = 3;
    const QString typed = QString("http://LocalHost:%1/g%7Ex/").arg(nginx->port());
    ASSERT_TRUE(crawler->StartHarvest(typed));
    const QString site = QString("http://localhost:%1").arg(nginx->port());
    // Neither "../" nor "./" is followed; the base "/" counts from the page;
    // Latin-1 letters survive; off-site links are skipped; p.jpg gives one row.
    EXPECT_EQ(crawler->Visited(), QStringList({site + "/g~x/", site + "/g~x/sub/",
                                               site + "/latin1/", site + "/g~x/plain.html"}));
    QStringList sources;
    for (int row = 1; row <= list.count(); ++row)
        sources << list.subItem(row, DownloadListModel::ColSource);
    EXPECT_EQ(sources, QStringList({site + "/img/a.jpg", site + "/latin1/gr%C3%B6%C3%9Fe.jpg",
                                    site + "/g~x/caf%C3%A9.jpg", site + "/g~x/p.jpg"}));
    EXPECT_EQ(host.caption, "finished harvest: 4 pages, 4 files");

    // The one-row rule holds within a harvest; the next one adds p.jpg again.
    crawler->Options.RecurseIndexDepth = 1;
    crawler->Options.DoExtraClick = false;
    ASSERT_TRUE(crawler->StartHarvest(typed));
    EXPECT_EQ(list.subItem(list.count(), DownloadListModel::ColSource), site + "/g~x/p.jpg");
    EXPECT_EQ(list.count(), 5);
}

TEST_F(CrawlTest, TheTitleTellsWhyTheStartPageGaveNothing)
{
    int failures = 0;
    crawler->StartFailed = [&failures](const QString &) { ++failures; };
    harvest("/g~x/missing.html");
    EXPECT_EQ(host.caption, nginx->url("/g~x/missing.html") + ": HTTP status 404");
    harvest("/g~x/p.jpg");
    EXPECT_EQ(host.caption, nginx->url("/g~x/p.jpg") + ": not an HTML page (image/jpeg)");
    ASSERT_TRUE(crawler->StartHarvest("http://127.0.0.1:1/"));
    EXPECT_TRUE(host.caption.startsWith("http://127.0.0.1:1/: ")) << host.caption.toStdString();
    EXPECT_GT(host.caption.size(), 22);
    // No working address yet: the harvest ends at once, also with pages
    // fetched ahead.
    ASSERT_TRUE(crawler->Prefetch);
    ASSERT_TRUE(crawler->StartHarvest(QString()));
    EXPECT_TRUE(host.caption.startsWith(": ")) << host.caption.toStdString();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(host.ended, 4);
    // Each failure of a start page is also reported for a message.
    EXPECT_EQ(failures, 4);
}

TEST_F(CrawlTest, PagesWaitForAServerThatAsksToWait)
{
    ScriptedServer server;
    ASSERT_TRUE(server.start());
    server.enqueue(Script::reply("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\n"
                                 "Content-Length: 0\r\n\r\n"));
    const QByteArray body = "<img src=\"w.jpg\">";
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                 QByteArray::number(body.size()) + "\r\n\r\n" + body));
    crawler->Waits = &engine->Waits();
    engine->Waits().FirstBackOffMs = 50;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(crawler->StartHarvest(server.url("/w/")));
    EXPECT_GE(clock.elapsed(), 950);
    EXPECT_EQ(server.connectionCount(), 2);
    EXPECT_EQ(names(), QStringList({"w.jpg"}));
}

TEST_F(CrawlTest, SecureSiteGivesTheRowsOfThePlainSite)
{
    crawler->Options.RecurseIndexDepth = 3;
    harvest("/site/index.html");
    const QStringList plain = rows();
    const QStringList plainVisited = crawler->Visited();
    ASSERT_GE(plain.size(), 5);

    list.clear();
    state.LastRow = 0;
    ASSERT_TRUE(crawler->StartHarvest(nginx->tlsUrl("tls", "/site/index.html")));
    // Apart from scheme and port, the same rows in the same order, and the
    // same pages visited.
    const auto asPlain = [](QStringList texts) {
        const QString tlsPort = QString::number(nginx->tlsPort("tls"));
        const QString port = QString::number(nginx->port());
        texts.replaceInStrings("https://127.0.0.1:" + tlsPort, "http://127.0.0.1:" + port);
        texts.replaceInStrings("127.0.0.1_" + tlsPort, "127.0.0.1_" + port);
        return texts;
    };
    EXPECT_EQ(asPlain(rows()), plain);
    EXPECT_EQ(asPlain(crawler->Visited()), plainVisited);
    EXPECT_TRUE(rows().first().contains("|https://127.0.0.1:")) << rows().first().toStdString();

    // The downward rule looks past the scheme, whatever its letter case.
    const QString up = QString("HTTPS://127.0.0.1:%1/site/").arg(nginx->tlsPort("tls"));
    nginx->writeFile("site/gallery/up.html", page({up}));
    crawler->Options.StayOnsite = false;
    crawler->Options.RecurseIndexDepth = 2;
    ASSERT_TRUE(crawler->StartHarvest(nginx->tlsUrl("tls", "/site/gallery/up.html")));
    EXPECT_EQ(crawler->Visited().size(), 1);
}

TEST_F(CrawlTest, HostileAddressesStayInsideTheTargetFolder)
{
    crawler->Options.StayOnsite = false;
    harvest("/site/hostile.html");
    // "http://../" names no host: no row.
    ASSERT_EQ(list.count(), 2);
    for (int row = 1; row <= 2; ++row) {
        const QString file = list.text(row);
        EXPECT_TRUE(file.startsWith(settings.TargetDir)) << file.toStdString();
        EXPECT_EQ(QDir::cleanPath(file), file) << file.toStdString();
        EXPECT_LE(file.section('/', -1).toUtf8().size(), 255);
    }
    EXPECT_EQ(list.text(1), settings.TargetDir + "h/dir%5C..%5C..%5Cevil2.jpg");
    EXPECT_TRUE(list.text(2).endsWith(".jpg"));
}

TEST_F(CrawlTest, PrefetchKeepsEveryDecision)
{
    crawler->Options.JustGoDown = false;
    crawler->Options.RecurseIndexDepth = 4;
    QList<QStringList> rows[2];
    QStringList visited[2];
    // A short stop press while the third row is written skips the next page
    // the crawl reaches, fetched ahead (the pause lets it arrive) or not.
    int added = 0;
    host.onRow = [&] {
        if (++added != 3) return;
        QTest::qWait(200);
        crawler->StopPage = true;
    };
    for (int prefetch = 0; prefetch < 2; ++prefetch) {
        crawler->Prefetch = prefetch == 1;
        list.clear();
        state.LastRow = 0;
        added = 0;
        harvest("/ring/n0.html");
        for (int row = 1; row <= list.count(); ++row) {
            QStringList cells{list.text(row)};
            for (int c = 1; c <= 9; ++c)
                cells << list.subItem(row, c);
            rows[prefetch] << cells;
        }
        visited[prefetch] = crawler->Visited();
    }
    EXPECT_EQ(rows[1], rows[0]);
    EXPECT_EQ(visited[1], visited[0]);
    EXPECT_EQ(visited[0].size(), 12);
    EXPECT_EQ(crawler->Prefetched().Pending(), 0);
    EXPECT_TRUE(QDir(dir.path() + "/qvtemp").entryList(QDir::Files).isEmpty());
}

TEST_F(CrawlTest, PagesFetchedAheadOverOneConnectionAreAskedForInTheCrawlsOrder)
{
    state.SimultaneousDownloads = 1;
    crawler->Options.RecurseIndexDepth = 3;
    const qsizetype before = nginx->tlsLog().size();
    ASSERT_TRUE(crawler->StartHarvest(nginx->tlsUrl("tls", "/flat/index.html")));
    const QStringList order{"/flat/index.html", "/flat/p1.html", "/flat/p3.html", "/flat/p4.html",
                            "/flat/p2.html"};
    // The server writes a request's line once it has answered it.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return nginx->tlsLog().size() >= before + order.size(); }, 2000));
    QStringList requested;
    for (const QString &line : nginx->tlsLog().mid(before))
        requested << line.section(' ', 3, 3);
    EXPECT_EQ(requested, order);
}

TEST_F(CrawlTest, RowsStartDownloadingWhileTheCrawlAddsThem)
{
    crawler->Options.JustGoDown = false;
    crawler->Options.RecurseIndexDepth = 4;
    state.SimultaneousDownloads = 2;
    HarvestFeed feed(*engine, list, state);
    int startedBeforeTheEnd = 0;
    host.onEnd = [&] {
        for (int row = 1; row <= list.count(); ++row)
            if (!list.subItem(row, DownloadListModel::ColState).isEmpty()) ++startedBeforeTheEnd;
    };
    feed.Begin();
    harvest("/ring/n0.html");
    feed.End();
    // The feed never waits for a group inside the harvest; the pass after it
    // takes the rest.
    EXPECT_GT(startedBeforeTheEnd, 0);
    engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !engine->Timer1States().Busy; }, 20000));
    for (int row = 1; row <= list.count(); ++row)
        EXPECT_FALSE(list.subItem(row, DownloadListModel::ColState).isEmpty()) << row;
}

TEST_F(CrawlTest, TheArchiveSkipsAddressesDownloadedBeforeAndNamesEqualContent)
{
    ScriptedQuestions questions;
    DownloadArchive archive(dir.path(), questions);
    engine->SetArchive(&archive);
    crawler->Archive = &archive;
    crawler->MinFileSizeText = "0";
    state.SimultaneousDownloads = 1;
    harvest("/dup/index.html");
    ASSERT_EQ(names(), QStringList({"one.jpg", "two.jpg"}));
    engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !engine->Timer1States().Busy; }, 20000));
    archive.Flush();
    // Both files are kept; the second names the first.
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColState), "Done");
    EXPECT_EQ(list.subItem(2, DownloadListModel::ColState), "Done (same as one.jpg)");
    EXPECT_TRUE(QFileInfo::exists(list.text(2)));

    harvest("/dup/index.html");
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(host.caption, "finished harvest: 1 pages, 0 files, 2 downloaded before (skipped)");
    settings.SkipDownloaded = false;
    harvest("/dup/index.html");
    EXPECT_EQ(list.count(), 4);
    EXPECT_TRUE(questions.messages.isEmpty());
}

TEST_F(CrawlTest, TheStartCommandDuringAHarvestIsTakenOverByIt)
{
    UrlListModel urls;
    ScriptedQuestions questions;
    LanguageTexts texts;
    frmRLIE window;
    OptionsController c(window, *crawler, state, settings, urls, list, questions, texts,
                        [] { return nginx->url("/ring/n0.html"); });
    window.txtIndexDepth->setText("3");
    c.cmdUpIndex_Click(); // depth 4
    window.chkJustGoDown->setChecked(false);
    const auto attached = c.AttachDownloads(*engine);
    const auto takesStart = [&attached] { return attached(false, {}); };
    int taken = -1;
    // Pressed at the harvest's first yield.
    QTimer::singleShot(0, [&] { taken = takesStart() ? 1 : 0; });
    window.Command2->click();
    // The full pass ran once the harvest was over: every row has started.
    EXPECT_EQ(taken, 1);
    ASSERT_GT(list.count(), 10);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !engine->Timer1States().Busy; }, 20000));
    for (int row = 1; row <= list.count(); ++row)
        EXPECT_FALSE(list.subItem(row, DownloadListModel::ColState).isEmpty()) << row;
    EXPECT_FALSE(takesStart());
}

TEST_F(CrawlTest, ShortStopSkipsThePageLongStopEndsTheHarvest)
{
    crawler->Options.JustGoDown = false;
    crawler->Options.RecurseIndexDepth = 3;
    const QDir temp(dir.path() + "/qvtemp");
    // The press comes while big.html is awaited and big2.html fetched ahead.
    int runningAtPress = 0;
    QTimer::singleShot(400, [&] {
        runningAtPress = crawler->Prefetched().Running();
        crawler->StopPage = true;
    });
    harvest("/site/stop.html");
    EXPECT_EQ(runningAtPress, 2);
    EXPECT_EQ(names(), QStringList({"s.jpg", "after.jpg"}));
    EXPECT_EQ(crawler->Prefetched().Pending(), 0);
    EXPECT_TRUE(temp.entryList(QDir::Files).isEmpty()) << temp.entryList().join(' ').toStdString();

    list.clear();
    QTimer::singleShot(400, [&] {
        runningAtPress = crawler->Prefetched().Running();
        crawler->StopHarvest = true;
        crawler->StopPage = false;
    });
    harvest("/site/stop.html");
    // The open page finishes its remaining file links; no page is opened,
    // and no fetch ahead is left running or on disk.
    EXPECT_EQ(runningAtPress, 2);
    EXPECT_EQ(names(), QStringList({"after.jpg"}));
    // The title says the harvest was stopped, not finished.
    EXPECT_EQ(host.caption, "stopped harvest: 2 pages, 1 files");
    EXPECT_EQ(crawler->Progress().State, HarvestProgress::Stage::Stopped);
    EXPECT_EQ(crawler->Prefetched().Running(), 0);
    EXPECT_EQ(crawler->Prefetched().Pending(), 0);
    EXPECT_TRUE(temp.entryList(QDir::Files).isEmpty()) << temp.entryList().join(' ').toStdString();
    // A harvest while one runs is refused, also from the first yield.
    crawler->StopHarvest = false;
    bool nested = true;
    QTimer::singleShot(0, [&] { nested = crawler->StartHarvest(nginx->url("/site/sub.html")); });
    harvest("/site/sub.html");
    EXPECT_FALSE(nested);
    QTimer::singleShot(100, [this] {
        EXPECT_FALSE(crawler->StartHarvest(nginx->url("/site/index.html")));
        crawler->StopPage = true;
    });
    harvest("/site/stop.html");
}

TEST(OptionsWindow, NumberButtonsKeepTheirLimitsAndAttachWritesTheColumns)
{
    QTemporaryDir dir;
    ProgramSettings settings;
    settings.TargetDir = dir.path() + "/";
    DownloadListModel list;
    UrlListModel urls;
    DownloadState state;
    StateFiles files(dir.path());
    DownloadEngine engine(list, state, files);
    RecordingHost host;
    Crawler crawler(*engine.Quarvel1(0), list, state, settings, dir.path(), "000000", host);
    ScriptedQuestions questions;
    LanguageTexts texts;
    frmRLIE window;
    OptionsController c(window, crawler, state, settings, urls, list, questions, texts,
                        [] { return QString(); });

    window.txtSimultaneousDownloads->setText("20");
    c.cmdUp_Click();
    EXPECT_EQ(window.txtSimultaneousDownloads->text(), "20");
    EXPECT_EQ(state.SimultaneousDownloads, 20);
    window.txtSimultaneousDownloads->setText("1");
    c.cmdDown_Click();
    EXPECT_EQ(state.SimultaneousDownloads, 1);
    window.txtIndexDepth->setText("1");
    c.cmdDownIndex_Click();
    EXPECT_EQ(window.txtIndexDepth->text(), "1");
    window.txtIndexDepth->setText("9");
    c.cmdUpIndex_Click();
    EXPECT_EQ(crawler.Options.RecurseIndexDepth, 10);

    window.Check1[0]->setChecked(true);
    window.Check1[2]->setChecked(true);
    window.Check1[4]->setChecked(false);
    window.txtMinFileSize->setText("10");
    urls.appendRow("http://host/");
    urls.setSelected(1, true);
    list.appendRow("/dl/x.jpg");
    list.setSubItem(1, DownloadListModel::ColMdnlNumber, "17");
    list.setSelected(1, true);
    c.cmdAttachOptions2URLList_Click();
    c.cmdAttachOptions2Downloadlist_Click();
    EXPECT_EQ(urls.subItem(1, UrlListModel::ColFileTypes), "1;0;1;0;0;");
    EXPECT_EQ(urls.subItem(1, UrlListModel::ColMinFileSize), "10");
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColMinFileSize), "10240");
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColMdnlNumber), "TRUE");

    // The modern-pictures box and the per-server limit write the settings.
    EXPECT_TRUE(window.chkModernPictures->isChecked());
    window.chkModernPictures->setChecked(false);
    window.txtPerServer->setText("3");
    EXPECT_FALSE(settings.ModernPictures);
    EXPECT_EQ(settings.PerServer, 3);
    EXPECT_EQ(state.PerServer, 3);

    // The folder dialog's choice gets its closing "/".
    questions.folders = {"/data/load"};
    c.cmdTargetDir_Click();
    EXPECT_EQ(settings.TargetDir, "/data/load/");
    // Stop presses: under four seconds the page, from four the harvest.
    c.StopPress(3999);
    EXPECT_TRUE(crawler.StopPage);
    EXPECT_FALSE(crawler.StopHarvest);
    c.StopPress(4000);
    EXPECT_TRUE(crawler.StopHarvest);
    EXPECT_FALSE(crawler.StopPage);
}
