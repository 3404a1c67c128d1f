#include "platform/InstanceLock.h"

#include <QDir>

namespace platform {

InstanceLock::InstanceLock(const QString &directory)
    : m_lock(std::make_unique<QLockFile>(QDir(directory).filePath(QStringLiteral("moonshelf.lock"))))
{
    m_lock->setStaleLockTime(0); // only a dead owner makes it stale
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock()
{
    return m_lock->tryLock(0);
}

bool InstanceLock::isLocked() const
{
    return m_lock->isLocked();
}

qint64 InstanceLock::ownerPid() const
{
    qint64 pid = 0;
    QString host, app;
    return m_lock->getLockInfo(&pid, &host, &app) ? pid : 0;
}

} // namespace platform
