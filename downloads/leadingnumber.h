#pragma once

#include <QStringView>
#include <QtGlobal>

// Reads the number at the start of a list cell or a tag: leading blanks
// (space characters) are skipped, then the decimal digits 0-9 are taken up to
// the first other character. A text without such digits reads as 0, so do
// "abc", "" and "-5" (a sign is not a digit: sizes, counts and positions are
// never negative). A number too large for qint64 reads as the qint64 maximum
// instead of wrapping round.
//
// Every reader of a numeric cell ("min filesize", "mdnl number", "Progress",
// the slot tags) uses this one rule.
qint64 LeadingNumber(QStringView text);
