#pragma once

#include <QStringList>

class DownloadListModel;
class StateFiles;
struct DownloadState;

// Broken downloads: multi-part downloads whose state files an earlier run
// left in the temporary folder. Loading one appends its saved row to the
// download list with its state number in "mdnl number", so that starting the
// row resumes it from its part files.
namespace BrokenDownloads
{

// The state files found (up to 100, in order of their numbers).
QStringList Find(const StateFiles &files);

// Appends a row for every listed state file that can still be read; a saved
// row with fewer than ten columns gets empty text for the missing ones. The
// last-row index follows. Returns how many state files were read.
int Load(const StateFiles &files, const QStringList &names, DownloadListModel &list,
         DownloadState &state);

} // namespace BrokenDownloads
