#pragma once

#include "programstate.h"

#include <QString>
#include <functional>

// The settings file "quarvel.ini" in the program folder: two lines
// "targetdirectory|<folder>" and "language|<name>", CR LF ended, then one
// line for each later option that differs from its default ("columnwidths",
// "keepconnections", "modernpictures", "skipdownloaded", "browserlogin",
// "perserver"), written atomically so that an interrupted write never leaves
// a broken file. Older files lack the extra lines: the defaults apply.
class SettingsStore
{
public:
    SettingsStore(const QString &programFolder, ProgramSettings &settings);

    QString Path() const;
    // The program folder joined with "incoming/".
    QString DefaultTargetDir() const;

    // Reads the file and applies it. Keys are compared without regard to case;
    // a value is the text after the first "|" of its line, unchanged (it may
    // hold further "|", as a folder name may).
    // languageRead is called for every language line, in file order (it shows
    // the language picture and applies the language). A missing or empty file,
    // or a setting that is missing or empty, gets its default ("incoming/",
    // created when missing, and "german"), and the file is written anew.
    // False when the file had to be written and could not be.
    bool ReadSettings(const std::function<void(const QString &language)> &languageRead);

    // Rewrites the file with the named setting (one of the keys above, any
    // case) set to value and the others as they are now.
    // False for an unknown key (the file is left alone) or a failed write.
    bool WriteSetting(const QString &key, const QString &value);

private:
    bool writeFile(const QString &targetDir, const QString &language);

    QString m_folder;
    ProgramSettings &m_settings;
};
