#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// Keeps a second copy of the program from running on the same program folder:
// a lock file there, held for the whole run. A lock left by a crashed run is
// recognised as stale and taken over.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &programFolder);
    // True when this process now holds the lock (or already did).
    bool TryLock();
    QString LockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
