#include "agent/files/FolderTrail.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace agent {

bool FolderTrail::enter(platform::UniqueFd dir)
{
    struct stat st {};
    if (!dir.isValid() || ::fstat(m_dir.get(), &st) != 0)
        return false;
    m_trail.push_back({st.st_dev, st.st_ino});
    m_dir = std::move(dir);
    return true;
}

bool FolderTrail::leave()
{
    if (m_trail.empty())
        return false;
    platform::UniqueFd up(::openat(m_dir.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!up.isValid() || ::fstat(up.get(), &st) != 0)
        return false;
    const Identity expected = m_trail.back();
    if (st.st_dev != expected.dev || st.st_ino != expected.ino)
        return false;
    m_trail.pop_back();
    m_dir = std::move(up);
    return true;
}

void FolderTrail::restart(platform::UniqueFd dir)
{
    m_trail.clear();
    m_dir = std::move(dir);
}

} // namespace agent
