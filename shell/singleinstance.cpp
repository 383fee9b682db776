#include "singleinstance.h"

#include "programfolder.h"

SingleInstance::SingleInstance(const QString &programFolder)
    : m_path(ProgramFolder::Join(programFolder, QStringLiteral("quarvel.lock"))),
      m_lock(std::make_unique<QLockFile>(m_path))
{
    // Only a lock whose process is gone is stale, however old it is.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::TryLock()
{
    return m_lock->isLocked() || m_lock->tryLock(0);
}
