#include "programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ProgramFolder
{

QString Resolve(const QString &executableFolder)
{
    const QFileInfo info(executableFolder);
    if (info.isDir() && info.isWritable()) return QDir::cleanPath(info.absoluteFilePath());
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return QDir::cleanPath(data);
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
