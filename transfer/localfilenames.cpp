#include "localfilenames.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

namespace
{

// Held names of the whole process; transfers may live in more than one thread.
QMutex &heldMutex()
{
    static QMutex mutex;
    return mutex;
}

QSet<QString> &heldNames()
{
    static QSet<QString> names;
    return names;
}

QString key(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

namespace LocalFileNames
{

QString UniqueName(const QString &path)
{
    QString name = path;
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    while (QFileInfo::exists(name) || IsHeld(name))
        name.insert(slash + 1, QLatin1Char('A'));
    return name;
}

bool Claim(const QString &path)
{
    QMutexLocker lock(&heldMutex());
    const QString k = key(path);
    if (heldNames().contains(k)) return false;
    heldNames().insert(k);
    return true;
}

void Release(const QString &path)
{
    QMutexLocker lock(&heldMutex());
    heldNames().remove(key(path));
}

bool IsHeld(const QString &path)
{
    QMutexLocker lock(&heldMutex());
    return heldNames().contains(key(path));
}

} // namespace LocalFileNames
