#pragma once

#include <QString>

// Address counting on a text and its mark string (one mark per character,
// positions 1-based): " " none, "R" raise, "L" lower, "C" carry member, "c"
// carry member at the growable left end of its run. Pure functions; the URL
// bar, the options window and the browser window all count through them.

// One counting step: every character marked R or L that is a letter or a
// digit, from the last to the first, counts up or down by one; runs of C/c
// marks directly to its left take the carry or borrow like odometer wheels.
// A run whose left end is "c" grows by a leading "1" on a carry out of it and
// loses a leading "0" on a borrow. Marks on other characters are ignored.
// A marks string of another length is first cut or padded with blanks.
void RaiseLower(QString &text, QString &marks);

// A click on the character at position p: edits marks only. A plain character
// cycles blank, R, L, blank; a new R lays out a carry run to its left over the
// unmarked characters of its class; a run's left end cycles C, c, blank.
// Positions outside the text change nothing.
void MarkClick(const QString &text, QString &marks, int p);

// Every R (either case) becomes L and every L becomes R.
void SwapMarks(QString &marks);

// True when marks is as long as text and holds only " RLCc".
bool ValidMarks(const QString &text, const QString &marks);
