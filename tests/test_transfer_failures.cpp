// How transfers fail: every failure is one Failed event raised from the event
// loop, nothing is stored from error answers, a truncated body is never
// Finished, and a local abort raises nothing at all.
#include "filebytes.h"
#include "localfilenames.h"
#include "quarvel.h"
#include "scriptedserver.h"
#include "transferrecorder.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

class FailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(dir.isValid());
        target = dir.filePath("out.jpg");
    }
    void get(const Script &script, qint64 start = 0, qint64 end = 0)
    {
        server.enqueue(script);
        rec.events.clear();
        ASSERT_TRUE(q.StartDownload(server.url("/f.jpg"), target, 0, true, start, end, false, {}));
        ASSERT_TRUE(rec.waitForEnd());
    }

    ScriptedServer server;
    QTemporaryDir dir;
    QString target;
    Quarvel q;
    TransferRecorder rec{q};
};

// A loopback port with nothing listening.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

} // namespace

TEST_F(FailureTest, ErrorStatusWritesNothing)
{
    get(Script::reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_TRUE(rec.last().contains("404"));
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(FailureTest, WholeFileForARangeRequestWritesNothing)
{
    get(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789"), 5, 9);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(FailureTest, TruncatedBodyIsNeverFinished)
{
    get(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_TRUE(rec.last().contains("4 of 10")) << rec.last().toStdString();
    // What did arrive stays, for a later resume.
    EXPECT_EQ(readAll(target), "0123");

    QFile::remove(target);
    get(Script::reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabc"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));

    get(Script::reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
}

TEST_F(FailureTest, ClosedWithoutAnswerOrInsideTheHeaderFails)
{
    Script none;
    none.waitForRequest().close();
    get(none);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));

    get(Script::reply("HTTP/1.1 200 OK\r\nContent-Le"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_FALSE(QFile::exists(target));

    get(Script::reply("SSH-2.0-OpenSSH\r\n\r\n"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(FailureTest, RefusedPortAndUnusableAddressesFailLater)
{
    const QString refused = QStringLiteral("http://127.0.0.1:%1/a.jpg").arg(closedPort());
    const QStringList addresses = {refused, "https://127.0.0.1/a.jpg", "http://u:p@127.0.0.1/a",
                                   "http://a b/c.jpg", "http://127.0.0.1:0/"};
    for (const QString &address : addresses) {
        rec.events.clear();
        ASSERT_TRUE(q.StartDownload(address, target, 0, true, 0, 0, false, {}));
        // Never from inside StartDownload itself.
        EXPECT_TRUE(rec.events.isEmpty()) << address.toStdString();
        ASSERT_TRUE(rec.waitForEnd()) << address.toStdString();
        EXPECT_EQ(rec.milestones(), QStringList({"Failed"})) << address.toStdString();
        EXPECT_FALSE(q.IsBusy());
    }
}

TEST_F(FailureTest, StallAndConnectTimeoutsFail)
{
    q.SetStallTimeout(800);
    Script stall;
    stall.waitForRequest().send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n01").hold();
    get(stall);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_TRUE(rec.last().contains("no data"));

    // Data that keeps coming is no stall: every read restarts the time-out,
    // so a trickle longer in total than the limit, each gap well below it,
    // finishes.
    QFile::remove(target);
    Script trickle;
    trickle.waitForRequest().send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n");
    for (int i = 0; i < 8; ++i)
        trickle.pause(200).send("x");
    get(trickle);
    EXPECT_EQ(rec.last(), "Finished");
    EXPECT_EQ(readAll(target), "xxxxxxxx");

    // A listener whose accept queue is full drops further connection
    // attempts: the connect time-out ends the transfer.
    QTcpServer full;
    full.setListenBacklogSize(0);
    ASSERT_TRUE(full.listen(QHostAddress::LocalHost, 0));
    full.pauseAccepting();
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 8; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, full.serverPort());
    }
    // Once the first filler sits in the queue the queue is full.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto &f : fillers)
                if (f->state() == QAbstractSocket::ConnectedState) return true;
            return false;
        },
        5000));
    q.SetConnectTimeout(500);
    rec.events.clear();
    ASSERT_TRUE(q.StartDownload(QStringLiteral("http://127.0.0.1:%1/").arg(full.serverPort()),
                                target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(rec.waitForEnd(20000));
    EXPECT_EQ(rec.milestones(), QStringList({"Failed"}));
    EXPECT_TRUE(rec.last().contains("no connection")) << rec.last().toStdString();
}

TEST_F(FailureTest, TooManyRedirectsAndRedirectsAwayFromHttpAndHttpsFail)
{
    server.enqueue(Script::reply("HTTP/1.1 302 Found\r\nLocation: /again\r\n\r\n"));
    get(Script::reply("HTTP/1.1 302 Found\r\nLocation: /again\r\n\r\n"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    EXPECT_EQ(server.connectionCount(), 6);

    get(Script::reply("HTTP/1.1 301 Moved\r\nLocation: ftp://127.0.0.1/x\r\n\r\n"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
}

TEST_F(FailureTest, UnwritableLocalFileFailsAndAbortsTheTransfer)
{
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"));
    ASSERT_TRUE(q.StartDownload(server.url("/a"), dir.filePath("missing/dir/out.jpg"), 0, true, 0,
                                0, false, {}));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
}

TEST_F(FailureTest, AbortRaisesNothingAndFreesTheInstance)
{
    Script slow;
    slow.waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n01")
        .pause(200)
        .send("23");
    server.enqueue(slow);
    ASSERT_TRUE(q.StartDownload(server.url("/a"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.contains("Progress 2 10"); }, 5000));
    q.AbortDownload();
    EXPECT_FALSE(q.IsBusy());
    EXPECT_FALSE(LocalFileNames::IsHeld(target));
    // The server's next bytes go out 200 ms later; wait well past them.
    QTest::qWait(600);
    EXPECT_EQ(rec.milestones(), QStringList({"Started"}));
    EXPECT_EQ(rec.last(), "Progress 2 10");
    EXPECT_EQ(readAll(target), "01");

    // Aborted while connecting, and aborted right after a failure was found:
    // still nothing.
    rec.events.clear();
    ASSERT_TRUE(q.StartDownload(server.url("/a"), target, 0, true, 0, 0, true, {}));
    q.AbortDownload();
    ASSERT_TRUE(q.StartDownload("https://127.0.0.1/", target, 0, true, 0, 0, true, {}));
    q.AbortDownload();
    QTest::qWait(300);
    EXPECT_TRUE(rec.events.isEmpty()) << rec.events.join(';').toStdString();

    // A new start supersedes a running transfer silently.
    server.enqueue(slow);
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nzz"));
    ASSERT_TRUE(q.StartDownload(server.url("/a"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() >= 2; }, 5000));
    rec.events.clear();
    ASSERT_TRUE(q.StartDownload(server.url("/b"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(rec.waitForEnd());
    QTest::qWait(600);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(rec.events.at(rec.events.size() - 2), "Progress 2 2");
}
