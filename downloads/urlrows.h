#pragma once

#include <QString>

class DownloadListModel;
struct DownloadState;

// Download rows made from a plain address, as a file of addresses loads them.
namespace UrlRows
{

// One path component made safe: "/", "\" and NUL become "_", an empty
// component, "." and ".." become "_", and a name longer than 255 bytes is
// shortened keeping its extension. A local path built from an address can
// therefore never leave its target folder.
QString SafeComponent(const QString &component);

// The host of an address: every "http://", "HTTP://", "https://" and
// "HTTPS://" removed, cut before the first "/".
QString HostOf(const QString &url);

// Appends a row for url: target file targetDir/host/<last path segment>,
// size "0/0 bytes", the minimum size in bytes with one leading blank, "TRUE"
// in "mdnl number" when multi. The last-row index follows. Returns the new
// position, or 0 (no row) for an empty address or one without "/".
int AppendPlainUrl(DownloadListModel &list, DownloadState &state, const QString &url,
                   const QString &targetDir, qint64 minFileSizeKB, bool multi);

} // namespace UrlRows
