// A harvest in browser mode: the page is loaded by the embedded browser and
// its HTML read from there (offscreen, against nginx on loopback).
#include "cookiejar.h"
#include "crawler.h"
#include "downloadlistmodel.h"
#include "frmdownloaddata.h"
#include "frmrlie.h"
#include "frmwebbrowser.h"
#include "nginxserver.h"
#include "optionscontroller.h"
#include "quarvelshell.h"
#include "scriptedquestions.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <gtest/gtest.h>

TEST(BrowserCrawl, PagesComeFromTheEmbeddedBrowserLoadedAsRequested)
{
    NginxServer nginx;
    ASSERT_TRUE(nginx.start()) << nginx.errorText().toStdString();
    // "sub" is redirected to "sub/" within its load.
    nginx.writeFile("site/index.html",
                    "<html><body><a href=\"sub\">sub</a><img src=\"top.jpg\"></body></html>");
    nginx.writeFile("site/sub/index.html", "<html><body><a href=\"deep.jpg\">d</a></body></html>");
    nginx.writeFile("site/other.html", "<html><body><img src=\"other.jpg\"></body></html>");

    QTemporaryDir dir;
    ScriptedQuestions questions;
    QuarvelShell shell(dir.path(), QStringLiteral(QUARVEL_LANG_DAT), questions, "0.1.0");
    ASSERT_EQ(shell.Start(QRect(0, 0, 28800, 15600)), QuarvelShell::StartResult::Started);
    shell.OptionsWindow()->chkViewBrowser->setChecked(true);
    shell.WorkingAddress().RLText = nginx.url("/site/index.html");
    shell.OptionsWindow()->Command2->click();

    ASSERT_EQ(shell.Downloads().count(), 2) << questions.messages.join('|').toStdString();
    EXPECT_TRUE(shell.Downloads().text(1).endsWith("deep.jpg"));
    EXPECT_TRUE(shell.Downloads().text(2).endsWith("top.jpg"));
    EXPECT_EQ(shell.Downloads().subItem(1, DownloadListModel::ColSource),
              nginx.url("/site/sub/deep.jpg"));
    // The harvest is over: its start command is back, the stop button gone,
    // the download window's title tells the outcome.
    EXPECT_TRUE(shell.OptionsWindow()->Command2->isEnabled());
    EXPECT_FALSE(shell.OptionsWindow()->cmdStopDnl->isVisible());
    EXPECT_EQ(shell.DownloadWindow()->windowTitle(), "Sammeln beendet: 2 Seiten, 2 Dateien");

    // A cookie the browser's store takes reaches the jar of the harvests,
    // with the browser's user agent.
    QWebEngineProfile *profile = shell.BrowserWindow()->WebBrowser1->page()->profile();
    profile->cookieStore()->setCookie(QNetworkCookie("login", "yes"), QUrl(nginx.url("/")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return shell.BrowserCookies().CookieValue(nginx.url("/site/")) == "login=yes"; }));
    EXPECT_EQ(shell.BrowserCookies().UserAgent, profile->httpUserAgent());

    // The user navigates elsewhere while the subpage loads: that load is not
    // the subpage, which is passed over.
    QWebEngineView *view = shell.BrowserWindow()->WebBrowser1;
    const QUrl other(nginx.url("/site/other.html"));
    QObject::connect(view->page(), &QWebEnginePage::loadingChanged, view,
                     [view, other](const QWebEngineLoadingInfo &info) {
                         if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus &&
                             info.url().path() == "/site/sub")
                             QTimer::singleShot(0, view, [view, other] { view->load(other); });
                     });
    shell.OptionsWindow()->Command2->click();
    ASSERT_EQ(shell.Downloads().count(), 3) << shell.Downloads().text(3).toStdString();
    EXPECT_TRUE(shell.Downloads().text(3).endsWith("top.jpg"));
    EXPECT_EQ(shell.DownloadWindow()->windowTitle(), "Sammeln beendet: 1 Seiten, 1 Dateien");
    shell.Shutdown();
}
