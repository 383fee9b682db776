// The control against a real web server: whole files byte for byte, byte
// ranges and HEAD.
#include "filebytes.h"
#include "nginxserver.h"
#include "quarvel.h"
#include "transferrecorder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray randomBytes(qsizetype size)
{
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator gen(4711);
    gen.fillRange(reinterpret_cast<quint32 *>(b.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        b[i] = char(gen.generate());
    return b;
}

class NginxTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        nginx = new NginxServer;
        ASSERT_TRUE(nginx->start()) << nginx->errorText().toStdString();
        content = new QByteArray(randomBytes(5 * 1024 * 1024 + 123));
        ASSERT_TRUE(nginx->writeFile("pics/big.jpg", *content));
    }
    static void TearDownTestSuite()
    {
        delete nginx;
        nginx = nullptr;
        delete content;
        content = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    static NginxServer *nginx;
    static QByteArray *content;
    QTemporaryDir dir;
    Quarvel q;
    TransferRecorder rec{q};
};

NginxServer *NginxTest::nginx = nullptr;
QByteArray *NginxTest::content = nullptr;

} // namespace

TEST_F(NginxTest, WholeFileArrivesByteIdentical)
{
    const QString target = dir.filePath("big.jpg");
    ASSERT_TRUE(q.StartDownload(nginx->url("/pics/big.jpg"), target, 1000, true, 0, 0, false, {}));
    ASSERT_TRUE(rec.waitForEnd(60000));
    EXPECT_EQ(rec.milestones(), QStringList({"Started", "Finished"}));
    const QString lastProgress = rec.events.at(rec.events.size() - 2);
    EXPECT_EQ(lastProgress, QStringLiteral("Progress %1 %1").arg(content->size()));
    EXPECT_TRUE(readAll(target) == *content);
}

TEST_F(NginxTest, ByteRangesJoinToTheWholeFile)
{
    const qint64 size = content->size();
    const qint64 cut = size / 3;
    const QString part1 = dir.filePath("p1.qvp");
    const QString part2 = dir.filePath("p2.qvp");
    ASSERT_TRUE(
        q.StartDownload(nginx->url("/pics/big.jpg"), part1, 0, true, 0, cut - 1, false, {}));
    ASSERT_TRUE(rec.waitForEnd(60000));
    ASSERT_EQ(rec.last(), "Finished");
    rec.events.clear();
    // An open end: "bytes=cut-0" is not a range nginx can serve ...
    // ... so the second part names its last byte.
    ASSERT_TRUE(
        q.StartDownload(nginx->url("/pics/big.jpg"), part2, 0, true, cut, size - 1, false, {}));
    ASSERT_TRUE(rec.waitForEnd(60000));
    ASSERT_EQ(rec.last(), "Finished");
    EXPECT_TRUE(readAll(part1) + readAll(part2) == *content);
}

TEST_F(NginxTest, HeadReportsStatusRangesAndLength)
{
    ASSERT_TRUE(q.StartDownload(nginx->url("/pics/big.jpg"), dir.filePath("h"), 0, false, 0, 0,
                                false, "http://127.0.0.1/"));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(rec.events,
              QStringList({"Started",
                           QStringLiteral("Header 200| bytes| image/jpeg| %1|http://127.0.0.1/")
                               .arg(content->size()),
                           "Finished"}));
    EXPECT_FALSE(QFile::exists(dir.filePath("h")));

    rec.events.clear();
    ASSERT_TRUE(q.StartDownload(nginx->url("/pics/none.jpg"), dir.filePath("h"), 0, false, 0, 0,
                                false, {}));
    ASSERT_TRUE(rec.waitForEnd());
    ASSERT_EQ(rec.events.size(), 3);
    EXPECT_TRUE(rec.events.at(1).startsWith("Header 404|"));
}

TEST_F(NginxTest, FolderAddressRedirectsToItsSlashForm)
{
    nginx->writeFile("gallery/index.html", "<html>gallery</html>");
    const QString target = dir.filePath("page.html");
    ASSERT_TRUE(q.StartDownload(nginx->url("/gallery"), target, 0, true, 0, 0, false, {}));
    ASSERT_TRUE(rec.waitForEnd());
    EXPECT_EQ(rec.last(), "Finished");
    EXPECT_EQ(readAll(target), "<html>gallery</html>");
    EXPECT_TRUE(q.FinalURL().endsWith("/gallery/")) << q.FinalURL().toStdString();
}
