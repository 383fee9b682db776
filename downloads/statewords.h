#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QtGlobal>

// The exact words the download machinery writes into and tests in the "State"
// column of the download list, and the reading of the "mdnl number" column.
// They are matched as written here: the list files store them as text and
// startup recovery, the scheduler and picture mode read them back.

// Waiting: the scheduler may start the row. Written as the empty text (or one
// blank by startup recovery); any text made only of blanks also means waiting.
inline constexpr QLatin1StringView StateWaiting("");
// A transfer for the row has been started.
inline constexpr QLatin1StringView StateProgress("progress");
// The file is complete.
inline constexpr QLatin1StringView StateDone("Done");
// The file is complete and its content equals an earlier download's, named
// in the word: "Done (same as NAME)". Counts as complete.
QString StateDoneSameAs(const QString &name);
// The server announced a length below the row's minimum size; nothing was kept.
inline constexpr QLatin1StringView StateTooSmall("too small");
// The row's server asked to wait (429 or 503); it starts again after the wait.
inline constexpr QLatin1StringView StateServerWait("waiting");
// The user stopped the transfer.
inline constexpr QLatin1StringView StateAborted("aborted");
// The transfer ended with an error (refused connection, time-out, bad reply).
inline constexpr QLatin1StringView StateFailed("failed");

// The text with every blank (space character) removed. The state and marker
// tests compare cells this way, so " ", " TRUE " and "Done " read as the
// words they contain.
QString RemoveBlanks(const QString &text);

// True when the state is empty after removing all blanks: only such rows are
// started by a plain scheduler pass.
bool IsWaitingState(const QString &state);

// True when the state, upper-cased, equals "DONE" ("Done", "done", "DONE"),
// or is a "Done (same as NAME)" word. Blanks are not removed here: "Done " is
// not complete.
bool IsDoneState(const QString &state);

// What the "mdnl number" cell of a download row says about fetching in parts.
struct MultipartMarker {
    enum Kind {
        Single,   // empty: fetch over one connection
        NotSplit, // "TRUE": fetch in parts, the file has not been split yet
        Resume,   // a state number: a split download whose state file is resumed
    };
    Kind kind = Single;
    // The state number for Resume, read with the leading-number rule; 0 for
    // Single and NotSplit.
    qint64 number = 0;

    friend bool operator==(const MultipartMarker &, const MultipartMarker &) = default;
};

// Reads a "mdnl number" cell. Blanks are removed first; empty means Single,
// "TRUE" in any letter case means NotSplit, and any other text means Resume
// with the leading number of the text ("17" gives 17).
//
// Any other text is Resume even when it holds no usable number: "0", "yes"
// and "x17" all give Resume with number 0. No state file ever has number 0,
// so a caller that meets Resume with 0 decides for itself whether to report
// the row or to treat it as a fresh multi-part download; this function does
// not guess.
MultipartMarker ParseMultipartMarker(const QString &text);
