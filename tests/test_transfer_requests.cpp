// What the control sends: the exact request bytes, the address split and the
// local file name it chooses.
#include "filebytes.h"
#include "httpaddress.h"
#include "localfilenames.h"
#include "quarvel.h"
#include "scriptedserver.h"
#include "transferrecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

const QByteArray EmptyOk = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class RequestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(dir.isValid());
    }
    // Runs one transfer against the scripted server and returns the request
    // the server received.
    QByteArray requestFor(const QString &url, bool get, qint64 start, qint64 end,
                          const QString &referer, const QByteArray &reply = EmptyOk)
    {
        server.enqueue(Script::reply(reply));
        Quarvel q;
        TransferRecorder rec(q);
        const int before = server.connectionCount();
        EXPECT_TRUE(
            q.StartDownload(url, dir.filePath("f.bin"), 0, get, start, end, false, referer));
        EXPECT_TRUE(rec.waitForEnd());
        return server.request(before);
    }
    QByteArray hostLine() const { return "Host: 127.0.0.1:" + QByteArray::number(server.port()); }

    ScriptedServer server;
    QTemporaryDir dir;
};

} // namespace

TEST_F(RequestTest, PlainGetHasTheFixedLinesInOrder)
{
    EXPECT_EQ(requestFor(server.url("/pics/a.jpg"), true, 0, 0, {}),
              "GET /pics/a.jpg HTTP/1.1\r\n" + hostLine() +
                  "\r\nAccept: */*\r\nConnection: close\r\n\r\n");
}

TEST_F(RequestTest, RefererAddsIfMatchAndRangeComesLast)
{
    EXPECT_EQ(requestFor(server.url("/a.jpg"), true, 500, 999, "http://site/page.html",
                         "HTTP/1.1 206 Partial Content\r\nContent-Length: 0\r\n\r\n"),
              "GET /a.jpg HTTP/1.1\r\n" + hostLine() +
                  "\r\nAccept: */*\r\nReferer: http://site/page.html\r\nIF-MATCH: *\r\n"
                  "Connection: close\r\nRange: bytes=500-999\r\n\r\n");
}

TEST_F(RequestTest, BothRangeNumbersAreAlwaysWritten)
{
    const QByteArray req = requestFor(server.url("/a"), true, 1000, 0, {},
                                      "HTTP/1.1 206 Partial Content\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(req.endsWith("Connection: close\r\nRange: bytes=1000-0\r\n\r\n")) << req.data();
}

TEST_F(RequestTest, HeadNeverCarriesIfMatchOrRange)
{
    EXPECT_EQ(requestFor(server.url("/a.jpg"), false, 500, 999, "http://site/"),
              "HEAD /a.jpg HTTP/1.1\r\n" + hostLine() +
                  "\r\nAccept: */*\r\nReferer: http://site/\r\nConnection: close\r\n\r\n");
}

TEST_F(RequestTest, AddressFormsAndPathEncoding)
{
    const QString base = QStringLiteral("127.0.0.1:%1").arg(server.port());
    // Nothing after the host: path "/"; the scheme in capitals is dropped too.
    EXPECT_TRUE(requestFor("HTTP://" + base, true, 0, 0, {}).startsWith("GET / HTTP/1.1\r\n"));
    // No scheme at all.
    EXPECT_TRUE(requestFor(base + "/x.jpg", true, 0, 0, {}).startsWith("GET /x.jpg HTTP/1.1\r\n"));
    // The fragment stays home; the query goes along.
    EXPECT_TRUE(requestFor(server.url("/g.php?id=3#top"), true, 0, 0, {})
                    .startsWith("GET /g.php?id=3 HTTP/1.1\r\n"));
    // Blanks and letters outside ASCII are encoded, existing escapes kept,
    // a lone percent sign escaped.
    EXPECT_TRUE(requestFor(server.url(QStringLiteral("/my pic%20ü 100%.jpg")), true, 0, 0, {})
                    .startsWith("GET /my%20pic%20%C3%BC%20100%25.jpg HTTP/1.1\r\n"));
    // A host name as written goes into the Host line.
    const QByteArray req =
        requestFor(QStringLiteral("http://localhost:%1/a").arg(server.port()), true, 0, 0, {});
    EXPECT_TRUE(req.contains("\r\nHost: localhost:" + QByteArray::number(server.port()) + "\r\n"));
}

TEST_F(RequestTest, NoInputCanBreakARequestLine)
{
    const QByteArray req =
        requestFor(server.url("/a\r\nX-Evil: 1"), true, 0, 0, "http://ref/\r\nX-Injected: yes");
    EXPECT_TRUE(req.startsWith("GET /a%0D%0AX-Evil:%201 HTTP/1.1\r\n")) << req.data();
    EXPECT_TRUE(req.contains("\r\nReferer: http://ref/X-Injected:%20yes\r\n")) << req.data();
    EXPECT_EQ(req.count("\r\n"), 7);
}

TEST(HttpAddressTest, SplitsHostPortAndPath)
{
    HttpAddress a = HttpAddress::parse("http://example.com:8080/dir/p.jpg");
    EXPECT_TRUE(a.isValid());
    EXPECT_EQ(a.host, "example.com:8080");
    EXPECT_EQ(a.connectHost, "example.com");
    EXPECT_EQ(a.port, 8080);
    EXPECT_EQ(a.path, "/dir/p.jpg");

    a = HttpAddress::parse("example.com");
    EXPECT_EQ(a.host, "example.com");
    EXPECT_EQ(a.port, 80);
    EXPECT_EQ(a.path, "/");

    a = HttpAddress::parse("http://[::1]:81/x");
    EXPECT_EQ(a.connectHost, "::1");
    EXPECT_EQ(a.port, 81);
    EXPECT_EQ(a.host, "[::1]:81");

    a = HttpAddress::parse("http://example.com?q=1");
    EXPECT_EQ(a.host, "example.com");
    EXPECT_EQ(a.path, "/?q=1");
    EXPECT_FALSE(a.secure);

    // The secure scheme in any letter case: port 443 unless one is written.
    a = HttpAddress::parse("HTTPS://Example.com/a.jpg");
    EXPECT_TRUE(a.secure);
    EXPECT_EQ(a.host, "Example.com");
    EXPECT_EQ(a.port, 443);
    EXPECT_EQ(a.toUrl(), "https://Example.com/a.jpg");
    a = HttpAddress::parse("https://example.com:8443");
    EXPECT_EQ(a.port, 8443);
    EXPECT_EQ(a.host, "example.com:8443");
    EXPECT_EQ(a.path, "/");
}

TEST(HttpAddressTest, RefusesWhatCannotBeFetched)
{
    for (const char *bad :
         {"httpss://example.com/a.jpg", "ftp://example.com/a", "http://user:pw@host/a",
          "http://bad host/a", "http://bad\rhost/a", "http://", "https://", "http://host:99999/",
          "http://host:12ab/", "http://:80/"}) {
        EXPECT_FALSE(HttpAddress::parse(QString::fromLatin1(bad)).isValid()) << bad;
    }
}

TEST_F(RequestTest, ExistingFilesGetAnAInFrontUnlessAppending)
{
    const QString target = dir.filePath("pic.jpg");
    writeFile(target, "old");
    writeFile(dir.filePath("Apic.jpg"), "older");
    const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew";

    server.enqueue(Script::reply(reply));
    Quarvel q;
    TransferRecorder rec(q);
    ASSERT_TRUE(q.StartDownload(server.url("/pic.jpg"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(q.LocalFile(), dir.filePath("AApic.jpg"));
    EXPECT_EQ(readAll(dir.filePath("AApic.jpg")), "new");
    EXPECT_EQ(readAll(target), "old");

    rec.events.clear();
    ASSERT_TRUE(q.StartDownload(server.url("/pic.jpg"), target, 0, true, 0, 0, true, {}));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(readAll(target), "oldnew");
}

TEST_F(RequestTest, TwoRunningTransfersNeverShareAFile)
{
    const QString target = dir.filePath("same.jpg");
    Script slow;
    slow.waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab")
        .pause(300)
        .send("cd");
    server.enqueue(slow);
    server.enqueue(slow);
    Quarvel first, second;
    TransferRecorder rec1(first), rec2(second);
    ASSERT_TRUE(first.StartDownload(server.url("/1"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(second.StartDownload(server.url("/2"), target, 0, true, 0, 0, false, {}));
    EXPECT_EQ(second.LocalFile(), dir.filePath("Asame.jpg"));
    ASSERT_TRUE(rec1.waitForEnd());
    ASSERT_TRUE(rec2.waitForEnd());
    EXPECT_EQ(readAll(target), "abcd");
    EXPECT_EQ(readAll(dir.filePath("Asame.jpg")), "abcd");

    // Appending to a file that a running transfer writes is refused.
    server.enqueue(slow);
    server.enqueue(slow);
    rec1.events.clear();
    rec2.events.clear();
    ASSERT_TRUE(first.StartDownload(server.url("/1"), target, 0, true, 0, 0, true, {}));
    ASSERT_TRUE(second.StartDownload(server.url("/2"), target, 0, true, 0, 0, true, {}));
    ASSERT_TRUE(rec2.waitForEnd());
    EXPECT_TRUE(rec2.failed());
    ASSERT_TRUE(rec1.waitForEnd());
    EXPECT_EQ(readAll(target), "abcdabcd");
    EXPECT_FALSE(LocalFileNames::IsHeld(target));
}

TEST(LocalNameTest, StartRefusesANameWithoutFolder)
{
    Quarvel q;
    TransferRecorder rec(q);
    EXPECT_FALSE(q.StartDownload("http://127.0.0.1:1/", "nofolder.jpg", 0, true, 0, 0, false, {}));
    EXPECT_FALSE(q.StartDownload("http://127.0.0.1:1/", "", 0, true, 0, 0, false, {}));
    QTest::qWait(50);
    EXPECT_TRUE(rec.events.isEmpty());
}

namespace
{
// A control that keeps connections; run() does one transfer to its end and
// returns its events without Progress, joined by blanks.
struct Keeper {
    Keeper() { q.SetKeepConnections(true); }
    QString run(const QString &url, const QString &file, bool get = true)
    {
        rec.events.clear();
        EXPECT_TRUE(q.StartDownload(url, file, 0, get, 0, 0, false, {}));
        EXPECT_TRUE(rec.waitForEnd());
        return rec.milestones().join(' ');
    }
    Quarvel q;
    TransferRecorder rec{q};
};
} // namespace

TEST_F(RequestTest, KeptConnectionCarriesTheNextTransfers)
{
    // A chunked answer with a trailer, then one with a length, then a HEAD
    // answer, all over one connection, for two controls one after the other.
    Script s;
    s.waitForRequest()
        .send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX: 1\r\n\r\n")
        .waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nde")
        .waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n")
        .hold();
    server.enqueue(s);
    Keeper first, second;
    EXPECT_EQ(first.run(server.url("/1"), dir.filePath("1")), "Started Finished");
    EXPECT_EQ(second.run(server.url("/2"), dir.filePath("2")), "Started Finished");
    EXPECT_EQ(first.run(server.url("/3"), dir.filePath("3"), false),
              "Started Header 200||| 9| Finished");
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(readAll(dir.filePath("1")) + readAll(dir.filePath("2")), "abcde");
    // The request text without its Connection line, nothing else changed.
    const QByteArray lines = " HTTP/1.1\r\n" + hostLine() + "\r\nAccept: */*\r\n\r\n";
    EXPECT_EQ(server.request(0), "GET /1" + lines + "GET /2" + lines + "HEAD /3" + lines);
}

TEST_F(RequestTest, ARequestOnAConnectionTheServerClosedGoesOnceMoreOnANewOne)
{
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx";
    Script closesUnanswered;
    closesUnanswered.waitForRequest().send(ok).waitForRequest().close();
    server.enqueue(closesUnanswered);
    server.enqueue(Script::reply(ok));
    Keeper k;
    k.run(server.url("/1"), dir.filePath("1"));
    EXPECT_EQ(k.run(server.url("/2"), dir.filePath("2")), "Started Finished");
    EXPECT_EQ(server.connectionCount(), 2);
    EXPECT_EQ(server.request(1).count("GET /2 "), 1);

    // Once an answer has begun, a close fails the transfer.
    Script closesInside;
    closesInside.waitForRequest().send(ok).waitForRequest().send("HTTP/1.1 200").close();
    server.enqueue(closesInside);
    k.run(server.url("/3"), dir.filePath("3"));
    EXPECT_EQ(k.run(server.url("/4"), dir.filePath("4")), "Started Failed");
    EXPECT_EQ(server.connectionCount(), 3);

    // A connection the server closed while idle is not taken at all.
    Script closesIdle;
    closesIdle.waitForRequest().send(ok).pause(50).close();
    server.enqueue(closesIdle);
    server.enqueue(Script::reply(ok));
    k.run(server.url("/5"), dir.filePath("5"));
    QTest::qWait(150);
    EXPECT_EQ(k.run(server.url("/6"), dir.filePath("6")), "Started Finished");
    EXPECT_EQ(server.request(4), "GET /6 HTTP/1.1\r\n" + hostLine() + "\r\nAccept: */*\r\n\r\n");
}

TEST_F(RequestTest, AConnectionIsKeptOnlyAfterAnAnswerThatEndedExactly)
{
    // No length (HEAD), more bytes than announced, the server's "close".
    for (const QByteArray &reply :
         {QByteArray("HTTP/1.1 200 OK\r\n\r\n"),
          QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nxy"),
          QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx")}) {
        Script s;
        s.waitForRequest().send(reply).hold();
        server.enqueue(s);
        Keeper k;
        const int before = server.connectionCount();
        const bool get = reply.contains("Length");
        k.run(server.url("/a"), dir.filePath("a"), get);
        k.run(server.url("/b"), dir.filePath("b"), get);
        EXPECT_EQ(server.connectionCount(), before + 2) << reply.data();
    }
}

TEST_F(RequestTest, IdleConnectionsNeverOutnumberTheControlsThatKeepThem)
{
    Script s;
    s.waitForRequest().send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx").hold();
    server.enqueue(s);
    auto third = std::make_unique<Keeper>();
    Keeper first, second;
    for (Keeper *k : {&first, &second, third.get()})
        ASSERT_TRUE(
            k->q.StartDownload(server.url("/a"), dir.filePath("a"), 0, true, 0, 0, false, {}));
    for (Keeper *k : {&first, &second, third.get()})
        ASSERT_TRUE(k->rec.waitForEnd());
    EXPECT_EQ(server.connectionCount(), 3);
    EXPECT_EQ(server.clientClosedCount(), 0);
    third.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.clientClosedCount() == 1; }, 2000));
}
