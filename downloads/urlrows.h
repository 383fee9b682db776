#pragma once

#include <QString>

class DownloadListModel;
struct DownloadState;

// Download rows made from a plain address, as a file of addresses loads them.
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

// The host of an address: every "http://" and "HTTP://" removed, cut before
// the first "/".
QString HostOf(const QString &url);

// Appends a row for url: target file targetDir/host/<last path segment>,
// size "0/0 bytes", the minimum size in bytes with one leading blank, "TRUE"
// in "mdnl number" when multi. The last-row index follows. Returns the new
// position, or 0 (no row) for an empty address or one without "/".
int AppendPlainUrl(DownloadListModel &list, DownloadState &state, const QString &url,
                   const QString &targetDir, qint64 minFileSizeKB, bool multi);

} // namespace UrlRows
