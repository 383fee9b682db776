#pragma once

#include <QString>

// Where the program keeps its files ("quarvel.ini", "qvtemp/", "incoming/") and
// where it finds its language file "lang.dat".
namespace ProgramFolder
{

// The executable's folder when it is writable, else the per-user data folder
// (created when missing; empty userDataFolder: the platform's per-user data
// folder for the application). Never ends with "/".
QString Resolve(const QString &executableFolder, const QString &userDataFolder = QString());

// The two layouts a program can run in. Portable: "lang.dat" lies beside the
// executable (the build tree, an unpacked copy); the program folder follows
// Resolve. Installed: "lang.dat" lies in "../share/quarvel/" next to the
// executable's "bin/"; the program folder is always the per-user data folder,
// also when "bin/" happens to be writable (root), so that nothing is ever
// written next to the installed files.
struct Layout {
    QString Folder;       // the program folder, without a final "/"
    QString LanguageFile; // "lang.dat" found; the one beside the executable when there is none
    bool Installed = false;
};

// Finds the language file beside the executable first, then in
// "../share/quarvel/", and picks the program folder by the layout found. The
// per-user data folder is created when it is used.
Layout Locate(const QString &executableFolder, const QString &userDataFolder);

// Joins a folder and a name with exactly one "/" between them.
QString Join(const QString &folder, const QString &name);

} // namespace ProgramFolder
