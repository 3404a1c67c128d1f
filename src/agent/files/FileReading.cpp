#include "agent/files/FileReading.h"

#include "agent/files/WorkspaceManager.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace agent::FileReading {

namespace {

template <typename T>
platform::Result<T, ReadFailure> failed(ReadFailure::Kind kind, int error, const QString &message)
{
    return platform::Result<T, ReadFailure>::failure({kind, 0, error, message});
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

platform::Result<platform::UniqueFd, ReadFailure> openInProject(const WorkspaceManager &workspace, const QString &givenPath,
                                                      ConfinedOpen::Want want, const QString &verb)
{
    using Kind = ReadFailure::Kind;
    const auto root = workspace.resolvedRoot();
    if (!root)
        return failed<platform::UniqueFd>(Kind::Workspace, 0, root.error().description());
    const auto resolved = workspace.resolvePath(givenPath);
    if (!resolved)
        return failed<platform::UniqueFd>(Kind::Workspace, 0, resolved.error().description());

    auto opened = ConfinedOpen::open(*root, *resolved, want);
    if (opened)
        return std::move(opened).value();
    const QString prefix = verb + u' ' + givenPath + QStringLiteral(": ");
    const ConfinedOpen::Failure &f = opened.error();
    switch (f.kind) {
    case ConfinedOpen::Failure::Kind::Escape:
        return failed<platform::UniqueFd>(Kind::Workspace, 0, WorkspaceError::pathOutsideWorkspace(givenPath).description());
    case ConfinedOpen::Failure::Kind::Directory:
        return failed<platform::UniqueFd>(Kind::Directory, 0, prefix + systemText(EISDIR));
    case ConfinedOpen::Failure::Kind::NotRegular:
        return failed<platform::UniqueFd>(Kind::NotRegular, 0, prefix + QStringLiteral("Not a regular file"));
    case ConfinedOpen::Failure::Kind::System:
        break;
    }
    return failed<platform::UniqueFd>(Kind::System, f.error, prefix + systemText(f.error));
}

platform::Result<QByteArray, ReadFailure> readProjectFile(const WorkspaceManager &workspace, const QString &givenPath,
                                                          qint64 cap)
{
    using Kind = ReadFailure::Kind;
    const QString verb = QStringLiteral("Could not read");
    auto opened = openInProject(workspace, givenPath, ConfinedOpen::Want::File, verb);
    if (!opened)
        return platform::Result<QByteArray, ReadFailure>::failure(opened.error());
    const int fd = opened->get();
    const auto tooLarge = [&](qint64 size) {
        return platform::Result<QByteArray, ReadFailure>::failure(
            {Kind::TooLarge, size, 0, QStringLiteral("File too large: ") + givenPath});
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        return failed<QByteArray>(Kind::System, error, verb + u' ' + givenPath + QStringLiteral(": ") + systemText(error));
    }
    if (st.st_size > cap)
        return tooLarge(st.st_size);

    const auto read = platform::readOpenRegularFile(fd, cap + 1);
    if (!read) {
        const platform::RegularFileError &e = read.error();
        return failed<QByteArray>(Kind::System, e.errorNumber, verb + u' ' + givenPath + QStringLiteral(": ") + e.reason());
    }
    if (read->size > cap || read->bytes.size() > cap)
        return tooLarge(qMax<qint64>(read->bytes.size(), read->size));
    return read->bytes;
}

std::optional<QString> decodeUtf8Strict(const QByteArray &bytes)
{
    return platform::decodeUtf8Strict(bytes, platform::Bom::Keep);
}

} // namespace agent::FileReading
