#pragma once

#include "urlrows.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class DownloadListModel;
class ListModel;
class UrlListModel;
struct DownloadState;

// The list files: both lists saved one row a line, fields joined by
// "<QVRL>", UTF-8 with CR LF after every line; and the plain address files
// that load into the download list. Reading and building rows is kept apart
// from the models so that the window commands and the tools share it.
namespace ListFiles
{

// The field separator, matched without regard to letter case when read.
QString Separator();

// The lines of a file's text. A line ends at CR LF or at a lone LF, and a CR
// left at its end is dropped. With several pieces an empty or blank last
// piece is no line; a text without line end is one line (empty text, one
// empty line). SeveralPieces tells whether the text held a line end at all.
struct Lines {
    QStringList Items;
    bool SeveralPieces = false;
};
Lines SplitLines(const QString &text);

// A line's fields, split at the separator in any letter case.
QStringList SplitFields(const QString &line);
// A field as it is written: line breaks (LF, and CR LF) removed and the "<"
// of every separator inside it written "%3C", so that every saved row loads
// back as one row with the same number of fields. A field read from a list
// file holds neither and is written unchanged.
QString CleanField(const QString &field);
// The file's bytes for these rows (UTF-8, CR LF after every line; a byte
// order mark in front when the first field starts with one, since reading
// drops the first).
QByteArray Serialise(const QList<QStringList> &rows);
// Every row of a list, each as its columns in column order.
QList<QStringList> RowsOf(const ListModel &list);
// The download list's rows as saved: the ten columns, and for a row that
// failed with a reason (the State cell's tooltip) that reason as an
// eleventh field. Readers that take ten fields ignore it.
QList<QStringList> DownloadRowsOf(const DownloadListModel &list);

// Writes the file in one piece (all or nothing); false when it could not be
// written.
bool WriteFile(const QString &path, const QByteArray &bytes);
// A file's text: UTF-8, or Latin-1 for a file that is not valid UTF-8 (older
// files in a single-byte code page). No value when it cannot be read.
std::optional<QString> ReadFile(const QString &path);

// The rows "load URL list" appends: one per line with a separator, nine
// columns (the first nine fields; missing ones empty).
QList<QStringList> UrlListRows(const QString &text);

// The rows "load download list" appends. A first line holding the separator
// makes the text a list file (one row per line with a separator, the first
// ten fields as stored and an eleventh, the failure reason, when there is
// one); otherwise every line is an address (PlainUrlRow).
// StartEnabled: the text held a line end, which enables "start all".
struct DownloadRows {
    QList<QStringList> Rows;
    bool StartEnabled = false;
};
DownloadRows DownloadListRows(const QString &text, const UrlRows::AddressRowOptions &options);

// Appends rows to the lists in one insertion each. The download list's
// last-row index becomes the last new row, and stays when nothing was added;
// an eleventh field becomes the row's failure reason.
// Both return the number of rows added.
int AppendUrlRows(UrlListModel &urls, const QList<QStringList> &rows);
int AppendDownloadRows(DownloadListModel &list, DownloadState &state,
                       const QList<QStringList> &rows);

} // namespace ListFiles
