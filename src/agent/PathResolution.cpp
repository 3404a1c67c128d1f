#include "agent/PathResolution.h"

#include <QByteArrayList>
#include <QFile>

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::PathResolution {

namespace {

constexpr int kMaxLinkHops = 40; // as the kernel's own limit

void pushComponents(QByteArrayList &pending, const QByteArray &path)
{
    const QByteArrayList parts = path.split('/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (!it->isEmpty() && *it != ".")
            pending.append(*it);
    }
}

void dropLastComponent(QByteArray &resolved)
{
    const qsizetype slash = resolved.lastIndexOf('/');
    resolved.truncate(slash < 0 ? 0 : slash);
}

} // namespace

std::optional<QString> resolveAll(const QString &absolutePath)
{
    if (!absolutePath.startsWith(u'/') || absolutePath.contains(QChar(0)))
        return std::nullopt;

    QByteArrayList pending; // components still to walk, the next one last
    pushComponents(pending, QFile::encodeName(absolutePath));
    QByteArray resolved; // "" stands for "/"
    bool missing = false;
    int hops = 0;

    while (!pending.isEmpty()) {
        const QByteArray part = pending.takeLast();
        if (part == "..") {
            // The kernel cannot walk up out of a folder that does not exist.
            if (missing)
                return std::nullopt;
            dropLastComponent(resolved);
            continue;
        }
        const QByteArray next = resolved + '/' + part;
        if (missing) {
            resolved = next;
            continue;
        }
        // A name too long for any folder cannot exist; the operation on it
        // reports the platform's own error.
        if (part.size() > NAME_MAX) {
            missing = true;
            resolved = next;
            continue;
        }
        struct stat st {};
        if (::lstat(next.constData(), &st) != 0) {
            if (errno == ELOOP || errno == ENAMETOOLONG)
                return std::nullopt;
            // Not there (or not reachable): nothing below it can be a link.
            missing = true;
            resolved = next;
            continue;
        }
        if (!S_ISLNK(st.st_mode)) {
            resolved = next;
            continue;
        }
        if (++hops > kMaxLinkHops)
            return std::nullopt;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(next.constData(), target.data(), target.size());
        if (n <= 0 || n >= target.size())
            return std::nullopt;
        target.truncate(n);
        if (target.startsWith('/'))
            resolved.clear();
        pushComponents(pending, target);
    }
    return resolved.isEmpty() ? QStringLiteral("/") : QFile::decodeName(resolved);
}

bool isInside(const QString &candidate, const QString &root)
{
    if (root == u"/")
        return candidate.startsWith(u'/');
    return candidate == root || (candidate.startsWith(root) && candidate.at(root.size()) == u'/');
}

} // namespace agent::PathResolution
