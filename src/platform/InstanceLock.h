#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace platform {

// One app instance per support folder, so two processes never overwrite
// each other's stores. Held for the life of the object.
class InstanceLock {
public:
    explicit InstanceLock(const QString &directory);
    ~InstanceLock();

    // False when another live process holds the lock (a stale lock left by a
    // crash is taken over).
    [[nodiscard]] bool tryLock();
    bool isLocked() const;
    // The pid of the process holding the lock, 0 when unknown.
    qint64 ownerPid() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace platform
