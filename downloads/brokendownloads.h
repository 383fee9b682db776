#pragma once

#include <QList>
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

// What the broken-downloads question shows of one broken download.
struct BrokenDownload {
    QString FileName;     // the target file's name, without its folder
    qint64 BytesHeld = 0; // bytes its part files hold so far
    qint64 Length = 0;    // the whole file's length as the state file gives it
    int Parts = 0;        // the number of parts it was split into
    friend bool operator==(const BrokenDownload &, const BrokenDownload &) = default;
};

// The listed state files that can still be read, in list order, described
// from their saved row and the lengths of their part files. Nothing is
// created or changed.
QList<BrokenDownload> Describe(const StateFiles &files, const QStringList &names);

// Appends a row for every listed state file that can still be read; a saved
// row with fewer than ten columns gets empty text for the missing ones. The
// last-row index follows. Returns how many state files were read.
int Load(const StateFiles &files, const QStringList &names, DownloadListModel &list,
         DownloadState &state);

} // namespace BrokenDownloads
