// A harvest in browser mode: the page is loaded by the embedded browser and
// its HTML read from there (offscreen, against nginx on loopback).
#include "crawler.h"
#include "downloadlistmodel.h"
#include "frmrlie.h"
#include "nginxserver.h"
#include "optionscontroller.h"
#include "quarvelshell.h"
#include "scriptedquestions.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(BrowserCrawl, PagesComeFromTheEmbeddedBrowser)
{
    NginxServer nginx;
    ASSERT_TRUE(nginx.start()) << nginx.errorText().toStdString();
    nginx.writeFile("site/index.html",
                    "<html><body><a href=\"sub/\">sub</a><img src=\"top.jpg\"></body></html>");
    nginx.writeFile("site/sub/index.html", "<html><body><a href=\"deep.jpg\">d</a></body></html>");

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
    // The harvest is over: its start command is back, the stop button gone.
    EXPECT_TRUE(shell.OptionsWindow()->Command2->isEnabled());
    EXPECT_FALSE(shell.OptionsWindow()->cmdStopDnl->isVisible());
    shell.Shutdown();
}
