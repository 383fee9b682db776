// The site crawl against an nginx-served site built here: depth and extra
// click, directory and page links, the on-site and downward rules, the
// visited list, the rows it writes, stopping, hostile addresses; and the
// options window's number buttons and attach commands.
#include "crawler.h"
#include "crawlhost.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "frmrlie.h"
#include "nginxserver.h"
#include "optionscontroller.h"
#include "programstate.h"
#include "quarvel.h"
#include "scriptedquestions.h"
#include "testcertificates.h"
#include "urllistmodel.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace
{

// The crawl's window side, recording what it is told.
class RecordingHost : public CrawlHost
{
public:
    bool BrowserFetch(const QString &, const std::function<bool()> &, QString &, QString &) override
    {
        return false;
    }
    void HarvestEnded() override { ++ended; }
    int ended = 0;
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
        nginx->writeFile("site/stop.html", page({"../slow/big.html", "sub.html", "after.jpg"}));
        nginx->writeFile("site/sub.html", page({"s.jpg"}));
        nginx->writeFile("slow/big.html", QByteArray(600 * 1024, ' '));
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
    // Anchors before images; a picture linked twice gives two rows.
    EXPECT_EQ(names(), QStringList({"a.jpg", "a.jpg"}));
    EXPECT_EQ(crawler->Depth(), 0);
    EXPECT_EQ(host.ended, 1);

    list.clear();
    crawler->Options.DoExtraClick = true;
    harvest("/site/index.html");
    // The folder link, .html and .HTM pages one click away; not deeper.
    EXPECT_EQ(names(), QStringList({"a.jpg", "g1.jpg", "p2.jpg", "p3.jpg", "a.jpg"}));
}

TEST_F(CrawlTest, DepthThreeStopsThreeLinksAway)
{
    crawler->Options.RecurseIndexDepth = 3;
    harvest("/site/index.html");
    EXPECT_EQ(names(), QStringList({"a.jpg", "g1.jpg", "d1.jpg", "p2.jpg", "p3.jpg", "a.jpg"}));
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
    EXPECT_EQ(names(), QStringList({"a.jpg", "script.php?x=1", "abs.jpg", "b.gif", "a.jpg"}));

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

TEST_F(CrawlTest, SecureSiteGivesTheRowsOfThePlainSite)
{
    crawler->Options.RecurseIndexDepth = 3;
    harvest("/site/index.html");
    const QStringList plain = rows();
    const QStringList plainVisited = crawler->Visited();
    ASSERT_GE(plain.size(), 6);

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
    ASSERT_EQ(list.count(), 3);
    for (int row = 1; row <= 3; ++row) {
        const QString file = list.text(row);
        EXPECT_TRUE(file.startsWith(settings.TargetDir)) << file.toStdString();
        EXPECT_EQ(QDir::cleanPath(file), file) << file.toStdString();
        EXPECT_LE(file.section('/', -1).toUtf8().size(), 255);
    }
    EXPECT_EQ(list.text(1), settings.TargetDir + "_/evil.jpg");
    EXPECT_EQ(list.text(2), settings.TargetDir + "h/dir_.._.._evil2.jpg");
    EXPECT_TRUE(list.text(3).endsWith(".jpg"));
}

TEST_F(CrawlTest, ShortStopSkipsThePageLongStopEndsTheHarvest)
{
    crawler->Options.JustGoDown = false;
    crawler->Options.RecurseIndexDepth = 3;
    QTimer::singleShot(400, [this] { crawler->StopPage = true; });
    harvest("/site/stop.html");
    EXPECT_EQ(names(), QStringList({"s.jpg", "after.jpg"}));

    list.clear();
    QTimer::singleShot(400, [this] {
        crawler->StopHarvest = true;
        crawler->StopPage = false;
    });
    harvest("/site/stop.html");
    // The open page finishes its remaining file links; no page is opened.
    EXPECT_EQ(names(), QStringList({"after.jpg"}));
    // A harvest while one runs is refused.
    crawler->StopHarvest = false;
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
