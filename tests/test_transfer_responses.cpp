// How the control reads answers: header recognition in any number of reads,
// bodies by length, by close and chunked, HEAD reports, the minimum size and
// redirects, each checked as the whole sequence of events.
#include "filebytes.h"
#include "quarvel.h"
#include "scriptedserver.h"
#include "transferrecorder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class ResponseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(dir.isValid());
        target = dir.filePath("out.jpg");
    }
    // Starts a GET (or HEAD) of path through q and waits for its end.
    void run(const Script &script, bool get = true, qint64 minSize = 0, const QString &referer = {},
             const QString &path = QStringLiteral("/f.jpg"))
    {
        server.enqueue(script);
        rec.events.clear();
        ASSERT_TRUE(q.StartDownload(server.url(path), target, minSize, get, 0, 0, true, referer));
        ASSERT_TRUE(rec.waitForEnd());
    }

    ScriptedServer server;
    QTemporaryDir dir;
    QString target;
    Quarvel q;
    TransferRecorder rec{q};
};

const QByteArray Head10 = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";

} // namespace

TEST_F(ResponseTest, BodyInTwoReadsIsStoredAndReported)
{
    Script s;
    s.waitForRequest().send(Head10 + "0123").pause(100).send("456789").hold();
    run(s);
    // How many reads the two writes become depends on the machine's load: the
    // bytes, the order of the events and the last Progress do not.
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(rec.events.at(rec.events.size() - 2), "Progress 10 10");
    EXPECT_EQ(readAll(target), "0123456789");
}

TEST_F(ResponseTest, HeaderSplitByteByByteIsStillCutOff)
{
    Script s;
    s.waitForRequest().sendBytewise(Head10).pause(30).send("0123456789");
    run(s);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(rec.events.at(rec.events.size() - 2), "Progress 10 10");
    EXPECT_EQ(readAll(target), "0123456789");
}

TEST_F(ResponseTest, Http10StatusLineAndLowerCaseNamesAreRecognised)
{
    run(Script::reply("HTTP/1.0 200 OK\r\ncontent-length: 3\r\n\r\nabc"));
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 3 3", "Finished"}));
    EXPECT_EQ(readAll(target), "abc");
}

TEST_F(ResponseTest, WithoutLengthTheCloseEndsTheBodyAndFileSizeIsZero)
{
    run(Script::reply(Head10 + "0123456789"));
    ASSERT_EQ(rec.last(), "Finished");
    QFile::remove(target);
    // Same instance, next answer has no length: FileSize is 0 again.
    Script s;
    s.waitForRequest().send("HTTP/1.1 200 OK\r\n\r\nab").pause(50).send("cd");
    run(s);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(rec.events.at(rec.events.size() - 2), "Progress 4 0");
    EXPECT_EQ(readAll(target), "abcd");
}

TEST_F(ResponseTest, ChunkedBodyIsDecodedWhereverTheReadsSplitIt)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray body = "4\r\nWiki\r\n5;ext=1\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n"
                            "1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n";
    const QByteArray expected = "Wikipedia in\r\n\r\nchunks.abcdefghijklmnopqrstuvwxyz";
    // Whole, split inside size lines and CR LFs, and byte by byte; the
    // connection stays open: the last chunk ends the body.
    const QList<QList<int>> splits = {
        {}, {int(head.size()) + 1, 2, 9, 1, 1, 5}, QList<int>(200, 1)};
    for (const QList<int> &split : splits) {
        QFile::remove(target);
        Script s;
        s.waitForRequest().sendSplit(head + body, split, 3).hold();
        run(s);
        EXPECT_EQ(rec.last(), "Finished");
        EXPECT_EQ(readAll(target), expected) << split.size();
        EXPECT_EQ(rec.events.at(rec.events.size() - 2),
                  QStringLiteral("Progress %1 0").arg(expected.size()));
    }
}

TEST_F(ResponseTest, BodyEndsAtTheAnnouncedLengthWhileTheServerKeepsTheConnection)
{
    Script s;
    s.waitForRequest().send(Head10 + "0123456789EXTRA").hold();
    run(s);
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 10 10", "Finished"}));
    EXPECT_EQ(readAll(target), "0123456789");
}

TEST_F(ResponseTest, HeadReportsStatusRangesTypeLengthAndReferer)
{
    run(Script::reply("HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\nContent-Type: image/jpeg\r\n"
                      "Content-Length: 1024\r\n\r\n"),
        false, 0, "ref");
    EXPECT_EQ(rec.events,
              QStringList({"Started", "Header 200| bytes| image/jpeg| 1024|ref", "Finished"}));
    EXPECT_FALSE(QFile::exists(target));

    // Split into single bytes it is still one Header; a 404 reports 404.
    Script s;
    s.waitForRequest().sendBytewise("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n");
    run(s, false);
    EXPECT_EQ(rec.events, QStringList({"Started", "Header 404||| 9|", "Finished"}));
}

TEST_F(ResponseTest, AnnouncedLengthBelowTheMinimumIsTooSmall)
{
    run(Script::reply(Head10 + "0123456789"), true, 100);
    EXPECT_EQ(rec.events, QStringList({"Started", "TooSmall"}));
    EXPECT_FALSE(QFile::exists(target));
    QTest::qWait(50);
    EXPECT_EQ(rec.events.size(), 2);

    run(Script::reply(Head10), false, 100);
    EXPECT_EQ(rec.events, QStringList({"Started", "TooSmall"}));

    // A minimum equal to the announced length is met.
    run(Script::reply(Head10 + "0123456789"), true, 10);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(readAll(target), "0123456789");
    QFile::remove(target);

    // A length of 0, or none, is never too small.
    run(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), true, 100);
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 0 0", "Finished"}));
    EXPECT_TRUE(QFile::exists(target));
    run(Script::reply("HTTP/1.1 200 OK\r\n\r\nxyz"), true, 100);
    EXPECT_EQ(rec.last(), "Finished");
}

TEST_F(ResponseTest, InterimAnswersAreSkippedWithinTheirLimits)
{
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    run(Script::reply(interim + ok));
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 2 2", "Finished"}));
    EXPECT_EQ(readAll(target), "ok");
    QFile::remove(target);

    // Twenty interim answers are skipped, in one read or byte by byte.
    Script bytewise;
    bytewise.waitForRequest().sendBytewise(interim.repeated(20) + ok, 0);
    run(bytewise);
    EXPECT_EQ(rec.last(), "Finished");
    EXPECT_EQ(readAll(target), "ok");
    QFile::remove(target);
    // They are counted per answer: fifteen before a redirect and fifteen
    // before the answer it leads to.
    server.enqueue(
        Script::reply(interim.repeated(15) +
                      "HTTP/1.1 302 Found\r\nLocation: /g.jpg\r\nContent-Length: 0\r\n\r\n"));
    run(Script::reply(interim.repeated(15) + ok));
    EXPECT_EQ(rec.last(), "Finished");
    QFile::remove(target);

    // One more fails; so does a burst of thousands (once taken one level of
    // recursion per answer), without writing anything.
    for (int count : {21, 14000}) {
        run(Script::reply(interim.repeated(count) + ok));
        EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"})) << count;
        EXPECT_EQ(rec.last(), "Failed too many interim answers") << count;
        EXPECT_FALSE(QFile::exists(target)) << count;
    }

    // The header cap counts the interim answers' bytes too.
    const QByteArray fat = "HTTP/1.1 103 Early Hints\r\nLink: " + QByteArray(7000, 'x') + "\r\n\r\n";
    run(Script::reply(fat.repeated(10) + ok));
    EXPECT_EQ(rec.last(), "Failed response header too large");
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(ResponseTest, ContentLengthMustBeOneNonNegativeDecimalNumber)
{
    const QList<QByteArray> invalid = {
        "Content-Length: -1\r\n",   "Content-Length:\r\n",      "Content-Length: 1e3\r\n",
        "Content-Length: 1 000\r\n", "Content-Length: 5, 5\r\n", "Content-Length: - 5\r\n",
        "Content-Length: +5\r\n",    "Content-Length: 0x5\r\n",
        "Content-Length: 99999999999999999999\r\n",
        "Content-Length: 5\r\nContent-Length: 6\r\n"};
    for (const QByteArray &field : invalid) {
        for (bool get : {true, false}) {
            run(Script::reply("HTTP/1.1 200 OK\r\n" + field + "\r\n12345"), get);
            EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"})) << field.constData();
            EXPECT_EQ(rec.last(), "Failed invalid Content-Length") << field.constData();
            EXPECT_FALSE(QFile::exists(target)) << field.constData();
        }
    }
    // Blanks around the number and equal repeats are fine; the event text
    // keeps its form.
    run(Script::reply("HTTP/1.1 200 OK\r\nContent-Length:\t5 \r\ncontent-length: 005\r\n\r\n"
                      "12345"));
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 5 5", "Finished"}));
    EXPECT_EQ(readAll(target), "12345");
    run(Script::reply("HTTP/1.1 200 OK\r\nContent-Length:  5\r\nContent-Length: 5\r\n\r\n"),
        false);
    EXPECT_EQ(rec.events, QStringList({"Started", "Header 200||| 5|", "Finished"}));
}

TEST_F(ResponseTest, RedirectChainIsFollowedSilently)
{
    server.enqueue(
        Script::reply("HTTP/1.1 302 Found\r\nLocation: /step2\r\nContent-Length: 5\r\n\r\nmoved"));
    server.enqueue(Script::reply(
        "HTTP/1.1 301 Moved\r\nLocation: " + server.url("/dir/").toLatin1() + "\r\n\r\n"));
    server.enqueue(Script::reply("HTTP/1.1 307 Temporary\r\nLocation: final.jpg\r\n\r\n"));
    run(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nJPEG"), true, 0, "r");
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 4 4", "Finished"}));
    EXPECT_EQ(readAll(target), "JPEG");
    EXPECT_EQ(server.connectionCount(), 4);
    EXPECT_TRUE(server.request(1).startsWith("GET /step2 HTTP/1.1\r\n"));
    EXPECT_TRUE(server.request(3).startsWith("GET /dir/final.jpg HTTP/1.1\r\n"));
    EXPECT_TRUE(server.request(3).contains("\r\nReferer: r\r\n"));
    EXPECT_EQ(q.FinalURL(), server.url("/dir/final.jpg"));

    // A HEAD follows too and reports only the final answer.
    server.enqueue(Script::reply("HTTP/1.1 303 See Other\r\nLocation: /x\r\n\r\n"));
    run(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n"), false);
    EXPECT_EQ(rec.events, QStringList({"Started", "Header 200||| 7|", "Finished"}));
    EXPECT_TRUE(server.request(5).startsWith("HEAD /x HTTP/1.1\r\n"));
}

TEST_F(ResponseTest, RangeAnswerWith206IsStored)
{
    server.enqueue(Script::reply("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 2-4/10\r\n"
                                 "Content-Length: 3\r\n\r\n234"));
    ASSERT_TRUE(q.StartDownload(server.url("/f"), target, 0, true, 2, 4, true, {}));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(rec.events, QStringList({"Started", "Progress 3 3", "Finished"}));
    EXPECT_EQ(readAll(target), "234");
}

TEST_F(ResponseTest, PartialAnswersAreCheckedAgainstTheRangeAndCompleted)
{
    // Less than asked: the rest is asked for on a new connection, appended.
    server.enqueue(Script::reply("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 2-4/10\r\n"
                                 "Content-Length: 3\r\n\r\n234"));
    server.enqueue(Script::reply("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-7/10\r\n"
                                 "\r\n567"));
    ASSERT_TRUE(q.StartDownload(server.url("/f"), target, 0, true, 2, 7, true, {}));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(rec.events.at(1), "Progress 3 6");
    EXPECT_EQ(readAll(target), "234567");
    EXPECT_TRUE(server.request(1).contains("\r\nRange: bytes=5-7\r\n"));

    // Another start (before or after the byte asked for), no Content-Range,
    // or more bytes than it announces: failed, with nothing written.
    const QList<QByteArray> bad = {
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2/10\r\nContent-Length: 3\r\n\r\n012",
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 3-5/10\r\n\r\n345",
        "HTTP/1.1 206 Partial Content\r\nContent-Length: 3\r\n\r\n234",
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 2-4/10\r\nContent-Length: 5\r\n\r\n",
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 2-9/10\r\n\r\n23456789"};
    for (const QByteArray &answer : bad) {
        QFile::remove(target);
        rec.events.clear();
        server.enqueue(Script::reply(answer));
        ASSERT_TRUE(q.StartDownload(server.url("/f"), target, 0, true, 2, 7, true, {}));
        ASSERT_TRUE(rec.waitForEnd());
        EXPECT_TRUE(rec.failed()) << answer.data();
        EXPECT_EQ(QFileInfo(target).size(), 0) << answer.data();
    }
}

TEST_F(ResponseTest, ErrorStatusFailsBeforeTheMinimumSize)
{
    run(Script::reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"), true, 1000);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Failed"}));
    // A HEAD probe reports the error answer, so its host can decide.
    run(Script::reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n"), false, 1000);
    EXPECT_EQ(rec.events, QStringList({"Started", "Header 404||| 9|", "Finished"}));
}

TEST_F(ResponseTest, RedirectArrivingWithTheCloseIsFollowed)
{
    Script redirect;
    redirect.waitForRequest().send("HTTP/1.1 302 Found\r\nLocation: /b.jpg\r\n\r\n").close();
    server.enqueue(redirect);
    run(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(readAll(target), "abc");
}

TEST_F(ResponseTest, NewFileNeverAppendsToOneThatAppearedMeanwhile)
{
    // The name is free at the start; another writer creates it before the
    // header arrives: the body goes to the next "A" name, the other file stays.
    Script s;
    s.waitForRequest().pause(150).send(Head10 + "0123456789");
    server.enqueue(s);
    ASSERT_TRUE(q.StartDownload(server.url("/f.jpg"), target, 0, true, 0, 0, false, {}));
    QTest::qWait(30);
    QFile other(target);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("old");
    other.close();
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(rec.last(), "Finished");
    EXPECT_EQ(readAll(target), "old");
    EXPECT_EQ(q.LocalFile(), dir.filePath("Aout.jpg"));
    EXPECT_EQ(readAll(dir.filePath("Aout.jpg")), "0123456789");
    EXPECT_TRUE(q.CreatedLocalFile());
}
