#pragma once

#include "programstate.h"

#include <QByteArray>
#include <QString>

class Questions;

// Where the language file's texts go: the windows layer sets captions,
// tooltips and list column headers of the named controls. Sections and keys
// arrive upper-cased and already checked against the known keys.
class LanguageTarget
{
public:
    enum class Kind { Caption, Tooltip, Text };
    virtual ~LanguageTarget() = default;
    virtual void Apply(const QString &section, const QString &key, Kind kind,
                       const QString &text) = 0;
};

// The language file "lang.dat": blocks of lines "SECTION<qvrl>KEY<qvrl>KIND<qvrl>text"
// after "LANGUAGE<qvrl>GERMAN" or "LANGUAGE<qvrl>ENGLISH", CR LF separated,
// stored scrambled.
namespace LanguageFile
{

// XORs every byte with the next key of a fixed-seed generator; applied twice
// it restores the bytes.
void Scramble(QByteArray &bytes);
// Scrambles a file in place (atomically). False when it cannot be read or
// written.
bool ScrambleFile(const QString &path);

enum class Outcome {
    Applied,         // the block of the language was applied
    NoLanguageFound, // "No language found in file LANG.DAT!!!" was shown: end the program
    Error,           // a line could not be applied; the error was shown, the rest skipped
};

// Applies the block of language (compared exactly: "german" or "english") to
// the target and fills the message table. Unknown keys and kinds are reported
// through questions and passed over. The file on disk is only read.
Outcome ChangeLanguage(const QString &path, const QString &language, LanguageTarget &target,
                       LanguageTexts &texts, Questions &questions);

} // namespace LanguageFile
