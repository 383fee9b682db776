// fetch_one: runs one transfer through one Quarvel control and prints each of
// its events on a line of its own, for benchmarks and for trying the control
// by hand against a server.
//
//   fetch_one URL FILE [--head] [--range START END] [--min BYTES] [--referer R]
//                      [--quiet-progress] [--ca PEMFILE]
//
// --ca trusts the certificates in PEMFILE for "https://" addresses, besides
// the system's (as "trusted.pem" in the program folder does for the program).
//
// Exit code: 0 Finished, 1 Failed, 2 TooSmall, 3 bad usage or a refused start.

#include "quarvel.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

constexpr int ExitFinished = 0;
constexpr int ExitFailed = 1;
constexpr int ExitTooSmall = 2;
constexpr int ExitUsage = 3;

struct Options {
    QString url;
    QString file;
    bool head = false;
    qint64 start = 0;
    qint64 end = 0;
    qint64 minSize = 0;
    QString referer;
    bool quietProgress = false;
    QString caFile;
};

void printLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int usage(const QString &problem)
{
    std::fprintf(stderr, "fetch_one: %s\n", problem.toLocal8Bit().constData());
    std::fputs("usage: fetch_one URL FILE [--head] [--range START END] [--min BYTES]\n"
               "                 [--referer R] [--quiet-progress] [--ca PEMFILE]\n",
               stderr);
    return ExitUsage;
}

std::optional<qint64> number(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

// Fills `out` from the arguments; returns an error text, empty when they are good.
QString parse(const QStringList &args, Options &out)
{
    QStringList positional;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const qsizetype left = args.size() - 1 - i; // values after this one
        if (a == QLatin1String("--head")) {
            out.head = true;
        } else if (a == QLatin1String("--quiet-progress")) {
            out.quietProgress = true;
        } else if (a == QLatin1String("--range")) {
            if (left < 2)
                return QStringLiteral("--range needs START and END");
            const auto start = number(args[i + 1]);
            const auto end = number(args[i + 2]);
            if (!start || !end)
                return QStringLiteral("--range needs two non-negative numbers");
            out.start = *start;
            out.end = *end;
            i += 2;
        } else if (a == QLatin1String("--min")) {
            const auto bytes = left < 1 ? std::nullopt : number(args[i + 1]);
            if (!bytes)
                return QStringLiteral("--min needs a non-negative number of bytes");
            out.minSize = *bytes;
            ++i;
        } else if (a == QLatin1String("--ca")) {
            if (left < 1)
                return QStringLiteral("--ca needs a PEM file");
            out.caFile = args[++i];
        } else if (a == QLatin1String("--referer")) {
            if (left < 1)
                return QStringLiteral("--referer needs a value");
            out.referer = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option ") + a;
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2)
        return QStringLiteral("expected URL and FILE");
    out.url = positional[0];
    out.file = positional[1];
    // The control wants a folder part in the local name.
    if (!out.file.isEmpty() && !out.file.contains(QLatin1Char('/')))
        out.file.prepend(QStringLiteral("./"));
    return QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options opt;
    const QString problem = parse(app.arguments(), opt);
    if (!problem.isEmpty())
        return usage(problem);

    if (!opt.caFile.isEmpty() && Quarvel::AddTrustedCertificates(opt.caFile) == 0)
        return usage(QStringLiteral("no certificate in ") + opt.caFile);

    Quarvel control;
    // With --quiet-progress only the last Progress is printed, before Finished.
    std::optional<std::pair<qint64, qint64>> lastProgress;

    QObject::connect(&control, &Quarvel::Started, [] { printLine(QStringLiteral("Started")); });
    QObject::connect(&control, &Quarvel::Header,
                     [](int status, const QString &acceptRanges, const QString &contentType,
                        const QString &contentLength, const QString &referer) {
                         printLine(QStringLiteral("Header ") + QString::number(status) +
                                   QLatin1Char('|') + acceptRanges + QLatin1Char('|') +
                                   contentType + QLatin1Char('|') + contentLength +
                                   QLatin1Char('|') + referer);
                     });
    QObject::connect(&control, &Quarvel::Progress, [&](qint64 loaded, qint64 size) {
        if (opt.quietProgress)
            lastProgress.emplace(loaded, size);
        else
            printLine(QStringLiteral("Progress %1 %2").arg(loaded).arg(size));
    });
    QObject::connect(&control, &Quarvel::TooSmall, [] {
        printLine(QStringLiteral("TooSmall"));
        QCoreApplication::exit(ExitTooSmall);
    });
    QObject::connect(&control, &Quarvel::Finished, [&] {
        if (lastProgress)
            printLine(
                QStringLiteral("Progress %1 %2").arg(lastProgress->first).arg(lastProgress->second));
        printLine(QStringLiteral("Finished"));
        QCoreApplication::exit(ExitFinished);
    });
    QObject::connect(&control, &Quarvel::Failed, [](const QString &reason) {
        printLine(QStringLiteral("Failed ") + reason);
        QCoreApplication::exit(ExitFailed);
    });

    if (!control.StartDownload(opt.url, opt.file, opt.minSize, !opt.head, opt.start, opt.end,
                               /*DoAppend*/ false, opt.referer))
        return usage(QStringLiteral("the transfer did not start (local file name: \"") +
                     opt.file + QStringLiteral("\")"));
    return app.exec();
}
