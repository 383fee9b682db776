#pragma once

#include "urlrows.h"

#include <QList>
#include <QString>
#include <QStringList>

class DownloadListModel;
struct DownloadState;

// The clipboard capture: every word of copied text that reads as an address
// with a path becomes a download row, without fetching or filtering.
namespace ClipboardCapture
{

// The words of the text: spaces, CR LF and lone LFs separate them (tabs do
// not); each is trimmed and empty ones are dropped.
QStringList Words(const QString &text);

// The ten columns of the row one word makes: target file
// <folder>/<host>/<name after the last "/">, size "0/0 bytes", the word as
// source, the minimum size in bytes, "TRUE" in "mdnl number" when multi.
// The host is AddressHost's, so a secure address goes under its host's
// folder like a plain one. Empty (no row) when the word without its scheme
// holds no "/" (a bare host is not taken).
QStringList Row(const QString &word, const UrlRows::AddressRowOptions &options);

// The rows the text makes, in the order of its words.
QList<QStringList> Rows(const QString &text, const UrlRows::AddressRowOptions &options);

// Appends the rows in one insertion; the last-row index becomes the last new
// row. Returns the number of rows added.
int Capture(DownloadListModel &list, DownloadState &state, const QString &text,
            const UrlRows::AddressRowOptions &options);

} // namespace ClipboardCapture
