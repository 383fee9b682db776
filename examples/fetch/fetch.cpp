// fetch URL FILE: downloads one address into one file with Dornex's transfer
// control and reports how it ended. Exit code 0 when the file is complete,
// 1 when the transfer failed, 2 for bad usage.
#include <dornex/quarvel.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: fetch URL FILE\n", stderr);
        return 2;
    }

    Quarvel control;
    int rc = 1;
    QObject::connect(&control, &Quarvel::Progress, [](qint64 loaded, qint64 size) {
        std::printf("\r%lld of %lld bytes", static_cast<long long>(loaded),
                    static_cast<long long>(size));
        std::fflush(stdout);
    });
    QObject::connect(&control, &Quarvel::Finished, [&] {
        std::printf("\nsaved %s\n", qPrintable(control.LocalFile()));
        rc = 0;
        app.quit();
    });
    QObject::connect(&control, &Quarvel::Failed, [&](const QString &reason) {
        std::fprintf(stderr, "\nfailed: %s\n", qPrintable(reason));
        app.quit();
    });

    // A GET of the whole file, no minimum size, no range, no referer. The
    // control picks another name when the file exists already.
    const QString file = QFileInfo(args.at(2)).absoluteFilePath();
    if (!control.StartDownload(args.at(1), file, 0, true, 0, 0, false, QString())) {
        std::fputs("fetch: the local file needs a folder part\n", stderr);
        return 2;
    }
    app.exec();
    return rc;
}
