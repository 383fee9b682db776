// download_list: runs the download engine (the pool of transfer controls, the
// scheduler and the handling of their events) without any window over a
// download list read from standard input, one address a line, or from a saved
// list file, and prints a summary; for benchmarks, and for trying interrupted
// downloads by hand.
//
//   download_list [--home DIR] [--simultaneous N] [--multi] [--part-kb K]
//                 [--resume] [--ca PEMFILE] [--no-reuse] [--per-server N]
//                 [--no-archive] TARGETDIR < URLS
//   download_list [--home DIR] [--simultaneous N] [--multi] [--part-kb K]
//                 [--resume] [--ca PEMFILE] [--no-reuse] [--per-server N]
//                 [--no-archive] --list FILE [TARGETDIR]
//   download_list [--home DIR] --idle SECONDS
//
//   --home DIR        program folder; its "qvtemp" holds the state files, its
//                     "archive.sqlite" every finished file (default: the
//                     current folder)
//   --simultaneous N  groups in use, 1 to 20 (default 4)
//   --multi           rows are fetched in parts where the server allows it
//   --part-kb K       part size of such rows in KiB (default 512)
//   --resume          first loads the broken downloads of DIR/qvtemp and
//                     restarts them, then starts the rows from standard input
//   --ca PEMFILE      trusts the certificates in PEMFILE for "https://"
//                     addresses, besides the system's
//   --no-reuse        opens a new connection for every transfer (by default
//                     connections to a server are kept, as in the program)
//   --list FILE       loads FILE as the download window's "load list" does
//                     (a saved list keeps every column, "mdnl number" and
//                     the options included; a file of bare addresses makes
//                     rows under TARGETDIR, default the current folder) and
//                     starts the rows as "start all" does; standard input is
//                     not read
//   --per-server N    at most N groups per server at a time (default 0: no
//                     limit); a server answering 429 or 503 is waited for
//   --no-archive      records no finished file (to measure the engine alone)
//   --idle SECONDS    only builds the engine (201 controls), waits, and prints
//                     "rss_kib N" (resident memory)
//
// Last line: "rows done N, rows failed M, bytes B, seconds S" (M counts every
// row that did not end "Done"; B is the size of the files of the "Done" rows).
// Exit code: 0 every row "Done", 1 some row not, 2 bad usage.

#include "benchsupport.h"
#include "brokendownloads.h"
#include "downloadarchive.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "listfiles.h"
#include "quarvel.h"
#include "statefiles.h"
#include "urlrows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace
{

constexpr int ExitAllDone = 0;
constexpr int ExitNotAllDone = 1;
constexpr int ExitUsage = 2;
// How often the end of the downloads is looked for.
constexpr int PollMs = 50;

struct Options {
    QString home = QStringLiteral(".");
    int simultaneous = 4;
    bool multi = false;
    int partKB = 512;
    bool resume = false;
    QString caFile;
    bool reuse = true;
    bool archive = true;
    QString listFile;
    int perServer = 0;
    std::optional<double> idleSeconds;
    QString targetDir;
};

using BenchSupport::printLine;
using BenchSupport::wholeNumber;

constexpr BenchSupport::Usage usage{
    "download_list",
    "usage: download_list [--home DIR] [--simultaneous N] [--multi] [--part-kb K]\n"
    "                     [--resume] [--ca PEMFILE] [--no-reuse] [--per-server N]\n"
    "                     [--no-archive] TARGETDIR < URLS\n"
    "       download_list [--home DIR] [--simultaneous N] [--multi] [--part-kb K]\n"
    "                     [--resume] [--ca PEMFILE] [--no-reuse] [--per-server N]\n"
    "                     [--no-archive] --list FILE [TARGETDIR]\n"
    "       download_list [--home DIR] --idle SECONDS\n",
    ExitUsage};

// Fills out from the arguments; returns an error text, empty when they are good.
QString parse(const QStringList &args, Options &out)
{
    QStringList positional;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--multi")) {
            out.multi = true;
        } else if (a == QLatin1String("--resume")) {
            out.resume = true;
        } else if (a == QLatin1String("--no-reuse")) {
            out.reuse = false;
        } else if (a == QLatin1String("--no-archive")) {
            out.archive = false;
        } else if (a == QLatin1String("--home")) {
            if (!hasValue) return QStringLiteral("--home needs a folder");
            out.home = args[++i];
        } else if (a == QLatin1String("--list")) {
            if (!hasValue) return QStringLiteral("--list needs a list file");
            out.listFile = args[++i];
        } else if (a == QLatin1String("--ca")) {
            if (!hasValue) return QStringLiteral("--ca needs a PEM file");
            out.caFile = args[++i];
        } else if (a == QLatin1String("--simultaneous")) {
            const auto n =
                hasValue ? wholeNumber(args[i + 1], 1, DownloadEngine::GroupCount) : std::nullopt;
            if (!n) return QStringLiteral("--simultaneous needs a number from 1 to 20");
            out.simultaneous = *n;
            ++i;
        } else if (a == QLatin1String("--per-server")) {
            const auto n =
                hasValue ? wholeNumber(args[i + 1], 0, DownloadEngine::GroupCount) : std::nullopt;
            if (!n) return QStringLiteral("--per-server needs a number from 0 to 20");
            out.perServer = *n;
            ++i;
        } else if (a == QLatin1String("--part-kb")) {
            // At most 2 GiB a part, so that the byte count fits the engine's int.
            const auto k = hasValue ? wholeNumber(args[i + 1], 1, 2 * 1024 * 1024) : std::nullopt;
            if (!k) return QStringLiteral("--part-kb needs a positive number of KiB");
            out.partKB = *k;
            ++i;
        } else if (a == QLatin1String("--idle")) {
            bool ok = false;
            const double s = hasValue ? args[i + 1].toDouble(&ok) : 0.0;
            if (!ok || s < 0 || s > 86400)
                return QStringLiteral("--idle needs a number of seconds");
            out.idleSeconds = s;
            ++i;
        } else if (a.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option ") + a;
        } else {
            positional << a;
        }
    }
    if (out.idleSeconds) {
        if (!positional.isEmpty()) return QStringLiteral("--idle takes no TARGETDIR");
        return QString();
    }
    // A list file may do without TARGETDIR: its rows name their targets.
    if (positional.isEmpty() && !out.listFile.isEmpty()) positional << QStringLiteral(".");
    if (positional.size() != 1) return QStringLiteral("expected TARGETDIR");
    out.targetDir = QFileInfo(positional[0]).absoluteFilePath();
    return QString();
}

// The resident memory of this process in KiB (VmRSS), -1 when unknown.
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text)) return -1;
    // The file reports no size: read it whole rather than up to its "end".
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:")) {
            bool ok = false;
            const qint64 kib = line.mid(6).simplified().split(' ').value(0).toLongLong(&ok);
            return ok ? kib : -1;
        }
    }
    return -1;
}

// Lets the event loop run for ms milliseconds.
void sleepInEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options opt;
    const QString problem = parse(app.arguments(), opt);
    if (!problem.isEmpty()) return usage(problem);

    if (!opt.caFile.isEmpty() && Quarvel::AddTrustedCertificates(opt.caFile) == 0)
        return usage(QStringLiteral("no certificate in ") + opt.caFile);

    const QString tempFolder = QDir(opt.home).absoluteFilePath(QStringLiteral("qvtemp"));
    if (!QDir().mkpath(tempFolder)) return usage(QStringLiteral("cannot create ") + tempFolder);
    StateFiles files(tempFolder);
    DownloadListModel list;
    DownloadState state;
    state.SimultaneousDownloads = opt.simultaneous;
    state.PartSizeKB = opt.partKB;
    state.PerServer = opt.perServer;
    DownloadEngine engine(list, state, files);
    BenchSupport::StderrQuestions questions("download_list");
    std::optional<DownloadArchive> archive;
    if (opt.archive) {
        archive.emplace(opt.home, questions);
        engine.SetArchive(&*archive);
    }
    engine.SetKeepConnections(opt.reuse);

    if (opt.idleSeconds) {
        sleepInEventLoop(int(*opt.idleSeconds * 1000));
        printLine(QStringLiteral("rss_kib %1").arg(residentKiB()));
        return ExitAllDone;
    }

    QElapsedTimer clock;
    clock.start();

    // The broken downloads come first, as the "load" answer puts them into
    // the list; the rows from standard input follow.
    int broken = 0;
    if (opt.resume) {
        const QStringList names = BrokenDownloads::Find(files);
        BrokenDownloads::Load(files, names, list, state);
        broken = list.count();
        for (int row = 1; row <= broken; ++row)
            list.setSelected(row, true);
    }
    if (!opt.listFile.isEmpty()) {
        const std::optional<QString> text = ListFiles::ReadFile(opt.listFile);
        if (!text) return usage(QStringLiteral("cannot read ") + opt.listFile);
        const UrlRows::AddressRowOptions rowOptions{opt.targetDir, opt.targetDir, 0, opt.multi};
        ListFiles::AppendDownloadRows(list, state,
                                      ListFiles::DownloadListRows(*text, rowOptions).Rows);
    }
    QTextStream in(stdin);
    QString line;
    while (opt.listFile.isEmpty() && in.readLineInto(&line)) {
        if (line.trimmed().isEmpty()) continue;
        if (UrlRows::AppendPlainUrl(list, state, line, opt.targetDir, 0, opt.multi) == 0)
            std::fprintf(stderr, "download_list: no row for \"%s\"\n",
                         line.toLocal8Bit().constData());
    }

    // The passes run inside the event loop; it ends once no group runs any
    // more (only after the passes have returned).
    BenchSupport::runUntilIdle(engine, PollMs, [&] {
        if (broken > 0) {
            engine.DownloadFilesFromLV(true);
            state.CurrentRow = broken;
        }
        engine.DownloadFilesFromLV(false);
    });
    // The archive's worker may still be writing the last files: part of the run.
    if (archive) archive->Flush();

    int done = 0;
    qint64 bytes = 0;
    for (int row = 1; row <= list.count(); ++row) {
        if (!BenchSupport::rowDone(list, row, "download_list")) continue;
        ++done;
        bytes += QFileInfo(list.text(row)).size();
    }
    const int failed = list.count() - done;
    printLine(QStringLiteral("rows done %1, rows failed %2, bytes %3, seconds %4")
                  .arg(done)
                  .arg(failed)
                  .arg(bytes)
                  .arg(BenchSupport::seconds(clock.nsecsElapsed())));
    return failed == 0 ? ExitAllDone : ExitNotAllDone;
}
