#pragma once

#include <QString>

// Where the program keeps its files ("quarvel.ini", "qvtemp/", "incoming/").
namespace ProgramFolder
{

// The executable's folder when it is writable, else the per-user data folder
// (created when missing). Never ends with "/".
QString Resolve(const QString &executableFolder);

// Joins a folder and a name with exactly one "/" between them.
QString Join(const QString &folder, const QString &name);

} // namespace ProgramFolder
