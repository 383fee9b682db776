// Startup computations: where the windows go for a given work area, the
// start stamp, the program folder and the single-instance lock.
#include "programfolder.h"
#include "singleinstance.h"
#include "twips.h"
#include "windowplan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(WindowPlan, WindowsSurroundTheBarAndEndAtTheWorkAreaEdges)
{
    // A 1920x1080 screen at 96 DPI is 28800 x 16200 twips; taskbar at the
    // bottom, then at the top, then on the left.
    const QList<QRect> areas = {QRect(0, 0, 28800, 15600), QRect(0, 600, 28800, 15600),
                                QRect(900, 0, 27900, 16200)};
    for (const QRect &area : areas) {
        const WindowPlan p = WindowPlan::For(area, 6000);
        EXPECT_EQ(p.UrlBar, QRect(area.left(), area.top(), 8055, 1920));
        EXPECT_EQ(p.Downloads.top(), area.top() + 1920);
        EXPECT_EQ(p.Downloads.left(), area.left());
        EXPECT_EQ(p.Downloads.width(), 8055);
        EXPECT_EQ(p.Downloads.top() + p.Downloads.height(), area.top() + area.height());
        EXPECT_EQ(p.Browser.left(), area.left() + 8055);
        EXPECT_EQ(p.Browser.top(), area.top());
        EXPECT_EQ(p.Browser.left() + p.Browser.width(), area.left() + area.width());
        EXPECT_EQ(p.Browser.top() + p.Browser.height(), area.top() + area.height());
        EXPECT_EQ(p.Picture, p.Browser);
        EXPECT_EQ(p.Options, QRect(area.left() + area.width() - 6000, 2000, 6000, 1140));
    }
}

TEST(Twips, ConvertAtTheScreensDpi)
{
    EXPECT_EQ(Twips::ToPixels(8055, 96), 537);
    EXPECT_EQ(Twips::ToPixels(1920, 96), 128);
    EXPECT_EQ(Twips::ToPixels(1440, 144), 144);
    EXPECT_EQ(Twips::FromPixels(1920, 96), 28800);
    EXPECT_EQ(Twips::ToPixels(QRect(600, 480, 255, 375), 96, 96), QRect(40, 32, 17, 25));
}

TEST(StartStamp, IsTheTimeOfDayAsSixDigits)
{
    EXPECT_EQ(MakeStartStamp(QTime(9, 5, 7)), "090507");
    EXPECT_EQ(MakeStartStamp(QTime(23, 59, 59)), "235959");
}

TEST(ProgramFolder, JoinsWithExactlyOneSlash)
{
    EXPECT_EQ(ProgramFolder::Join("/opt/q", "quarvel.ini"), "/opt/q/quarvel.ini");
    EXPECT_EQ(ProgramFolder::Join("/opt/q/", "/qvtemp"), "/opt/q/qvtemp");
    EXPECT_EQ(ProgramFolder::Join("/opt/q", "incoming/"), "/opt/q/incoming/");
    EXPECT_EQ(ProgramFolder::Join("/", "x"), "/x");
}

TEST(ProgramFolder, UsesTheExecutablesFolderOnlyWhenWritable)
{
    QTemporaryDir dir;
    EXPECT_EQ(ProgramFolder::Resolve(dir.path()), dir.path());
    const QString elsewhere = ProgramFolder::Resolve(dir.path() + "/does-not-exist");
    EXPECT_NE(elsewhere, dir.path() + "/does-not-exist");
    EXPECT_FALSE(elsewhere.isEmpty());
}

TEST(ProgramFolder, InstalledLayoutKeepsEverythingInTheUserDataFolder)
{
    // prefix/bin (writable, as for root) and prefix/share/quarvel/lang.dat.
    QTemporaryDir root;
    const QString bin = root.filePath("prefix/bin");
    const QString user = root.filePath("home/.local/share/Quarvel");
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(root.filePath("prefix/share/quarvel")));
    auto touch = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    };
    ASSERT_TRUE(touch(root.filePath("prefix/share/quarvel/lang.dat")));

    ProgramFolder::Layout l = ProgramFolder::Locate(bin + "/", user);
    EXPECT_TRUE(l.Installed);
    EXPECT_EQ(l.LanguageFile, root.filePath("prefix/share/quarvel/lang.dat"));
    EXPECT_EQ(l.Folder, user);
    EXPECT_TRUE(QFileInfo(user).isDir());

    // A language file beside the program wins: the portable rule again.
    ASSERT_TRUE(touch(bin + "/lang.dat"));
    l = ProgramFolder::Locate(bin, user);
    EXPECT_FALSE(l.Installed);
    EXPECT_EQ(l.LanguageFile, bin + "/lang.dat");
    EXPECT_EQ(l.Folder, bin);

    // Neither: the missing file is the one beside the program.
    QTemporaryDir bare;
    l = ProgramFolder::Locate(bare.path(), user);
    EXPECT_FALSE(l.Installed);
    EXPECT_EQ(l.LanguageFile, bare.filePath("lang.dat"));
    EXPECT_EQ(l.Folder, bare.path());
}

TEST(SingleInstance, SecondLockOnTheSameFolderIsRefusedAndAStaleOneTakenOver)
{
    QTemporaryDir dir;
    {
        SingleInstance first(dir.path());
        ASSERT_TRUE(first.TryLock());
        SingleInstance second(dir.path());
        EXPECT_FALSE(second.TryLock());
    }
    // A lock file left by a process that is gone: a child that has ended and
    // been reaped.
    QProcess gone;
    gone.start(QStringLiteral("/bin/true"), {});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile stale(dir.filePath("quarvel.lock"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(deadPid) + "\nquarvel\n" +
                QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    SingleInstance third(dir.path());
    EXPECT_TRUE(third.TryLock());
}
