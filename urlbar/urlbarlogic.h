#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

// The URL bar's and the browser window's small decisions, apart from their
// windows so that they can be tested and benchmarked alone.
namespace UrlBarLogic
{

// Character buttons on the bar.
constexpr int ViewLength = 20;
// The most rows one answer to the series question may add: a mistyped
// "1000000" must not keep the program counting for minutes.
constexpr int MaxSeries = 10000;

// The view start kept inside 1 ... max(1, length - 19), so that the buttons
// never start past the text however counting grew or shrank it.
int ClampViewStart(int start, int length);

// The number of counting steps an answer to the series question asks for:
// the number at its start (blanks skipped, optional sign and fraction),
// rounded to the nearest whole number (halves to even), 0 for text that does
// not start with a number or for a negative one, at most MaxSeries.
int SeriesLength(const QString &answer);

// What a clipboard text means to the bar.
struct ClipboardText {
    enum Kind {
        Seen,    // the same text as last time (blanks aside), or no text: nothing to do
        Lines,   // several lines: offer to take the addresses out of them
        Address, // one line: the new address, trimmed, is in address
    };
    Kind kind = Seen;
    QString address;
};

// Compares text with the text seen last (both trimmed), remembers it, and
// says what it is. A text counts as several lines when, blanks at its ends
// aside, it holds a line end: CR LF, LF or CR alone.
ClipboardText ClipboardSeen(const QString &text, QString &lastSeen);

// The mouse position in twips: screen pixels times the twips per pixel of
// each axis, to the nearest whole number.
QPoint CursorTwips(QPoint pixels, qreal dpiX, qreal dpiY);

// True when the cursor (twips) is at the far left or the far right of the
// work area (twips): x <= left * 1.01 or x >= (left + width) * 0.999. The
// vertical position does not count.
bool AtWorkAreaEdge(QPoint cursorTwips, const QRect &workAreaTwips);

} // namespace UrlBarLogic
