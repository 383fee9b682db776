// The download_list tool as separate processes against nginx: a multi-part
// download killed halfway resumes in a new process byte-identical, and plain
// rows end with the summary line and the exit code their states call for; a
// secure address comes in ten parts over resumed TLS sessions.
#include "filebytes.h"
#include "nginxserver.h"
#include "testcertificates.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

// Every file below folder, as paths relative to it, sorted.
QStringList filesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

qint64 partBytes(const QString &tempFolder)
{
    qint64 total = 0;
    for (const QFileInfo &fi : QDir(tempFolder).entryInfoList({"*.qvp"}, QDir::Files))
        total += fi.size();
    return total;
}

struct ToolRun {
    int exitCode = -1;
    QString lastLine;
};

// Runs download_list to its end with stdinText on standard input.
ToolRun runTool(const QStringList &args, const QByteArray &stdinText)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(QUARVEL_DOWNLOAD_LIST), args);
    ToolRun r;
    if (!p.waitForStarted(10000)) return r;
    p.write(stdinText);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    r.lastLine = lines.isEmpty() ? QString() : lines.last();
    return r;
}

} // namespace

TEST(DownloadListTool, DownloadKilledHalfwayResumesInANewProcess)
{
    NginxServer nginx;
    ASSERT_TRUE(nginx.start()) << nginx.errorText().toStdString();
    const QByteArray big = randomBytes(3 * 1024 * 1024 + 777, 11);
    ASSERT_TRUE(nginx.writeFile("slow/big.bin", big));
    QTemporaryDir home;
    const QString temp = home.path() + "/qvtemp";
    const QString target = home.path() + "/target";
    const QByteArray url = nginx.url("/slow/big.bin").toUtf8() + "\n";

    // Ten parts at 256 KiB/s each: about a second to go when killed.
    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(QUARVEL_DOWNLOAD_LIST,
                {"--home", home.path(), "--multi", "--part-kb", "256", target});
    ASSERT_TRUE(first.waitForStarted(10000));
    first.write(url);
    first.closeWriteChannel();
    // Killed once every part has begun and some bytes are in.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return partBytes(temp) > 100 * 1024 &&
                   QDir(temp).entryList({"*.qvp"}, QDir::Files).size() == 10;
        },
        20000));
    ASSERT_EQ(first.state(), QProcess::Running);
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);

    // Killed before the join: no target, the state file and the parts stay.
    EXPECT_TRUE(filesBelow(target).isEmpty()) << filesBelow(target).join(' ').toStdString();
    const QStringList left = QDir(temp).entryList({"*.qvi", "*.qvp", "*.dqvi"}, QDir::Files);
    EXPECT_TRUE(left.contains("1.qvi")) << left.join(' ').toStdString();
    EXPECT_EQ(QDir(temp).entryList({"*.qvp"}, QDir::Files).size(), 10);
    const qint64 kept = partBytes(temp);
    EXPECT_GT(kept, 100 * 1024);
    EXPECT_LT(kept, big.size());

    const ToolRun second = runTool({"--home", home.path(), "--resume", target}, QByteArray());
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.lastLine.section(", seconds", 0, 0),
              QString("rows done 1, rows failed 0, bytes %1").arg(big.size()));
    const QStringList got = filesBelow(target);
    ASSERT_EQ(got.size(), 1) << got.join(' ').toStdString();
    EXPECT_TRUE(got[0].endsWith("/big.bin")) << got[0].toStdString();
    EXPECT_EQ(sha256(readAll(target + "/" + got[0])), sha256(big));
    EXPECT_EQ(QDir(temp).entryList({"*.qvi", "*.qvp", "*.dqvi"}, QDir::Files),
              QStringList({"1.dqvi"}));
}

TEST(DownloadListTool, PlainRowsReportTheirStatesInTheExitCode)
{
    NginxServer nginx;
    ASSERT_TRUE(nginx.start()) << nginx.errorText().toStdString();
    QByteArray urls;
    qint64 total = 0;
    for (int i = 0; i < 3; ++i) {
        const QByteArray bytes = randomBytes(1000 + 4000 * i, 20 + i);
        ASSERT_TRUE(nginx.writeFile(QString("f%1.jpg").arg(i), bytes));
        urls += nginx.url(QString("/f%1.jpg").arg(i)).toUtf8() + "\n";
        total += bytes.size();
    }
    QTemporaryDir home;
    const QString target = home.path() + "/target";
    // Blank lines make no rows.
    ToolRun run = runTool({"--home", home.path(), "--simultaneous", "2", target}, urls + "\n  \n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.lastLine.startsWith(
        QString("rows done 3, rows failed 0, bytes %1, seconds ").arg(total)))
        << run.lastLine.toStdString();
    EXPECT_EQ(filesBelow(target).size(), 3);

    // One missing file: exit code 1, the others still done.
    run = runTool({"--home", home.path(), target + "2"}, urls + nginx.url("/missing.jpg").toUtf8());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.lastLine.startsWith("rows done 3, rows failed 1, "))
        << run.lastLine.toStdString();

    // A saved list file: its row keeps its own target; standard input is not read.
    const QString named = home.path() + "/named/x.jpg";
    QFile saved(home.path() + "/saved.gfl");
    ASSERT_TRUE(saved.open(QIODevice::WriteOnly));
    saved.write((named + "<QVRL><QVRL>0/0 bytes<QVRL><QVRL>" + nginx.url("/f0.jpg") + "<QVRL>" +
                 home.path() + "/named<QVRL><QVRL> 0<QVRL><QVRL>\r\n")
                    .toUtf8());
    saved.close();
    EXPECT_EQ(runTool({"--home", home.path(), "--list", saved.fileName()}, urls).exitCode, 0);
    EXPECT_EQ(readAll(named), randomBytes(1000, 20));

    // The idle engine reports its memory.
    run = runTool({"--home", home.path(), "--idle", "0.1"}, QByteArray());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.lastLine.startsWith("rss_kib ")) << run.lastLine.toStdString();
    EXPECT_GT(run.lastLine.mid(8).toLongLong(), 0);
}

TEST(DownloadListTool, SecureFileInTenPartsArrivesWholeOverResumedSessions)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.make()) << certificates.errorText().toStdString();
    NginxServer nginx;
    nginx.addTlsListener("tls", certificates.certificateFile(TestCertificates::Good),
                         certificates.keyFile(TestCertificates::Good));
    ASSERT_TRUE(nginx.start()) << nginx.errorText().toStdString();
    const QByteArray big = randomBytes(10 * 102400, 31);
    ASSERT_TRUE(nginx.writeFile("big.jpg", big));
    const QByteArray url = nginx.tlsUrl("tls", "/big.jpg").toUtf8() + "\n";
    QTemporaryDir home;
    const QString target = home.path() + "/target";

    // Without the test authority the certificate is refused.
    ToolRun run = runTool({"--home", home.path(), target}, url);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(nginx.tlsLog().isEmpty());

    // Every transfer on a connection of its own (--no-reuse).
    run = runTool({"--home", home.path(), "--multi", "--part-kb", "100", "--no-reuse", "--ca",
                   certificates.authorityFile(), target},
                  url);
    EXPECT_EQ(run.exitCode, 0) << run.lastLine.toStdString();
    // The secure address lands in the host folder a plain one would.
    const QString file = QString("127.0.0.1:%1/big.jpg").arg(nginx.tlsPort("tls"));
    EXPECT_EQ(filesBelow(target), QStringList({file}));
    EXPECT_TRUE(readAll(target + "/" + file) == big);
    // The probe and ten ranges; every connection after the first resumes.
    const QStringList log = nginx.tlsLog();
    ASSERT_EQ(log.size(), 11) << log.join('\n').toStdString();
    EXPECT_TRUE(log.first().contains("\"HEAD /big.jpg"));
    EXPECT_EQ(log.filter(QRegularExpression("^\\d+ r ")).size(), 10)
        << log.join('\n').toStdString();
}
