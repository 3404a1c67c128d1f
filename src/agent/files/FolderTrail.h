#pragma once

#include "platform/UniqueFd.h"

#include <sys/types.h>

#include <vector>

namespace agent {

// The folder a walk stands in, held open, and the identities of the folders
// it came through. A walk of any depth holds one descriptor, so no path is
// too long or too deep for it, and ".." goes back exactly the way it came:
// when a folder was moved meanwhile, going up fails instead of landing elsewhere.
class FolderTrail {
public:
    // Starts in the folder open as dir (an O_PATH or read descriptor).
    explicit FolderTrail(platform::UniqueFd dir) : m_dir(std::move(dir)) {}

    int fd() const { return m_dir.get(); }
    bool isAtStart() const { return m_trail.empty(); }

    // Goes down into dir, a folder just opened below the current one.
    bool enter(platform::UniqueFd dir);
    // Goes back to the folder it came from; false when that is not possible
    // (at the start, or the way back is no longer the way it came).
    bool leave();
    // Starts again in dir, forgetting the way so far.
    void restart(platform::UniqueFd dir);

private:
    struct Identity {
        dev_t dev = 0;
        ino_t ino = 0;
    };
    platform::UniqueFd m_dir;
    std::vector<Identity> m_trail;
};

} // namespace agent
