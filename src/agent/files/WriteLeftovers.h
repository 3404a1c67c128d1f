#pragma once

#include <QString>

#include <atomic>
#include <ctime>

namespace agent::WriteLeftovers {

// Removes what interrupted writes of the file tools left in the project:
// regular files named as only those writes name their temporaries, owned by
// this user and last changed before `before` (a write going on now is never
// touched). Walks the whole tree below root without following links or
// entering another file system, holding one folder open at a time; stops
// early once stop is set. Returns how many files it removed.
int remove(const QString &root, const timespec &before, const std::atomic<bool> &stop);

} // namespace agent::WriteLeftovers
