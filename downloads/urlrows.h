#pragma once

#include <QString>
#include <QStringList>

class DownloadListModel;
struct DownloadState;

// Download rows made from a bare address, as a file of addresses and the
// clipboard capture make them.
namespace UrlRows
{

// The longest component SafeComponent gives, in UTF-8 bytes. File systems
// allow 255; the rest is room for the "A"s the unique-name rule puts in front
// of a taken name and for the join's temporary name (name + ".join.XXXXXX").
constexpr qsizetype MaxNameBytes = 200;

// One path component made safe: "/", "\" and NUL become "_", an empty
// component, "." and ".." become "_", and a name longer than MaxNameBytes is
// shortened keeping its extension. A local path built from an address can
// therefore never leave its target folder, and its file name always leaves
// room for the unique-name rule.
QString SafeComponent(const QString &component);

// The host of an address (AddressHost): every "http://", "HTTP://",
// "https://" and "HTTPS://" removed, cut before the first "/". The host
// folder keeps a ":" (SafeComponent leaves it).
QString HostOf(const QString &url);

// What such a row takes from the harvest options.
struct AddressRowOptions {
    QString TargetDirText;    // the options window's target folder box, as typed
    QString TargetDir;        // the target directory setting ("Target Dir" column)
    qint64 MinFileSizeKB = 0; // the minimum size box's leading number
    bool Multi = false;       // the multi-part box
};

// folder/host/name with host and name made safe; the typed folder is trimmed
// and keeps no trailing "/". An empty folder gives host/name.
QString LocalPath(const QString &folderText, const QString &host, const QString &name);

// The ten columns of the row a line of a plain address file makes: target
// file <folder>/<host>/<last path segment>, size "0/0 bytes", the minimum
// size in bytes with one leading blank, "TRUE" in "mdnl number" when multi.
// Empty (no row) for an empty line or one without "/".
QStringList PlainUrlRow(const QString &line, const AddressRowOptions &options);

// Appends PlainUrlRow's row; the last-row index follows. Returns the new
// position, or 0 when the address makes no row.
int AppendPlainUrl(DownloadListModel &list, DownloadState &state, const QString &url,
                   const QString &targetDir, qint64 minFileSizeKB, bool multi);

} // namespace UrlRows
