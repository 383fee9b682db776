// Behaviour of the multi-part state files: counter, state files, listing,
// splitting, joining and housekeeping, byte for byte against fixtures.
#include "brokendownloads.h"
#include "downloadarchive.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "localfilenames.h"
#include "scriptedquestions.h"
#include "statefiles.h"
#include "urlrows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <limits>

namespace
{

constexpr qint32 Largest = std::numeric_limits<qint32>::max();

const QString Row = QStringLiteral(
    "bild-\u00fc.jpg<QVRL>0%<QVRL>0<QVRL> <QVRL>http://127.0.0.1/bild-\u00fc.jpg<QVRL>/dl/"
    "<QVRL>http://127.0.0.1/<QVRL>0<QVRL>TRUE<QVRL>http://127.0.0.1/");
const QList<ByteRange> FixtureRanges{{0, 1048575}, {1048576, 2097151}, {2097152, 2499999}};

QString Fixture(const QString &name)
{
    return QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + "/data/statefiles/" + name;
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Counter(qint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A byte pattern that shows any reordering or loss when parts are joined.
QByteArray Pattern(qint64 length, char seed)
{
    QByteArray bytes(length, '\0');
    for (qint64 i = 0; i < length; ++i)
        bytes[i] = char(seed + i % 251);
    return bytes;
}

TEST(StateFilesCounter, ReservesConsecutiveNumbersAndStoresTheNextLittleEndian)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    const QString counter = files.PathOf("nextnumber.qvn");
    EXPECT_EQ(files.GetNextNumber(3), "1");
    EXPECT_EQ(ReadBytes(counter), Counter(4));
    EXPECT_EQ(files.GetNextNumber(2), "4");
    EXPECT_EQ(ReadBytes(counter), Counter(6));

    ASSERT_TRUE(QFile::copy(Fixture("nextnumber.qvn"), counter + ".new"));
    QFile::remove(counter);
    QFile::rename(counter + ".new", counter);
    EXPECT_EQ(files.GetNextNumber(1), "20");
    EXPECT_EQ(ReadBytes(counter), Counter(21));
    EXPECT_FALSE(QFileInfo::exists(files.PathOf("nextnumber.lock")));
}

TEST(StateFilesCounter, RestartsAboveTheHighestNumberInUseWhenTheCounterIsUnusable)
{
    struct Case {
        QByteArray counter; // empty: no counter file
        QStringList present;
        int count;
        QString first;
        qint32 stored;
    };
    const QList<Case> cases{
        {{}, {}, 3, "1", 4},
        {{}, {"17.qvi", "17.qvp", "18.qvp", "19.qvp"}, 2, "20", 22},
        {QByteArray("\x05\x00", 2), {"5.dqvi", "abc.qvp", "99999999999.qvp", "40.txt"}, 1, "6", 7},
        {Counter(-5), {"8.qvp"}, 1, "9", 10},
        // Near the 32-bit limit numbering wraps round above the numbers in
        // use, or to 1 when those are near the limit too.
        {Counter(Largest - 1), {"17.qvi"}, 3, "18", 21},
        {Counter(Largest - 1), {"2147483646.qvi"}, 2, "1", 3},
        {Counter(Largest - 3), {"17.qvi"}, 3, QString::number(Largest - 3), Largest},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.present.join(' ').toStdString());
        QTemporaryDir dir;
        StateFiles files(dir.path());
        for (const QString &name : c.present)
            WriteBytes(files.PathOf(name), "x");
        if (!c.counter.isEmpty()) WriteBytes(files.PathOf("nextnumber.qvn"), c.counter);
        EXPECT_EQ(files.GetNextNumber(c.count), c.first);
        EXPECT_EQ(ReadBytes(files.PathOf("nextnumber.qvn")), Counter(c.stored));
    }
}

TEST(StateFilesCounter, WaitsInTheEventLoopWhileAnotherHolderHasTheLock)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    const QString counter = files.PathOf("nextnumber.qvn");
    WriteBytes(counter, Counter(7));

    QLockFile other(files.PathOf("nextnumber.lock"));
    ASSERT_TRUE(other.tryLock(0));
    EXPECT_TRUE(files.IsFileLocked(counter));
    EXPECT_TRUE(StateFiles(dir.path()).IsFileLocked(counter));

    bool released = false;
    QTimer::singleShot(200, [&] {
        released = true;
        other.unlock();
    });
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(files.GetNextNumber(2), "7");
    EXPECT_TRUE(released); // the timer could only fire if the wait ran the event loop
    EXPECT_GE(waited.elapsed(), 150);
    EXPECT_EQ(ReadBytes(counter), Counter(9));
    EXPECT_FALSE(files.IsFileLocked(counter));

    // A counter that merely cannot be written, or a folder that does not
    // exist, is not locked.
    QFile::setPermissions(counter, QFile::ReadOwner);
    EXPECT_FALSE(files.IsFileLocked(counter));
    EXPECT_FALSE(
        StateFiles(dir.path() + "/none").IsFileLocked(dir.path() + "/none/nextnumber.qvn"));
}

TEST(StateFilesRanges, SplitsIntoAtMostTenPartsThatCoverTheFile)
{
    struct Case {
        qint64 size, partSize, newPartSize;
        QList<ByteRange> head; // the first ranges
        ByteRange last;
        int count;
    };
    const QList<Case> cases{
        {2500000, 1048576, 1048576, FixtureRanges, {2097152, 2499999}, 3},
        {10241, 1024, 932, {{0, 931}, {932, 1863}}, {8388, 10240}, 10},
        {20971525, 1048576, 1906503, {{0, 1906502}}, {17158527, 20971524}, 10},
        {4096, 4096, 4096, {{0, 4095}}, {0, 4095}, 1},
        {qint64(5) << 32,
         qint64(1) << 32,
         qint64(1) << 32,
         {{0, (qint64(1) << 32) - 1}},
         {qint64(4) << 32, (qint64(5) << 32) - 1},
         5},
        {28, 1, 3, {{0, 2}}, {24, 27}, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        qint64 partSize = c.partSize;
        QList<ByteRange> ranges;
        int count = -1;
        StateFiles::SplitIntoRanges(c.size, partSize, ranges, count);
        EXPECT_EQ(partSize, c.newPartSize);
        ASSERT_EQ(count, c.count);
        ASSERT_EQ(ranges.size(), c.count);
        EXPECT_EQ(ranges.mid(0, c.head.size()), c.head);
        EXPECT_EQ(ranges.last(), c.last);
        for (int j = 0; j + 1 < count; ++j)
            EXPECT_EQ(ranges[j].Length(), partSize);
        EXPECT_TRUE(StateFiles::RangesCover(ranges, c.size));
    }

    qint64 zero = 0;
    QList<ByteRange> ranges{{0, 9}};
    int count = 5;
    StateFiles::SplitIntoRanges(10, zero, ranges, count);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ranges.isEmpty());
}

TEST(StateFilesRanges, CoverRejectsGapsOverlapsWrongEndsAndTooManyParts)
{
    QList<ByteRange> eleven;
    for (int j = 0; j < 11; ++j)
        eleven.append({j * 10, j * 10 + 9});
    const QList<QList<ByteRange>> rejected{
        {},
        {{1, 99}},                     // does not start at 0
        {{0, 49}, {51, 99}},           // gap
        {{0, 50}, {50, 99}},           // overlap
        {{0, 49}, {50, 98}},           // ends short
        {{0, 49}, {50, 100}},          // ends beyond
        {{0, 49}, {50, 49}, {50, 99}}, // empty part
        eleven,
    };
    for (const auto &ranges : rejected)
        EXPECT_FALSE(StateFiles::RangesCover(ranges, ranges == eleven ? 110 : 100));
    EXPECT_TRUE(StateFiles::RangesCover(eleven.mid(0, 10), 100));
    EXPECT_FALSE(StateFiles::RangesCover({{0, -1}}, 0));
}

TEST(StateFilesStateFile, WritesTheFixtureByteForByteAndNeverOverwrites)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    EXPECT_EQ(files.WriteStateFile("17", Row, " 2500000", 3, FixtureRanges), 0);
    const QByteArray fixture = ReadBytes(Fixture("17.qvi"));
    EXPECT_EQ(ReadBytes(files.PathOf("17.qvi")), fixture);

    EXPECT_EQ(files.WriteStateFile(" 17 ", "other", " 1", 1, {{0, 0}}), 1);
    EXPECT_EQ(ReadBytes(files.PathOf("17.qvi")), fixture);
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"17.qvi"});

    // A "folder" that is a file cannot hold state files: 2, nothing left.
    WriteBytes(dir.path() + "/plain", "x");
    StateFiles broken(dir.path() + "/plain");
    EXPECT_EQ(broken.WriteStateFile("18", Row, " 2500000", 3, FixtureRanges), 2);
    EXPECT_EQ(FilesIn(dir.path()), (QStringList{"17.qvi", "plain"}));
}

TEST(StateFilesStateFile, ReadsTheFixtureAndToleratesDamagedFiles)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    ASSERT_TRUE(QFile::copy(Fixture("17.qvi"), files.PathOf("17.qvi")));

    QString name = " 17.qvi ", row, length;
    int parts = 0;
    QList<ByteRange> ranges;
    ASSERT_EQ(files.ReadStateFile(name, row, length, parts, ranges), 0);
    EXPECT_EQ(name, "17");
    EXPECT_EQ(row, Row);
    EXPECT_EQ(length, "2500000");
    EXPECT_EQ(parts, 3);
    EXPECT_EQ(ranges, FixtureRanges);

    QString missing = "18.qvi";
    EXPECT_EQ(files.ReadStateFile(missing, row, length, parts, ranges), 1);
    EXPECT_EQ(missing, "18.qvi");
    EXPECT_EQ(parts, 3);

    // LF line ends; a range without ";"; an unreadable range and a missing
    // line keep what the table held.
    WriteBytes(files.PathOf("5.qvi"), "5\nr\n 7\n4\n5000;9999\n42\nx;y\n");
    QString five = "5.qvi";
    ranges = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}};
    ASSERT_EQ(files.ReadStateFile(five, row, length, parts, ranges), 0);
    EXPECT_EQ(five, "5");
    EXPECT_EQ(row, "r");
    EXPECT_EQ(parts, 4);
    EXPECT_EQ(ranges, (QList<ByteRange>{{5000, 9999}, {42, 42}, {5, 6}, {7, 8}}));
}

TEST(StateFilesStateFile, ListsAtMostAHundredStateFilesInNumericOrder)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    QStringList names{"untouched"};
    int count = -1;
    WriteBytes(files.PathOf("3.qvp"), "");
    EXPECT_FALSE(files.ListBrokenDownloads(names, count));
    EXPECT_EQ(count, -1);

    QStringList expected;
    for (int n = 101; n >= 1; --n)
        WriteBytes(files.PathOf(QString::number(n) + ".qvi"), "");
    for (int n = 1; n <= 100; ++n)
        expected.append(QString::number(n) + ".qvi");
    WriteBytes(files.PathOf("4.dqvi"), "");
    ASSERT_TRUE(files.ListBrokenDownloads(names, count));
    EXPECT_EQ(count, 100);
    EXPECT_EQ(names, expected);
}

TEST(StateFilesParts, PartFileLengthCreatesAMissingPartEmpty)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    EXPECT_EQ(files.PartFileLength("18.qvp"), 0);
    EXPECT_EQ(ReadBytes(files.PathOf("18.qvp")), QByteArray());
    WriteBytes(files.PathOf("19.qvp"), Pattern(300, 'a'));
    EXPECT_EQ(files.PartFileLength("19.qvp"), 300);
}

// Three part files in a temporary folder and a target folder that already
// holds pic.jpg and Apic.jpg.
struct JoinSetup {
    QTemporaryDir temp, target;
    StateFiles files{temp.path()};
    QList<QByteArray> data{Pattern(1048576 + 7, 'a'), Pattern(300, 'b'), Pattern(5, 'c')};
    QList<ByteRange> ranges{{0, 1048582}, {1048583, 1048882}, {1048883, 1048887}};
    QStringList parts;
    JoinSetup()
    {
        for (int j = 0; j < 3; ++j) {
            parts.append(files.PathOf(QString::number(17 + j) + ".qvp"));
            WriteBytes(parts[j], data[j]);
        }
        WriteBytes(target.path() + "/pic.jpg", "old");
        WriteBytes(target.path() + "/Apic.jpg", "older");
    }
};

TEST(StateFilesParts, JoinWritesTheFirstFreeNameAndDeletesTheParts)
{
    JoinSetup setup;
    QString target = setup.target.path() + "/pic.jpg";
    QString error;
    ASSERT_TRUE(setup.files.JoinPartFiles(setup.parts, setup.ranges, target, &error))
        << error.toStdString();
    EXPECT_EQ(target, setup.target.path() + "/AApic.jpg");
    EXPECT_EQ(ReadBytes(target), setup.data[0] + setup.data[1] + setup.data[2]);
    // Not private like a temporary file: readable by all under the usual mask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {
    };
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    EXPECT_EQ(ReadBytes(setup.target.path() + "/pic.jpg"), "old");
    EXPECT_EQ(ReadBytes(setup.target.path() + "/Apic.jpg"), "older");
    EXPECT_EQ(FilesIn(setup.target.path()), (QStringList{"AApic.jpg", "Apic.jpg", "pic.jpg"}));
    EXPECT_TRUE(FilesIn(setup.temp.path()).isEmpty());
}

TEST(StateFilesParts, JoinPassesOverANameThatARunningTransferHolds)
{
    // A transfer has claimed AApic.jpg but not yet created it.
    JoinSetup setup;
    const QString held = setup.target.path() + "/AApic.jpg";
    ASSERT_TRUE(LocalFileNames::Claim(held));
    QString target = setup.target.path() + "/pic.jpg";
    int yields = 0;
    EXPECT_TRUE(setup.files.JoinPartFiles(setup.parts, setup.ranges, target, nullptr,
                                          [&yields] { ++yields; }));
    LocalFileNames::Release(held);
    EXPECT_EQ(target, setup.target.path() + "/AAApic.jpg");
    EXPECT_FALSE(QFileInfo::exists(held));
}

TEST(StateFilesParts, JoinRefusesAPartThatDoesNotFillItsRange)
{
    JoinSetup setup;
    WriteBytes(setup.parts[1], Pattern(299, 'b'));
    const QString before = setup.target.path() + "/pic.jpg";
    QString target = before;
    QString error;
    EXPECT_FALSE(setup.files.JoinPartFiles(setup.parts, setup.ranges, target, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(target, before);
    EXPECT_EQ(FilesIn(setup.target.path()), (QStringList{"Apic.jpg", "pic.jpg"}));
    EXPECT_EQ(FilesIn(setup.temp.path()), (QStringList{"17.qvp", "18.qvp", "19.qvp"}));

    // One part file short of the ranges is refused the same way.
    EXPECT_FALSE(setup.files.JoinPartFiles(setup.parts.mid(0, 2), setup.ranges, target));
    EXPECT_EQ(FilesIn(setup.target.path()), (QStringList{"Apic.jpg", "pic.jpg"}));
}

TEST(StateFilesParts, NamesFromLongAddressesLeaveRoomForTheUniqueNameRule)
{
    // Cut names keep their extension and never split a character.
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString longNames[] = {QString(300, 'x') + ".jpg",
                                 QString(120, QChar(0xFC)) + smile.repeated(30) + ".jpeg",
                                 smile.repeated(80)};
    for (const QString &raw : longNames) {
        const QString name = UrlRows::SafeComponent(raw);
        EXPECT_LE(name.toUtf8().size(), UrlRows::MaxNameBytes) << raw.toStdString();
        EXPECT_GT(name.toUtf8().size(), UrlRows::MaxNameBytes - 4) << raw.toStdString();
        EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name) << raw.toStdString();
        if (raw.contains('.')) {
            EXPECT_EQ(name.section('.', -1), raw.section('.', -1));
        }
    }
    // Forty files of that name already there: the join still finds a free one.
    JoinSetup setup;
    const QString name = UrlRows::SafeComponent(longNames[0]);
    for (int k = 0; k < 40; ++k)
        WriteBytes(setup.target.path() + "/" + QString(k, 'A') + name, "old");
    QString target = setup.target.path() + "/" + name;
    QString error;
    ASSERT_TRUE(setup.files.JoinPartFiles(setup.parts, setup.ranges, target, &error))
        << error.toStdString();
    EXPECT_EQ(target, setup.target.path() + "/" + QString(40, 'A') + name);
}

TEST(StateFilesBroken, DescribesWhatEachBrokenDownloadHoldsWithoutTouchingIt)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    ASSERT_EQ(files.WriteStateFile("17", "/dl/h/bild-\u00fc.jpg<qvrl>0%<QVRL>x", "2500000", 3,
                                   FixtureRanges),
              0);
    WriteBytes(files.PathOf("17.qvp"), Pattern(1000, 'a'));
    WriteBytes(files.PathOf("19.qvp"), Pattern(24, 'c')); // part 18 not begun
    ASSERT_EQ(files.WriteStateFile("40", "no separator", " 10", 1, {{0, 9}}), 0);
    const QStringList before = FilesIn(dir.path());
    const QList<BrokenDownloads::BrokenDownload> broken =
        BrokenDownloads::Describe(files, {"17.qvi", "23.qvi", "40.qvi"});
    const QList<BrokenDownloads::BrokenDownload> expected{
        {QString::fromUtf8("bild-\u00fc.jpg"), 1024, 2500000, 3}, {"no separator", 0, 10, 1}};
    EXPECT_EQ(broken, expected);
    // Its loaded row shows what the parts hold, not the size saved at the split.
    DownloadListModel list;
    DownloadState state;
    BrokenDownloads::Load(files, {"17.qvi"}, list, state);
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColSize), "1024/2500000 bytes");
    EXPECT_EQ(FilesIn(dir.path()), before);
}

TEST(StateFilesHousekeeping, MoveToMarkerReplacesAnOldMarkerAndDeleteAllEmptiesTheFolder)
{
    QTemporaryDir dir;
    StateFiles files(dir.path());
    WriteBytes(files.PathOf("17.qvi"), "new");
    WriteBytes(files.PathOf("17.dqvi"), "old");
    EXPECT_TRUE(files.MoveToMarker("17.qvi"));
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"17.dqvi"});
    EXPECT_EQ(ReadBytes(files.PathOf("17.dqvi")), "new");
    EXPECT_FALSE(files.MoveToMarker("17.qvi"));
    EXPECT_EQ(ReadBytes(files.PathOf("17.dqvi")), "new");

    EXPECT_EQ(files.GetNextNumber(2), "18");
    WriteBytes(files.PathOf("18.qvp"), "x");
    WriteBytes(files.PathOf("page.htm"), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_TRUE(files.DeleteAll());
    EXPECT_TRUE(FilesIn(dir.path()).isEmpty());
    EXPECT_TRUE(QFileInfo(dir.path() + "/sub").isDir());
    EXPECT_EQ(files.GetNextNumber(1), "1");
}

} // namespace

TEST(DownloadArchiveFile, ADamagedDatabaseIsReportedOnceAndLeftAsItIs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(DownloadArchive::FileName);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    ScriptedQuestions questions;
    DownloadArchive archive(dir.path(), questions);
    EXPECT_FALSE(archive.Contains("http://h/a.jpg"));
    archive.Archive("http://h/a.jpg", path, nullptr, {});
    archive.Flush();
    EXPECT_FALSE(archive.Forget());
    ASSERT_EQ(questions.messages.size(), 1);
    EXPECT_TRUE(questions.messages[0].contains(path));
    EXPECT_EQ(QFileInfo(path).size(), 4096);
}

TEST(DownloadArchiveFile, QueuedFilesAreWrittenByTheWorkerEvenWhenTheArchiveEndsAtOnce)
{
    QTemporaryDir dir;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        WriteBytes(dir.filePath(name), "same");
    ScriptedQuestions questions;
    QStringList heard;
    const auto hear = [&heard](const QString &earlier) { heard << earlier; };
    {
        DownloadArchive archive(dir.path(), questions);
        archive.Archive("http://h/a.jpg", dir.filePath("a.jpg"), nullptr, hear);
        archive.Archive("http://h/b.jpg", dir.filePath("b.jpg"), nullptr, hear);
        // Queued counts as archived for a harvest.
        EXPECT_TRUE(archive.Contains("http://h/b.jpg"));
    }
    EXPECT_TRUE(heard.isEmpty());
    DownloadArchive again(dir.path(), questions);
    EXPECT_EQ(again.Count(), 2);
    again.Archive("http://h/c.jpg", dir.filePath("c.jpg"), nullptr, hear);
    again.Flush();
    EXPECT_EQ(heard, QStringList{dir.filePath("a.jpg")});
    EXPECT_TRUE(questions.messages.isEmpty());
}
