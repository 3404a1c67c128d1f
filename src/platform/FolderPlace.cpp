#include "platform/FolderPlace.h"

#include <QByteArray>
#include <QFile>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<QString> placeOfFolder(int fd)
{
    struct stat held {};
    if (fd < 0 || ::fstat(fd, &held) != 0 || !S_ISDIR(held.st_mode) || held.st_nlink == 0)
        return std::nullopt;
    QByteArray place(PATH_MAX, Qt::Uninitialized);
    const ssize_t n = ::readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), place.data(), place.size());
    if (n <= 0 || n >= place.size() || place.at(0) != '/')
        return std::nullopt;
    place.truncate(n);
    struct stat named {};
    if (::stat(place.constData(), &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino)
        return std::nullopt;
    return QFile::decodeName(place);
}

} // namespace platform
