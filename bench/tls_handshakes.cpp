// tls_handshakes: runs COUNT HEAD transfers of one address one after the
// other through one Quarvel control, each on a connection of its own unless
// --keep is given, and prints the client's CPU time per transfer. Over TLS
// every transfer after the first resumes the session the first one got, so
// the difference between an "https://" and an "http://" run of the same
// server is the client's CPU time per resumed handshake.
//
//   tls_handshakes URL COUNT [--ca PEMFILE] [--keep]
//
// The first transfer (the full handshake) is not counted. Last line:
// "transfers N, failed F, cpu_ms_per_transfer X, seconds S".
// Exit code: 0 none failed, 1 some failed, 2 bad usage.

#include "quarvel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace
{

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

int usage(const char *problem)
{
    std::fprintf(stderr,
                 "tls_handshakes: %s\nusage: tls_handshakes URL COUNT [--ca PEMFILE] [--keep]\n",
                 problem);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString url, caFile;
    int count = 0;
    bool keep = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--keep")) {
            keep = true;
        } else if (args[i] == QLatin1String("--ca") && i + 1 < args.size()) {
            caFile = args[++i];
        } else if (url.isEmpty()) {
            url = args[i];
        } else if (count == 0) {
            count = args[i].toInt();
        } else {
            return usage("too many arguments");
        }
    }
    if (url.isEmpty() || count <= 0) return usage("expected URL and a positive COUNT");
    if (!caFile.isEmpty() && Quarvel::AddTrustedCertificates(caFile) == 0)
        return usage("no certificate in the --ca file");

    QTemporaryDir dir;
    Quarvel control;
    control.SetKeepConnections(keep);
    int done = -1, failed = 0; // the first transfer is not counted
    double cpuStart = 0;
    QElapsedTimer clock;
    const auto next = [&] {
        if (++done == 0) {
            cpuStart = cpuMs();
            clock.start();
        }
        if (done == count) {
            QCoreApplication::quit();
            return;
        }
        control.StartDownload(url, dir.filePath(QStringLiteral("h")), 0, false, 0, 0, false, {});
    };
    QObject::connect(&control, &Quarvel::Finished, &app, next, Qt::QueuedConnection);
    QObject::connect(
        &control, &Quarvel::Failed, &app,
        [&](const QString &reason) {
            if (++failed == 1) std::fprintf(stderr, "tls_handshakes: %s\n", qPrintable(reason));
            next();
        },
        Qt::QueuedConnection);
    control.StartDownload(url, dir.filePath(QStringLiteral("h")), 0, false, 0, 0, false, {});
    app.exec();
    std::printf("transfers %d, failed %d, cpu_ms_per_transfer %.4f, seconds %.3f\n", count, failed,
                (cpuMs() - cpuStart) / count, clock.elapsed() / 1000.0);
    return failed ? 1 : 0;
}
