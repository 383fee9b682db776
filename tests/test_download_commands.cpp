// The download window's start and stop commands and its button-state tick,
// wired to a real engine, and the command that forgets the archive.
#include "downloadarchive.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadwindowcontroller.h"
#include "frmdownloaddata.h"
#include "programstate.h"
#include "scriptedquestions.h"
#include "scriptedserver.h"
#include "statefiles.h"
#include "urllistmodel.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

TEST(DownloadCommands, StartStopAndButtonStatesFollowTheGroups)
{
    QTemporaryDir dir;
    ScriptedServer server;
    ASSERT_TRUE(server.start());
    DownloadListModel list;
    UrlListModel urls;
    DownloadState state;
    StateFiles files(dir.path());
    DownloadEngine engine(list, state, files);
    frmDownloadData window(list, urls);
    ScriptedQuestions questions;
    LanguageTexts texts;
    ProgramSettings settings;
    DownloadWindowController controller(window, engine, state, questions, texts, settings);
    DownloadArchive archive(dir.path(), questions);
    engine.SetArchive(&archive);
    controller.Archive = &archive;

    // Nothing in the list: start and delete are off.
    controller.Timer1_Timer();
    EXPECT_FALSE(window.Command1->isEnabled());
    EXPECT_FALSE(window.cmdStopAllRunningDownloads->isEnabled());

    Script slow;
    slow.waitForRequest().send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab").hold();
    server.enqueue(slow);
    const int row = list.appendRow(dir.filePath("a.jpg"));
    list.setSubItem(row, DownloadListModel::ColSource, server.url("/a.jpg"));
    controller.Timer1_Timer();
    ASSERT_TRUE(window.Command1->isEnabled());
    window.Command1->click();
    EXPECT_EQ(list.subItem(row, DownloadListModel::ColState), "progress");
    // The pass has ended: both start commands are back.
    EXPECT_TRUE(window.Command1->isEnabled());
    EXPECT_TRUE(window.cmdRestartSelectedDownloads->isEnabled());
    controller.Timer1_Timer();
    EXPECT_FALSE(window.cmdDeleteFromList->isEnabled());
    EXPECT_TRUE(window.cmdStopDownload->isEnabled());
    EXPECT_TRUE(window.cmdStopAllRunningDownloads->isEnabled());

    window.cmdStopAllRunningDownloads->click();
    EXPECT_TRUE(state.StopRequested);
    EXPECT_EQ(list.subItem(row, DownloadListModel::ColState), "aborted");
    controller.Timer1_Timer();
    EXPECT_TRUE(window.Command1->isEnabled());
    EXPECT_TRUE(window.cmdDeleteFromList->isEnabled());
    EXPECT_FALSE(window.cmdStopAllRunningDownloads->isEnabled());

    // A restart of the selected row clears the stop and fetches it again.
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nabcd"));
    list.setSelected(row, true);
    window.cmdRestartSelectedDownloads->click();
    EXPECT_FALSE(state.StopRequested);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.Timer1States().Busy; }, 10000));
    EXPECT_EQ(list.subItem(row, DownloadListModel::ColState), "Done");

    // The finished file is archived; forgetting it needs a yes.
    ASSERT_TRUE(archive.Contains(server.url("/a.jpg")));
    questions.answers << Questions::Answer::No;
    window.cmdForgetArchive->click();
    EXPECT_TRUE(archive.Contains(server.url("/a.jpg")));
    window.cmdForgetArchive->click();
    EXPECT_FALSE(archive.Contains(server.url("/a.jpg")));
    EXPECT_EQ(questions.messages.size(), 2);
}
