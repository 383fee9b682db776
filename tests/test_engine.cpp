// The download engine against real and scripted servers: rows end "Done"
// with byte-identical files, multi-part rows split, stop, restart and resume,
// and every failure leaves the row "failed" with its group free.
#include "brokendownloads.h"
#include "cookiejar.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "filebytes.h"
#include "nginxserver.h"
#include "programstate.h"
#include "quarvel.h"
#include "scriptedserver.h"
#include "statefiles.h"
#include "statewords.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace
{

// A download list that can announce a reset, as a list rebuilt in one go does.
class ResettableList : public DownloadListModel
{
public:
    void announceReset()
    {
        beginResetModel();
        endResetModel();
    }
};

// A program folder with its temporary folder, a download list and an engine.
class EngineFixture
{
public:
    EngineFixture() : files(dir.path() + "/qvtemp") { QDir().mkpath(files.Folder()); }
    void makeEngine() { engine = std::make_unique<DownloadEngine>(list, state, files); }
    // Appends a row as the harvester makes it; multi puts "TRUE" in "mdnl number".
    int addRow(const QString &url, const QString &name, bool multi = false)
    {
        const int row = list.appendRow(dir.path() + "/incoming/host/" + name);
        list.setSubItem(row, DownloadListModel::ColSize, "0/0 bytes");
        list.setSubItem(row, DownloadListModel::ColSource, url);
        list.setSubItem(row, DownloadListModel::ColTargetDir, dir.path() + "/incoming/");
        list.setSubItem(row, DownloadListModel::ColMainURL, "host");
        list.setSubItem(row, DownloadListModel::ColMinFileSize, "0");
        list.setSubItem(row, DownloadListModel::ColMdnlNumber, multi ? "TRUE" : "");
        state.LastRow = row;
        return row;
    }
    QString stateOf(int row) const { return list.subItem(row, DownloadListModel::ColState); }
    bool waitUntilIdle(int ms = 60000)
    {
        return QTest::qWaitFor([this] { return !engine->Timer1States().Busy; }, ms);
    }
    QStringList tempFiles() const
    {
        return QDir(files.Folder()).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
    StateFiles files;
    ResettableList list;
    DownloadState state;
    std::unique_ptr<DownloadEngine> engine;
};

class EngineNginxTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        nginx = new NginxServer;
        ASSERT_TRUE(nginx->start()) << nginx->errorText().toStdString();
        big = new QByteArray(randomBytes(3 * 1024 * 1024 + 4321, 7));
        ASSERT_TRUE(nginx->writeFile("big.bin", *big));
        ASSERT_TRUE(nginx->writeFile("slow/big.bin", *big));
        for (int i = 0; i < 500; ++i)
            ASSERT_TRUE(nginx->writeFile(QString("small/%1.jpg").arg(i), randomBytes(2000 + i, i)));
    }
    static void TearDownTestSuite()
    {
        delete nginx;
        delete big;
    }
    void SetUp() override
    {
        f.makeEngine();
        f.state.PartSizeKB = 512;
    }

    static NginxServer *nginx;
    static QByteArray *big;
    EngineFixture f;
};
NginxServer *EngineNginxTest::nginx = nullptr;
QByteArray *EngineNginxTest::big = nullptr;

} // namespace

TEST_F(EngineNginxTest, SingleAndMultiPartRowsEndDoneAndIdentical)
{
    const int single = f.addRow(nginx->url("/big.bin"), "single.bin");
    const int multi = f.addRow(nginx->url("/big.bin"), "multi.bin", true);
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_EQ(f.stateOf(single), "Done");
    EXPECT_EQ(f.stateOf(multi), "Done");
    EXPECT_EQ(sha256(readAll(f.list.text(single))), sha256(*big));
    EXPECT_EQ(sha256(readAll(f.list.text(multi))), sha256(*big));
    EXPECT_EQ(f.list.subItem(multi, DownloadListModel::ColProgress), "100%");
    EXPECT_EQ(f.list.subItem(multi, DownloadListModel::ColSize),
              QString("%1/ %1 bytes").arg(big->size()));
    // Seven parts were joined; the state file became its marker.
    EXPECT_EQ(f.tempFiles(), QStringList({"1.dqvi", "nextnumber.qvn"}));
    EXPECT_EQ(f.state.CurrentRow, 2);
}

TEST_F(EngineNginxTest, FiveHundredSmallFilesInTwentyGroups)
{
    f.state.SimultaneousDownloads = 20;
    for (int i = 0; i < 500; ++i)
        f.addRow(nginx->url(QString("/small/%1.jpg").arg(i)), QString("%1.jpg").arg(i));
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle());
    for (int row = 1; row <= 500; ++row)
        ASSERT_EQ(f.stateOf(row), "Done") << row;
    EXPECT_EQ(readAll(f.list.text(500)), randomBytes(2499, 499));
}

TEST_F(EngineNginxTest, StopRestartAndResumeFetchOnlyTheMissingBytes)
{
    const int row = f.addRow(nginx->url("/slow/big.bin"), "big.bin", true);
    f.engine->DownloadFilesFromLV(false);
    // Stop halfway: the parts and the state file stay.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QFileInfo(f.files.PathOf("1.qvp")).size() > 100000; }, 20000));
    f.state.StopRequested = true;
    f.engine->KillAllDownloads();
    EXPECT_EQ(f.stateOf(row), "aborted");
    EXPECT_FALSE(f.engine->Timer1States().Busy);
    EXPECT_TRUE(QFileInfo::exists(f.files.PathOf("1.qvi")));

    // Restart in the same run: the row names its state file now, so the parts
    // resume under their numbers; no second state file is left behind.
    EXPECT_EQ(f.list.subItem(row, DownloadListModel::ColMdnlNumber), "1");
    const qint64 before = QFileInfo(f.files.PathOf("1.qvp")).size();
    f.state.StopRequested = false;
    f.list.setSelected(row, true);
    f.engine->DownloadFilesFromLV(true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFileInfo(f.files.PathOf("1.qvp")).size() > before + 100000; }, 20000));
    f.engine->KillAllDownloads();
    f.engine.reset();
    EXPECT_FALSE(QFileInfo::exists(f.files.PathOf("8.qvi")));

    // A new engine over the same folder: the broken download loads as a row
    // and resumes, fetching only what the part files miss.
    f.list.clear();
    const QStringList broken = BrokenDownloads::Find(f.files);
    ASSERT_EQ(broken, QStringList({"1.qvi"}));
    ASSERT_EQ(BrokenDownloads::Load(f.files, broken, f.list, f.state), 1);
    ASSERT_EQ(f.list.count(), 1);
    EXPECT_EQ(f.list.subItem(1, DownloadListModel::ColMdnlNumber), "1");
    EXPECT_EQ(f.stateOf(1), " ");
    qint64 present = 0;
    for (int m = 1; m <= 7; ++m)
        present += QFileInfo(f.files.PathOf(QString("%1.qvp").arg(m))).size();
    f.makeEngine();
    qint64 fetched = 0;
    QHash<int, qint64> perSlot;
    for (int s = 1; s <= 10; ++s)
        QObject::connect(f.engine->Quarvel1(s), &Quarvel::Progress,
                         [&perSlot, s](qint64 bytes, qint64) { perSlot[s] = bytes; });
    f.list.setSelected(1, true);
    f.engine->DownloadFilesFromLV(true);
    ASSERT_TRUE(f.waitUntilIdle(60000));
    EXPECT_EQ(f.stateOf(1), "Done");
    for (qint64 bytes : perSlot)
        fetched += bytes;
    EXPECT_EQ(fetched, big->size() - present);
    EXPECT_EQ(sha256(readAll(f.list.text(1))), sha256(*big));
    EXPECT_EQ(f.tempFiles(), QStringList({"1.dqvi", "nextnumber.qvn"}));
}

TEST_F(EngineNginxTest, SplitsNeverTouchAnotherDownloadsFilesAndFinishedRowsLeaveNone)
{
    // The counter fell behind: number 2 still holds another download's part.
    f.files.GetNextNumber(1);
    ASSERT_TRUE(nginx->writeFile("small.bin", randomBytes(1000, 3)));
    QFile foreign(f.files.PathOf("2.qvp"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("foreign");
    foreign.close();
    // A resumable row whose file turns out too small to split: one GET, and
    // its old state file and parts go.
    const QString saved = "f<QVRL><QVRL><QVRL> <QVRL>";
    QList<ByteRange> ranges{{0, 499}, {500, 999}};
    ASSERT_EQ(f.files.WriteStateFile("20", saved + nginx->url("/small.bin"), " 1000", 2, ranges),
              0);
    for (const char *name : {"20.qvp", "21.qvp"})
        f.files.PartFileLength(name);
    // State 30 is another download's of the same length: rows naming it by a
    // stale number neither resume into its parts nor remove them.
    qint64 partSize = 512 * 1024;
    int parts = 0;
    StateFiles::SplitIntoRanges(big->size(), partSize, ranges, parts);
    ASSERT_EQ(f.files.WriteStateFile("30", saved + "http://elsewhere.test/big.bin",
                                     QString(" %1").arg(big->size()), parts, ranges),
              0);
    const int multi = f.addRow(nginx->url("/big.bin"), "big.bin", true);
    const int resumed = f.addRow(nginx->url("/small.bin"), "small.bin", true);
    const int stale = f.addRow(nginx->url("/small.bin"), "stale.bin", true);
    f.list.setSubItem(resumed, DownloadListModel::ColMdnlNumber, "20");
    for (int row : {multi, stale})
        f.list.setSubItem(row, DownloadListModel::ColMdnlNumber, "30");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_EQ(f.stateOf(multi), "Done");
    EXPECT_EQ(f.stateOf(resumed), "Done");
    EXPECT_EQ(f.stateOf(stale), "Done");
    EXPECT_EQ(sha256(readAll(f.list.text(multi))), sha256(*big));
    EXPECT_EQ(readAll(f.files.PathOf("2.qvp")), "foreign");
    EXPECT_NE(f.list.subItem(multi, DownloadListModel::ColMdnlNumber).toInt(), 1);
    EXPECT_EQ(f.tempFiles().filter(QRegularExpression("^(2\\.qvp|20.*|21.*|.*\\.qvi)$")),
              QStringList({"2.qvp", "30.qvi"}));
}

TEST_F(EngineNginxTest, RowsInsertedWhileTheSplitWaitsForTheCounterLeaveOthersAlone)
{
    QLockFile lock(f.files.PathOf("nextnumber.lock"));
    ASSERT_TRUE(lock.tryLock(0));
    const int row = f.addRow(nginx->url("/big.bin"), "big.bin", true);
    // Once the probe has answered, the split waits for the counter; rows are
    // inserted above meanwhile, then the counter is let go.
    QTimer::singleShot(500, [&] {
        EXPECT_FALSE(f.engine->TransferSlots(1).Probing);
        f.list.insertRow(1, "a");
        f.list.insertRow(1, "b");
        lock.unlock();
    });
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_EQ(f.stateOf(row + 2), "Done")
        << f.list.subItemToolTip(row + 2, DownloadListModel::ColState).toStdString();
    EXPECT_EQ(f.list.subItemImage(row + 2, DownloadListModel::ColProgress), 8);
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(f.stateOf(r), "");
        EXPECT_EQ(f.list.subItemImage(r, DownloadListModel::ColProgress), -1);
        EXPECT_EQ(f.list.subItem(r, DownloadListModel::ColMdnlNumber), "");
    }
    EXPECT_EQ(f.list.subItem(row + 2, DownloadListModel::ColMdnlNumber), "1");
}

namespace
{

class EngineScriptedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        f.makeEngine();
        f.state.PartSizeKB = 1;
        // Short enough for the stalled-server case, and five times the
        // longest pause a script makes, so a loaded machine does not stall
        // the others.
        for (int i = 0; i < DownloadEngine::PoolSize; ++i)
            f.engine->Quarvel1(i)->SetStallTimeout(2000);
    }
    // When each connection to the server came, in ms since this call
    // (looked at every 5 ms while the test runs).
    const QList<qint64> &requestTimes()
    {
        m_clock.start();
        QObject::connect(&m_watch, &QTimer::timeout, [this] {
            while (m_requests.size() < server.connectionCount())
                m_requests << m_clock.elapsed();
        });
        m_watch.start(5);
        return m_requests;
    }
    ScriptedServer server;
    EngineFixture f;

private:
    QElapsedTimer m_clock;
    QList<qint64> m_requests;
    QTimer m_watch;
};

} // namespace

TEST_F(EngineScriptedTest, WholeFileForARangeRequestFailsTheRowWithoutAFile)
{
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\n"
                                 "Content-Length: 4096\r\n\r\n"));
    server.enqueue(
        Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n" + QByteArray(4096, 'x')));
    const int row = f.addRow(server.url("/f.bin"), "f.bin", true);
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(row), "failed");
    EXPECT_FALSE(QFileInfo::exists(f.list.text(row)));
    // The state file stays for a later try; the group is free.
    EXPECT_TRUE(QFileInfo::exists(f.files.PathOf("1.qvi")));
    EXPECT_TRUE(f.engine->IsIdle(1));
}

TEST_F(EngineScriptedTest, RefusedPortAndStalledServerFailTheRow)
{
    quint16 closed;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closed = probe.serverPort();
    }
    const int refused = f.addRow(QString("http://127.0.0.1:%1/a.jpg").arg(closed), "a.jpg");
    Script stall;
    stall.waitForRequest().send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc").hold();
    server.enqueue(stall);
    const int stalled = f.addRow(server.url("/b.jpg"), "b.jpg");
    const int empty = f.addRow(QString(), "c.jpg");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(refused), "failed");
    EXPECT_EQ(f.stateOf(stalled), "failed");
    EXPECT_EQ(f.stateOf(empty), "failed");
    for (int base = 1; base < DownloadEngine::PoolSize; base += 10)
        EXPECT_TRUE(f.engine->IsIdle(base));
    // A plain pass passes over failed rows; a restart retries them.
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"));
    f.state.CurrentRow = 0;
    f.engine->DownloadFilesFromLV(false);
    EXPECT_EQ(f.stateOf(stalled), "failed");
    f.list.setSelected(stalled, true);
    f.engine->DownloadFilesFromLV(true);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(stalled), "Done");
}

TEST_F(EngineScriptedTest, FailedProbesFallBackAndFailedDownloadsLeaveNoFileButAReason)
{
    f.state.SimultaneousDownloads = 1;
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc";
    // A probe closed without an answer, and one never answered: one GET each.
    Script closed;
    closed.waitForRequest().close();
    server.enqueue(closed);
    server.enqueue(Script::reply(ok));
    Script silent;
    silent.waitForRequest().hold();
    server.enqueue(silent);
    server.enqueue(Script::reply(ok));
    // A GET cut off after four of ten bytes.
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd"));
    const int first = f.addRow(server.url("/1.bin"), "1.bin", true);
    const int second = f.addRow(server.url("/2.bin"), "2.bin", true);
    // A row the control refuses (no folder in its name) must not take the
    // file of the row its group served before with it.
    const int refused = f.addRow(server.url("/x.bin"), "x.bin");
    f.list.setText(refused, "x.bin");
    const int cut = f.addRow(server.url("/3.bin"), "3.bin");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(first), "Done");
    EXPECT_EQ(f.stateOf(second), "Done");
    EXPECT_EQ(f.stateOf(refused), "failed");
    EXPECT_EQ(readAll(f.list.text(second)), "abc");
    EXPECT_EQ(f.stateOf(cut), "failed");
    EXPECT_FALSE(QFileInfo::exists(f.list.text(cut)));
    EXPECT_TRUE(f.list.subItemToolTip(cut, DownloadListModel::ColState).contains("4 of 10"));
    EXPECT_TRUE(f.list.data(f.list.index(cut - 1, DownloadListModel::ColState), Qt::ToolTipRole)
                    .toString()
                    .contains("4 of 10"));
    // A retry that succeeds takes the reason away, and writes the row's own name.
    server.enqueue(Script::reply(ok));
    f.list.setSelected(cut, true);
    f.engine->DownloadFilesFromLV(true);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(cut), "Done");
    EXPECT_TRUE(f.list.subItemToolTip(cut, DownloadListModel::ColState).isEmpty());
    EXPECT_TRUE(f.list.text(cut).endsWith("/host/3.bin"));
}

TEST_F(EngineScriptedTest, ProbeWithoutByteRangesFetchesOverOneConnection)
{
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n"));
    server.enqueue(
        Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n" + QByteArray(4096, 'y')));
    const int row = f.addRow(server.url("/f.bin"), "f.bin", true);
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(row), "Done");
    EXPECT_EQ(readAll(f.list.text(row)), QByteArray(4096, 'y'));
    EXPECT_TRUE(server.request(1).startsWith("GET /f.bin HTTP/1.1\r\n"));
    EXPECT_FALSE(server.request(1).contains("Range:"));
    EXPECT_TRUE(f.tempFiles().isEmpty());
}

TEST_F(EngineScriptedTest, DeletingARowAboveARunningRowRenumbersIt)
{
    Script slow;
    slow.waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab")
        .pause(400)
        .send("cd");
    server.enqueue(slow);
    server.enqueue(slow);
    f.addRow(server.url("/1"), "1.bin");
    const int second = f.addRow(server.url("/2"), "2.bin");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_EQ(f.stateOf(second), "progress");
    EXPECT_EQ(f.engine->RowOfBase(11), 2);
    f.list.removeRow(1);
    EXPECT_EQ(f.engine->RowOfBase(11), 1);
    EXPECT_EQ(f.state.CurrentRow, 1);
    EXPECT_EQ(f.state.LastRow, 1);
    // A reset forgets every index; the running row is found again.
    f.list.announceReset();
    EXPECT_EQ(f.engine->RowOfBase(11), 1);
    EXPECT_EQ(f.state.CurrentRow, 1);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    ASSERT_EQ(f.list.count(), 1);
    EXPECT_EQ(f.stateOf(1), "Done");
    EXPECT_EQ(readAll(f.list.text(1)), "abcd");
}

TEST_F(EngineScriptedTest, MinimumSizeEndsARowTooSmallOnlyBelowTheAnnouncedLength)
{
    const QByteArray ten = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789";
    server.enqueue(Script::reply(ten));
    server.enqueue(Script::reply(ten));
    const int small = f.addRow(server.url("/s.jpg"), "s.jpg");
    f.list.setSubItem(small, DownloadListModel::ColMinFileSize, "11");
    const int equal = f.addRow(server.url("/e.jpg"), "e.jpg");
    f.list.setSubItem(equal, DownloadListModel::ColMinFileSize, "10");
    f.state.SimultaneousDownloads = 1;
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(small), "too small");
    EXPECT_FALSE(QFile::exists(f.list.text(small)));
    EXPECT_EQ(f.stateOf(equal), "Done");
    EXPECT_EQ(readAll(f.list.text(equal)), "0123456789");
}

TEST_F(EngineScriptedTest, NoMoreConnectionsThanTheSimultaneousDownloadsAtOnce)
{
    // Every answer takes a while, so the rows overlap as far as allowed.
    Script slow;
    slow.waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab")
        .pause(300)
        .send("cd");
    server.enqueue(slow);
    QList<int> rows;
    for (int i = 0; i < 6; ++i)
        rows << f.addRow(server.url(QString("/%1.bin").arg(i)), QString("%1.bin").arg(i));
    f.state.SimultaneousDownloads = 2;
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(20000));
    for (int row : rows)
        EXPECT_EQ(f.stateOf(row), "Done") << row;
    EXPECT_EQ(server.connectionCount(), 6);
    EXPECT_EQ(server.peakOpenCount(), 2);
}

TEST_F(EngineScriptedTest, AnExistingFileMakesTheRowNameTheFileActuallyWritten)
{
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew"));
    const int row = f.addRow(server.url("/p.jpg"), "p.jpg");
    QDir().mkpath(f.dir.path() + "/incoming/host");
    QFile old(f.list.text(row));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(row), "Done");
    EXPECT_EQ(f.list.text(row), f.dir.path() + "/incoming/host/Ap.jpg");
    EXPECT_EQ(readAll(f.list.text(row)), "new");

    // A row that fails (404) or is stopped before any header removes no file
    // it did not create, also one that took its name while it ran.
    Script scripts[2];
    scripts[0].waitForRequest().pause(300).send(
        "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    scripts[1].waitForRequest().hold();
    for (int k = 0; k < 2; ++k) {
        server.enqueue(scripts[k]);
        const int other = f.addRow(server.url("/q.jpg"), QString("q%1.jpg").arg(k));
        f.engine->DownloadFilesFromLV(false);
        QFile theirs(f.list.text(other));
        ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
        theirs.write("theirs");
        theirs.close();
        if (k == 1) f.engine->StopRow(other);
        ASSERT_TRUE(f.waitUntilIdle(10000));
        EXPECT_EQ(readAll(f.list.text(other)), "theirs") << k;
    }
}

TEST_F(EngineScriptedTest, TheBrowsersCookiesGoOnlyWhereTheyBelongAndOnlyWithTheOption)
{
    const auto cookie = [](const QByteArray &name, const QByteArray &value, const QString &domain,
                           const QString &path) {
        QNetworkCookie c(name, value);
        c.setDomain(domain);
        c.setPath(path);
        return c;
    };
    CookieJar jar;
    jar.Insert(cookie("session", "s1\r\nX-Evil: 1", "127.0.0.1", "/pics"));
    jar.Insert(cookie("site", "all", ".0.0.1", "/"));
    jar.Insert(cookie("elsewhere", "e", "localhost", "/"));
    jar.Insert(cookie("deeper", "d", "127.0.0.1", "/pics/private"));
    jar.Insert(cookie("sibling", "p", "127.0.0.1", "/pic"));
    QNetworkCookie secure = cookie("secure", "t", "127.0.0.1", "/");
    secure.setSecure(true);
    jar.Insert(secure);
    QNetworkCookie expired = cookie("expired", "x", "127.0.0.1", "/");
    expired.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(-1));
    jar.Insert(expired);
    jar.UserAgent = "Browser/1\r\nX-Evil: 2";
    ProgramSettings settings;
    settings.BrowserLogin = true;
    f.engine->SetExtraHeaderLines(jar.RequestLines(settings));
    const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx";
    server.enqueue(Script::reply(reply));
    server.enqueue(Script::reply(reply));
    f.addRow(server.url("/pics/a.jpg"), "a.jpg");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    // Longer paths first; CR and LF never reach the request.
    EXPECT_TRUE(server.request(0).endsWith("Connection: close\r\n"
                                           "Cookie: session=s1X-Evil: 1; site=all\r\n"
                                           "User-Agent: Browser/1X-Evil: 2\r\n\r\n"))
        << server.request(0).toStdString();

    settings.BrowserLogin = false;
    f.addRow(server.url("/pics/b.jpg"), "b.jpg");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_TRUE(server.request(1).endsWith("Connection: close\r\n\r\n"));
}

TEST_F(EngineScriptedTest, ServerAskingToWaitHoldsItsRowsButNotOtherServers)
{
    // The own back-off is short here, so Retry-After decides each wait.
    f.engine->Waits().FirstBackOffMs = 50;
    const QByteArray busy = "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 1\r\n"
                            "Content-Length: 0\r\n\r\n";
    for (int i = 0; i < 3; ++i)
        server.enqueue(Script::reply(busy));
    server.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"));
    ScriptedServer other;
    ASSERT_TRUE(other.start());
    other.enqueue(Script::reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nxyz"));
    const int row = f.addRow(server.url("/a.jpg"), "a.jpg");
    const int elsewhere = f.addRow(other.url("/b.jpg"), "b.jpg");
    // The time of every request to the busy server.
    const QList<qint64> &requests = requestTimes();
    f.state.SimultaneousDownloads = 1;
    f.engine->DownloadFilesFromLV(false);
    // The one group is not held by the waiting row.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.stateOf(elsewhere) == "Done"; }, 900));
    EXPECT_EQ(f.stateOf(row), "waiting");
    EXPECT_TRUE(f.list.subItemToolTip(row, DownloadListModel::ColState)
                    .startsWith("429 Too Many Requests: the server asked to wait until "));
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(row), "Done");
    EXPECT_EQ(readAll(f.list.text(row)), "abc");
    ASSERT_EQ(requests.size(), 4);
    for (int i = 1; i < 4; ++i)
        EXPECT_GE(requests[i] - requests[i - 1], 950) << i;
}

TEST_F(EngineScriptedTest, AProbeAnsweredDuringTheWaitSendsNoFurtherRequest)
{
    f.engine->Waits().FirstBackOffMs = 50;
    server.enqueue(Script::reply("HTTP/1.1 429 Too Many Requests\r\nRetry-After: 1\r\n"
                                 "Content-Length: 0\r\n\r\n"));
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc";
    Script late;
    late.waitForRequest().pause(300).send(ok);
    server.enqueue(late);
    server.enqueue(Script::reply(ok));
    const int first = f.addRow(server.url("/1.bin"), "1.bin", true);
    const int second = f.addRow(server.url("/2.bin"), "2.bin", true);
    const QList<qint64> &requests = requestTimes();
    f.state.SimultaneousDownloads = 2;
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(first), "Done");
    EXPECT_EQ(f.stateOf(second), "Done");
    ASSERT_GE(requests.size(), 3);
    EXPECT_GE(requests[2] - requests[0], 950);
}

TEST_F(EngineScriptedTest, SixRefusalsInARowFailTheRow)
{
    f.engine->Waits().FirstBackOffMs = 10;
    f.engine->Waits().MaxBackOffMs = 20;
    server.enqueue(Script::reply("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n"));
    const int row = f.addRow(server.url("/a.jpg"), "a.jpg");
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    EXPECT_EQ(f.stateOf(row), "failed");
    EXPECT_EQ(f.list.subItemToolTip(row, DownloadListModel::ColState),
              "the server refused 6 times: 503 Service Unavailable");
    EXPECT_EQ(server.connectionCount(), 6);
}

TEST_F(EngineScriptedTest, PerServerLimitCapsTheGroupsOfOneServer)
{
    Script slow;
    slow.waitForRequest()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab")
        .pause(200)
        .send("cd");
    server.enqueue(slow);
    QList<int> rows;
    for (int i = 0; i < 3; ++i)
        rows << f.addRow(server.url(QString("/%1.bin").arg(i)), QString("%1.bin").arg(i));
    // A row saved while it waited for its server starts like a new one.
    f.list.setSubItem(rows[2], DownloadListModel::ColState, "waiting");
    f.state.SimultaneousDownloads = 3;
    f.state.PerServer = 1;
    f.engine->DownloadFilesFromLV(false);
    ASSERT_TRUE(f.waitUntilIdle(10000));
    for (int row : rows)
        EXPECT_EQ(f.stateOf(row), "Done") << row;
    EXPECT_EQ(server.peakOpenCount(), 1);
}

TEST(ServerWaits, RetryAfterInSecondsOrAsAnHttpDate)
{
    const QDateTime now(QDate(2026, 12, 7), QTime(16, 0, 0), Qt::UTC);
    EXPECT_EQ(ServerWaits::RetryAfterMs(" 120 ", now), 120000);
    EXPECT_EQ(ServerWaits::RetryAfterMs("Mon, 07 Dec 2026 16:00:30 GMT", now), 30000);
    EXPECT_EQ(ServerWaits::RetryAfterMs("soon", now), -1);
    EXPECT_EQ(ServerWaits::ServerOf("HTTP://Example.test/a"), "example.test:80");
}
