#pragma once

#include "platform/Result.h"
#include "platform/UniqueFd.h"

#include <QString>

namespace agent::ConfinedOpen {

enum class Want { File, Directory };

struct Failure {
    enum class Kind { Escape, System, Directory, NotRegular };
    Kind kind = Kind::System;
    int error = 0; // errno, for System

    friend bool operator==(const Failure &, const Failure &) = default;
};

// Opens target, a path at or below root (both with every symbolic link
// already resolved), for reading. The path is walked from the root's
// descriptor one component at a time, never letting the kernel follow a link:
// a link met on the way (one swapped in after the path was resolved) is
// followed only when its target, resolved again, stays inside root.
// File: a regular file, opened without blocking; a FIFO or a device is refused
// before it is opened. Directory: a folder, ready for fdopendir.
[[nodiscard]] platform::Result<platform::UniqueFd, Failure> open(const QString &root, const QString &target, Want want);

} // namespace agent::ConfinedOpen
