#include "programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ProgramFolder
{

namespace
{

QString userData(const QString &userDataFolder)
{
    QString data = userDataFolder;
    if (data.isEmpty()) data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return QDir::cleanPath(data);
}

} // namespace

QString Resolve(const QString &executableFolder, const QString &userDataFolder)
{
    const QFileInfo info(executableFolder);
    if (info.isDir() && info.isWritable()) return QDir::cleanPath(info.absoluteFilePath());
    return userData(userDataFolder);
}

Layout Locate(const QString &executableFolder, const QString &userDataFolder)
{
    const QString exe = QDir::cleanPath(QFileInfo(executableFolder).absoluteFilePath());
    Layout layout;
    layout.LanguageFile = Join(exe, QStringLiteral("lang.dat"));
    if (!QFileInfo(layout.LanguageFile).isFile()) {
        const QString shared =
            QDir::cleanPath(Join(exe, QStringLiteral("../share/quarvel/lang.dat")));
        if (QFileInfo(shared).isFile()) {
            layout.LanguageFile = shared;
            layout.Installed = true;
            layout.Folder = userData(userDataFolder);
            return layout;
        }
    }
    // Portable, or no language file at all: the startup reports the missing
    // file beside the program.
    layout.Folder = Resolve(exe, userDataFolder);
    return layout;
}

QString Join(const QString &folder, const QString &name)
{
    QString f = folder;
    while (f.endsWith(QLatin1Char('/')) && f.size() > 1)
        f.chop(1);
    QString n = name;
    while (n.startsWith(QLatin1Char('/')))
        n.remove(0, 1);
    if (f.isEmpty()) return n;
    if (f == QLatin1String("/")) return f + n;
    return f + QLatin1Char('/') + n;
}

} // namespace ProgramFolder
