// lists: the program's own list-file and clipboard code without windows.
// Prints the rows a command produces one per line, fields joined by a TAB.
//
//   lists load-download FILE [--target-dir D] [--min-kb K] [--multi]
//       the rows "load download list" appends to an empty download list
//       (a list file or a plain file of addresses; the options stand for the
//       harvest options' target folder, minimum size box and multi-part box)
//   lists load-url FILE
//       the rows "load URL list" appends to an empty URL list
//   lists save-download FILE
//   lists save-url FILE
//       reads rows (TAB-separated fields, one per line) from standard input
//       and saves them as the save commands do
//   lists capture [--target-dir D] [--min-kb K] [--multi]
//       the rows the clipboard capture makes from standard input as the
//       clipboard text
//
// Exit code: 0 done; 1 bad usage; 2 a file that could not be read or written
// (with a message on standard error).

#include "clipboardcapture.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "leadingnumber.h"
#include "listfiles.h"
#include "urllistmodel.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace
{

int Usage()
{
    std::fputs("usage: lists load-download FILE [--target-dir D] [--min-kb K] [--multi]\n"
               "       lists load-url FILE\n"
               "       lists save-download FILE < ROWS\n"
               "       lists save-url FILE < ROWS\n"
               "       lists capture [--target-dir D] [--min-kb K] [--multi] < TEXT\n",
               stderr);
    return 1;
}

QString StandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(in.readAll());
}

void Print(const ListModel &list)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) return;
    for (const QStringList &row : ListFiles::RowsOf(list))
        out.write(row.join(QLatin1Char('\t')).toUtf8() + '\n');
}

int Failed(const char *what, const QString &path)
{
    std::fprintf(stderr, "lists: cannot %s %s\n", what, qPrintable(path));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString command = args.takeFirst();

    // The harvest options a row made from a bare address takes.
    UrlRows::AddressRowOptions options;
    QString file;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--multi")) {
            options.Multi = true;
        } else if (arg == QLatin1String("--target-dir") && !args.isEmpty()) {
            options.TargetDirText = options.TargetDir = args.takeFirst();
        } else if (arg == QLatin1String("--min-kb") && !args.isEmpty()) {
            options.MinFileSizeKB = LeadingNumber(args.takeFirst());
        } else if (file.isEmpty() && !arg.startsWith(QLatin1String("--"))) {
            file = arg;
        } else {
            return Usage();
        }
    }

    DownloadListModel downloads;
    UrlListModel urls;
    DownloadState state;
    if (command == QLatin1String("capture")) {
        ClipboardCapture::Capture(downloads, state, StandardInput(), options);
        Print(downloads);
        return 0;
    }
    if (file.isEmpty()) return Usage();
    if (command == QLatin1String("load-download") || command == QLatin1String("load-url")) {
        const std::optional<QString> text = ListFiles::ReadFile(file);
        if (!text) return Failed("read", file);
        if (command == QLatin1String("load-url")) {
            ListFiles::AppendUrlRows(urls, ListFiles::UrlListRows(*text));
            Print(urls);
        } else {
            ListFiles::AppendDownloadRows(downloads, state,
                                          ListFiles::DownloadListRows(*text, options).Rows);
            Print(downloads);
        }
        return 0;
    }
    if (command == QLatin1String("save-download") || command == QLatin1String("save-url")) {
        ListModel &list =
            command == QLatin1String("save-url") ? static_cast<ListModel &>(urls) : downloads;
        QList<QStringList> rows;
        QStringList lines = StandardInput().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        for (QString line : lines) {
            if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
            rows.append(line.split(QLatin1Char('\t')));
        }
        list.appendRows(rows);
        if (!ListFiles::WriteFile(file, ListFiles::Serialise(ListFiles::RowsOf(list))))
            return Failed("write", file);
        return 0;
    }
    return Usage();
}
