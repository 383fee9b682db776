#pragma once

#include <QString>

class LanguageTexts;

// The reasons transfers and the crawl give for a failure are fixed English
// texts (logs and list files keep them so); shown to the user they take the
// words of the language file. Each known reason has a named key whose
// English text is the pattern ("HTTP status %1"); the parts in place of %1,
// %2 and %3 (addresses, numbers, the system's own words) are carried over.
// A reason no pattern knows is shown as it is. Reasons of the form
// "pattern: detail" keep the detail.
QString LocalReason(const QString &reason, const LanguageTexts &texts);

// A State cell's word as the user reads it ("Done" is "fertig" in German);
// the cell itself keeps the word the machinery matches. Other texts show as
// they are.
QString StateShown(const QString &state, const LanguageTexts &texts);
