// The control over TLS against nginx with certificates made at test time:
// every transfer rule of plain HTTP holds, redirects cross between http and
// https, bad certificates are refused with their reason, a second
// connection to a server resumes its TLS session, and a kept one carries on.
#include "filebytes.h"
#include "nginxserver.h"
#include "quarvel.h"
#include "scriptedserver.h"
#include "testcertificates.h"
#include "transferrecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class TlsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        certificates = new TestCertificates;
        ASSERT_TRUE(certificates->make()) << certificates->errorText().toStdString();
        // Trusted once; the same file again adds nothing.
        ASSERT_EQ(Quarvel::AddTrustedCertificates(certificates->authorityFile()), 1);
        ASSERT_EQ(Quarvel::AddTrustedCertificates(certificates->authorityFile()), 0);
        ASSERT_EQ(Quarvel::AddTrustedCertificates("/nonexistent/trusted.pem"), 0);

        nginx = new NginxServer;
        const auto listen = [](const char *name, TestCertificates::Kind kind) {
            nginx->addTlsListener(name, certificates->certificateFile(kind),
                                  certificates->keyFile(kind));
        };
        listen("good", TestCertificates::Good);
        listen("resume", TestCertificates::Good);
        listen("other", TestCertificates::OtherName);
        listen("expired", TestCertificates::Expired);
        listen("untrusted", TestCertificates::Untrusted);
        // Without the name sent in the handshake, the default certificate
        // (for another host) would come back.
        listen("sni", TestCertificates::OtherName);
        nginx->addTlsServerName("sni", "localhost",
                                certificates->certificateFile(TestCertificates::Good),
                                certificates->keyFile(TestCertificates::Good));
        ASSERT_TRUE(nginx->start()) << nginx->errorText().toStdString();
        content = new QByteArray(randomBytes(3 * 1024 * 1024 + 77, 99));
        ASSERT_TRUE(nginx->writeFile("pics/big.jpg", *content));
        ASSERT_TRUE(nginx->writeFile("pics/small.jpg", "small picture"));
        ASSERT_TRUE(nginx->writeFile("slow/big.jpg", content->left(1024 * 1024)));
    }
    static void TearDownTestSuite()
    {
        delete nginx;
        delete certificates;
        delete content;
    }
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Runs one transfer to its end.
    void run(const QString &url, const QString &target, bool get = true, qint64 start = 0,
             qint64 end = 0)
    {
        rec.events.clear();
        ASSERT_TRUE(q.StartDownload(url, target, 0, get, start, end, false, {}));
        ASSERT_TRUE(rec.waitForEnd(60000)) << url.toStdString();
    }

    static TestCertificates *certificates;
    static NginxServer *nginx;
    static QByteArray *content;
    QTemporaryDir dir;
    Quarvel q;
    TransferRecorder rec{q};
};

TestCertificates *TlsTest::certificates = nullptr;
NginxServer *TlsTest::nginx = nullptr;
QByteArray *TlsTest::content = nullptr;

} // namespace

TEST_F(TlsTest, GetRangeHeadAndChunkedBodyAsOverPlainHttp)
{
    // The scheme in any letter case.
    const QString target = dir.filePath("big.jpg");
    run(nginx->tlsUrl("good", "/pics/big.jpg").replace("https", "HTTPS"), target);
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(rec.events.at(rec.events.size() - 2),
              QStringLiteral("Progress %1 %1").arg(content->size()));
    EXPECT_TRUE(readAll(target) == *content);

    run(nginx->tlsUrl("good", "/pics/big.jpg"), dir.filePath("part"), true, 1000, 2999999);
    EXPECT_EQ(rec.last(), "Finished");
    EXPECT_TRUE(readAll(dir.filePath("part")) == content->mid(1000, 2999999 - 1000 + 1));

    run(nginx->tlsUrl("good", "/pics/big.jpg"), dir.filePath("h"), false);
    EXPECT_EQ(
        rec.events,
        QStringList({"Started",
                     QStringLiteral("Header 200| bytes| image/jpeg| %1|").arg(content->size()),
                     "Finished"}));
    EXPECT_FALSE(QFile::exists(dir.filePath("h")));

    // A folder listing comes chunked: the same bytes as over plain HTTP.
    run(nginx->url("/pics/"), dir.filePath("plain.html"));
    run(nginx->tlsUrl("good", "/pics/"), dir.filePath("tls.html"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_TRUE(readAll(dir.filePath("tls.html")).contains("small.jpg"));
    EXPECT_EQ(readAll(dir.filePath("tls.html")), readAll(dir.filePath("plain.html")));

    // The host name is sent in the handshake: the server picks the
    // certificate that names it.
    run(QStringLiteral("https://localhost:%1/pics/small.jpg").arg(nginx->tlsPort("sni")),
        dir.filePath("sni.jpg"));
    EXPECT_EQ(rec.last(), "Finished");
    EXPECT_EQ(readAll(dir.filePath("sni.jpg")), "small picture");
}

TEST_F(TlsTest, RedirectsLeadFromHttpToHttpsAndBack)
{
    run(nginx->url("/to-tls/pics/small.jpg"), dir.filePath("a.jpg"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(q.FinalURL(), nginx->tlsUrl("good", "/pics/small.jpg"));
    EXPECT_EQ(readAll(dir.filePath("a.jpg")), "small picture");

    run(nginx->url("/to-tls/to-plain/pics/small.jpg"), dir.filePath("b.jpg"));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    EXPECT_EQ(q.FinalURL(), nginx->url("/pics/small.jpg"));
    EXPECT_EQ(readAll(dir.filePath("b.jpg")), "small picture");
}

TEST_F(TlsTest, RefusedCertificatesFailWithTheirReasonAndWriteNothing)
{
    const QList<std::pair<QString, QString>> cases = {
        {nginx->tlsUrl("other", "/pics/small.jpg"), "host name mismatch"},
        {nginx->tlsUrl("expired", "/pics/small.jpg"), "certificate expired"},
        {nginx->tlsUrl("untrusted", "/pics/small.jpg"), "untrusted authority"},
        {QStringLiteral("https://127.0.0.1:%1/pics/small.jpg").arg(nginx->port()),
         "does not speak TLS"},
    };
    for (const auto &[url, reason] : cases) {
        const QString target = dir.filePath("refused.jpg");
        run(url, target);
        EXPECT_EQ(rec.milestones(), QStringList({"Failed"})) << url.toStdString();
        EXPECT_TRUE(rec.last().contains(reason)) << rec.last().toStdString();
        EXPECT_FALSE(QFile::exists(target)) << url.toStdString();
        EXPECT_FALSE(q.IsBusy());
    }
}

TEST_F(TlsTest, AbortMidBodyRaisesNothingMore)
{
    const QString target = dir.filePath("slow.jpg");
    ASSERT_TRUE(
        q.StartDownload(nginx->tlsUrl("good", "/slow/big.jpg"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rec.events.size() >= 2 && rec.last().startsWith("Progress"); }, 10000));
    q.AbortDownload();
    const QStringList seen = rec.events;
    QTest::qWait(500);
    EXPECT_EQ(rec.events, seen);
    EXPECT_FALSE(q.IsBusy());
    EXPECT_LT(readAll(target).size(), 1024 * 1024);
}

TEST_F(TlsTest, SecondConnectionResumesTheSession)
{
    // A session of another server is never offered to this one, nor to any
    // other: the handshake with a server at another port of the same address
    // carries an empty ticket extension.
    run(nginx->tlsUrl("good", "/pics/small.jpg"), dir.filePath("g.jpg"));
    ScriptedServer other;
    ASSERT_TRUE(other.start());
    other.enqueue(Script().pause(300).close());
    run(QStringLiteral("https://127.0.0.1:%1/").arg(other.port()), dir.filePath("o"));
    EXPECT_TRUE(other.request(0).contains(QByteArray("\x00\x23\x00\x00", 4)));
    for (int i = 0; i < 3; ++i) {
        run(nginx->tlsUrl("resume", "/pics/small.jpg"), dir.filePath(QString("r%1.jpg").arg(i)));
        ASSERT_EQ(rec.last(), "Finished");
    }
    QStringList reused;
    const QString port = QString::number(nginx->tlsPort("resume"));
    for (const QString &line : nginx->tlsLog())
        if (line.startsWith(port + ' ')) reused << line.section(' ', 1, 1);
    EXPECT_EQ(reused, QStringList({".", "r", "r"}));

    // A kept connection carries the next request without a handshake.
    q.SetKeepConnections(true);
    run(nginx->tlsUrl("resume", "/pics/small.jpg"), dir.filePath("k1.jpg"));
    run(nginx->tlsUrl("resume", "/pics/big.jpg"), dir.filePath("k2.jpg"), true, 0, 9);
    EXPECT_EQ(readAll(dir.filePath("k2.jpg")), content->left(10));
    EXPECT_TRUE(nginx->tlsLog().last().endsWith("\" 2")) << nginx->tlsLog().last().toStdString();
}
