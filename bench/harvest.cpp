// harvest: the site crawl without any window: fetches a page through the
// page fetcher of the download engine, follows its page links down to the
// chosen depth and writes a download row for every file link that passes the
// filters; optionally downloads the rows afterwards. For benchmarks, and for
// trying harvest options by hand.
//
//   harvest URL TARGETDIR [--depth N] [--types jpg,gif,...] [--pattern P]
//           [--no-stay-onsite] [--no-just-go-down] [--no-extra-click]
//           [--no-unique] [--no-multi] [--min-kb N] [--download N] [--print]
//           [--home DIR] [--no-prefetch] [--download-after] [--ca PEMFILE]
//           [--no-skip-downloaded] [--no-reuse] [--no-modern] [--per-server N]
//           [--no-archive]
//
//   --depth N          crawl depth, 1 the start page only (default 1)
//   --types LIST       file types, comma separated: jpg, jpeg, jpe tick the
//                      JPEG box, gif the GIF box, mpg, mpeg the MPEG box, avi,
//                      wmv the video box; anything else becomes a typed type
//                      (default: the JPEG box alone)
//   --pattern P        name patterns as typed in the options window (default *)
//   --no-stay-onsite   follow and collect links written as absolute addresses
//   --no-just-go-down  follow links up the tree too
//   --no-extra-click   no page links beyond the depth at depth 1
//   --no-unique        no time stamp in front of the file names
//   --no-multi         rows are fetched over one connection (default: in parts)
//   --min-kb N         minimum file size in KiB (default 10)
//   --download N       downloads the rows, N groups at a time (1 to 20), from
//                      the first row on while the crawl still runs; the crawl
//                      fetches up to N pages ahead (4 without --download)
//   --download-after   starts the downloads only when the crawl has ended
//   --no-prefetch      fetches one page after the other
//   --no-modern        no pictures from srcset, data-src and the like
//   --per-server N     at most N download groups per server (default 0: no
//                      limit); servers answering 429 or 503 are waited for
//   --print            writes every row, its ten columns joined by "<QVRL>"
//   --home DIR         program folder; its "qvtemp" holds the temporary page
//                      and the state files, its "archive.sqlite" the files
//                      downloaded before (default: a fresh temporary folder)
//   --no-skip-downloaded  adds rows for addresses the archive holds too
//   --ca PEMFILE       trusts the certificates in PEMFILE for "https://"
//                      addresses, besides the system's
//   --no-reuse         opens a new connection for every transfer (by default
//                      connections to a server are kept, as in the program)
//   --no-archive       no archive: nothing is recorded or skipped as
//                      downloaded before (to measure the engine alone)
//
// Last line: "pages P, rows R, done D, failed F, seconds S" (P the pages
// visited, F the rows that did not end "Done"; both 0 without --download).
// Exit code: 0 when the start page was harvested and, with --download, every
// row is "Done"; 1 otherwise; 2 bad usage.

#include "benchsupport.h"
#include "crawler.h"
#include "crawlhost.h"
#include "downloadarchive.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "filefilters.h"
#include "harvestfeed.h"
#include "programstate.h"
#include "quarvel.h"
#include "questions.h"
#include "statefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTime>

#include <cstdio>
#include <optional>

namespace
{

constexpr int ExitGood = 0;
constexpr int ExitNotGood = 1;
constexpr int ExitUsage = 2;
// How often the end of the downloads is looked for.
constexpr int PollMs = 10;

// What the command line asks for.
struct Options {
    QString address;
    QString targetDir;
    QString home; // empty: a fresh temporary folder
    HarvestOptions harvest;
    FileFilters::Boxes boxes{true, false, false, false, false};
    QString manualTypes;
    QString pattern = QStringLiteral("*");
    QString minKB = QStringLiteral("10");
    std::optional<int> download;
    bool print = false;
    bool prefetch = true;
    bool downloadAfter = false;
    bool skipDownloaded = true;
    QString caFile;
    bool reuse = true;
    bool archive = true;
    bool modern = true;
    int perServer = 0;
};

// A headless crawl side: no embedded browser, nothing to show.
class HeadlessHost : public CrawlHost
{
public:
    bool BrowserFetch(const QString &, const std::function<bool()> &, QString &, QString &) override
    {
        return false;
    }
};

using BenchSupport::printLine;
using BenchSupport::wholeNumber;

constexpr BenchSupport::Usage usage{
    "harvest",
    "usage: harvest URL TARGETDIR [--depth N] [--types jpg,gif,...] [--pattern P]\n"
    "               [--no-stay-onsite] [--no-just-go-down] [--no-extra-click]\n"
    "               [--no-unique] [--no-multi] [--min-kb N] [--download N] [--print]\n"
    "               [--home DIR] [--no-prefetch] [--download-after] [--ca PEMFILE]\n"
    "               [--no-skip-downloaded] [--no-reuse] [--no-modern] [--per-server N]\n"
    "               [--no-archive]\n",
    ExitUsage};

// The file-type boxes and typed types of a --types list; an error text, empty
// when the list is good.
QString parseTypes(const QString &list, Options &out)
{
    out.boxes = {};
    QStringList typed;
    for (const QString &raw : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString type = raw.trimmed().toLower();
        if (type == QLatin1String("jpg") || type == QLatin1String("jpeg") ||
            type == QLatin1String("jpe")) {
            out.boxes[0] = true;
        } else if (type == QLatin1String("gif")) {
            out.boxes[1] = true;
        } else if (type == QLatin1String("mpg") || type == QLatin1String("mpeg")) {
            out.boxes[2] = true;
        } else if (type == QLatin1String("avi") || type == QLatin1String("wmv")) {
            out.boxes[3] = true;
        } else {
            // The typed-types box takes letters only.
            static const QRegularExpression letters(QStringLiteral("^[a-z]+$"));
            if (!letters.match(type).hasMatch())
                return QStringLiteral("--types takes letters only: ") + raw;
            typed << type;
        }
    }
    if (!typed.isEmpty()) {
        out.boxes[FileFilters::ManualTypeBox] = true;
        out.manualTypes = typed.join(QLatin1Char(','));
    }
    return QString();
}

// Fills out from the arguments; returns an error text, empty when they are good.
QString parse(const QStringList &args, Options &out)
{
    QStringList positional;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        const QString value = hasValue ? args[i + 1] : QString();
        if (a == QLatin1String("--no-stay-onsite")) {
            out.harvest.StayOnsite = false;
        } else if (a == QLatin1String("--no-just-go-down")) {
            out.harvest.JustGoDown = false;
        } else if (a == QLatin1String("--no-extra-click")) {
            out.harvest.DoExtraClick = false;
        } else if (a == QLatin1String("--no-unique")) {
            out.harvest.UniqueFilename = false;
        } else if (a == QLatin1String("--no-multi")) {
            out.harvest.MultiDnl = false;
        } else if (a == QLatin1String("--print")) {
            out.print = true;
        } else if (a == QLatin1String("--no-reuse")) {
            out.reuse = false;
        } else if (a == QLatin1String("--no-archive")) {
            out.archive = false;
        } else if (a == QLatin1String("--no-prefetch")) {
            out.prefetch = false;
        } else if (a == QLatin1String("--no-skip-downloaded")) {
            out.skipDownloaded = false;
        } else if (a == QLatin1String("--no-modern")) {
            out.modern = false;
        } else if (a == QLatin1String("--per-server")) {
            const auto n =
                hasValue ? wholeNumber(value, 0, DownloadEngine::GroupCount) : std::nullopt;
            if (!n) return QStringLiteral("--per-server needs a number from 0 to 20");
            out.perServer = *n;
            ++i;
        } else if (a == QLatin1String("--download-after")) {
            out.downloadAfter = true;
        } else if (a == QLatin1String("--depth")) {
            const auto n = hasValue ? wholeNumber(value, 1, 1000) : std::nullopt;
            if (!n) return QStringLiteral("--depth needs a number from 1 to 1000");
            out.harvest.RecurseIndexDepth = *n;
            ++i;
        } else if (a == QLatin1String("--types")) {
            if (!hasValue) return QStringLiteral("--types needs a list");
            const QString problem = parseTypes(value, out);
            if (!problem.isEmpty()) return problem;
            ++i;
        } else if (a == QLatin1String("--pattern")) {
            if (!hasValue) return QStringLiteral("--pattern needs a pattern");
            out.pattern = value;
            ++i;
        } else if (a == QLatin1String("--min-kb")) {
            // The row keeps the size in bytes as a 32-bit count.
            const auto n = hasValue ? wholeNumber(value, 0, 2 * 1024 * 1024 - 1) : std::nullopt;
            if (!n) return QStringLiteral("--min-kb needs a number of KiB");
            out.minKB = QString::number(*n);
            ++i;
        } else if (a == QLatin1String("--download")) {
            const auto n =
                hasValue ? wholeNumber(value, 1, DownloadEngine::GroupCount) : std::nullopt;
            if (!n) return QStringLiteral("--download needs a number from 1 to 20");
            out.download = *n;
            ++i;
        } else if (a == QLatin1String("--home")) {
            if (!hasValue) return QStringLiteral("--home needs a folder");
            out.home = value;
            ++i;
        } else if (a == QLatin1String("--ca")) {
            if (!hasValue) return QStringLiteral("--ca needs a PEM file");
            out.caFile = value;
            ++i;
        } else if (a.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option ") + a;
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) return QStringLiteral("expected URL and TARGETDIR");
    out.address = positional[0];
    out.targetDir = QFileInfo(positional[1]).absoluteFilePath();
    return QString();
}

// The row's ten columns as the state files write them.
QString rowLine(const DownloadListModel &list, int row)
{
    QStringList cells;
    for (int c = 0; c < DownloadListModel::DownloadColumnCount; ++c)
        cells << (c == 0 ? list.text(row) : list.subItem(row, c));
    return cells.join(QStringLiteral("<QVRL>"));
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

    QTemporaryDir scratch;
    QString home = opt.home;
    if (home.isEmpty()) {
        if (!scratch.isValid()) return usage(QStringLiteral("cannot create a temporary folder"));
        home = scratch.path();
    }
    const QString tempFolder = QDir(home).absoluteFilePath(QStringLiteral("qvtemp"));
    if (!QDir().mkpath(tempFolder)) return usage(QStringLiteral("cannot create ") + tempFolder);

    ProgramSettings settings;
    settings.TargetDir =
        opt.targetDir.endsWith(QLatin1Char('/')) ? opt.targetDir : opt.targetDir + QLatin1Char('/');
    settings.SkipDownloaded = opt.skipDownloaded;
    settings.KeepConnections = opt.reuse;
    settings.ModernPictures = opt.modern;
    StateFiles files(tempFolder);
    DownloadListModel list;
    DownloadState state;
    state.SimultaneousDownloads = opt.download.value_or(state.SimultaneousDownloads);
    state.PerServer = opt.perServer;
    DownloadEngine engine(list, state, files);
    // A database that cannot be used is reported on stderr; the run goes on.
    BenchSupport::StderrQuestions questions("harvest");
    std::optional<DownloadArchive> archive;
    if (opt.archive) {
        archive.emplace(home, questions);
        engine.SetArchive(&*archive);
    }
    engine.SetKeepConnections(opt.reuse);
    HeadlessHost host;
    Crawler crawler(*engine.Quarvel1(0), list, state, settings, tempFolder,
                    QTime::currentTime().toString(QStringLiteral("hhmmss")), host);
    crawler.Options = opt.harvest;
    crawler.Filters = FileFilters::FromCheckBoxes(opt.boxes, opt.manualTypes, opt.pattern);
    crawler.MinFileSizeText = opt.minKB;
    crawler.Prefetch = opt.prefetch;
    crawler.Archive = archive ? &*archive : nullptr;
    crawler.Waits = &engine.Waits();

    QElapsedTimer clock;
    clock.start();
    qint64 crawlNs = 0;

    // The crawl and the scheduler pass run inside the event loop, as the
    // program runs them; it ends once no group runs any more.
    bool harvested = false;
    // With --download the rows start as the crawl adds them.
    HarvestFeed feed(engine, list, state);
    BenchSupport::runUntilIdle(engine, PollMs, [&] {
        if (opt.download && !opt.downloadAfter) feed.Begin();
        harvested = crawler.StartHarvest(opt.address) &&
                    crawler.Outcome().startsWith(QLatin1String("finished harvest"));
        crawlNs = clock.nsecsElapsed();
        feed.End();
        if (opt.download) engine.DownloadFilesFromLV(false);
    });
    // The archive's worker may still be writing the last files: part of the run.
    if (archive) archive->Flush();
    const qint64 totalNs = clock.nsecsElapsed();

    int done = 0;
    for (int row = 1; row <= list.count(); ++row) {
        if (opt.print) printLine(rowLine(list, row));
        if (opt.download && BenchSupport::rowDone(list, row, "harvest")) ++done;
    }
    if (!harvested)
        std::fprintf(stderr, "harvest: %s\n", crawler.Outcome().toLocal8Bit().constData());
    const int failed = opt.download ? int(list.count()) - done : 0;
    if (opt.download)
        std::fprintf(stderr, "harvest: crawl %.2f s, downloads %.2f s\n", double(crawlNs) / 1e9,
                     double(totalNs - crawlNs) / 1e9);
    else
        std::fprintf(stderr, "harvest: crawl %.4f s\n", double(crawlNs) / 1e9);
    printLine(QStringLiteral("pages %1, rows %2, done %3, failed %4, seconds %5")
                  .arg(crawler.Visited().size())
                  .arg(list.count())
                  .arg(done)
                  .arg(failed)
                  .arg(BenchSupport::seconds(totalNs)));
    return harvested && failed == 0 ? ExitGood : ExitNotGood;
}
