#include "agent/tools/FileTools.h"

#include "agent/calls/ToolArguments.h"
#include "agent/files/ConfinedWrite.h"
#include "agent/files/FileReading.h"
#include "agent/files/NativeName.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/tools/StrReplaceEdit.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace agent::FileTools {

namespace {

using ToolArguments::string;

QString errnoText(const QString &what, const QString &path, int error)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error)));
}

struct Entry {
    QString name;
    bool isDir = false;
    qint64 size = 0;
};

// Writes through the confined walk: a link swapped in after resolving cannot
// carry the write out of the project. The file's existing mode is kept.
std::optional<QString> confinedWrite(const WorkspaceManager &workspace, const QString &givenPath,
                                     const QByteArray &bytes)
{
    const auto root = workspace.resolvedRoot();
    if (!root)
        return root.error().description();
    const auto resolved = workspace.resolvePath(givenPath);
    if (!resolved)
        return resolved.error().description();
    const auto failure = ConfinedWrite::write(*root, *resolved, bytes, true);
    if (!failure)
        return std::nullopt;
    if (failure->kind == ConfinedWrite::FailureKind::Escape)
        return WorkspaceError::pathOutsideWorkspace(givenPath).description();
    return failure->message;
}

} // namespace

ToolExecutionResult listDir(const WorkspaceManager &workspace, const QJsonObject &arguments)
{
    const QString path = string(arguments, QStringLiteral("path")).value_or(QStringLiteral("."));
    auto opened = FileReading::openInProject(workspace, path, ConfinedOpen::Want::Directory, QStringLiteral("Could not list"));
    if (!opened)
        return ToolExecutionResult::failure(opened.error().message);

    // Listed from the descriptor the confined walk opened, never by path.
    DIR *dir = ::fdopendir(opened.value().get());
    if (!dir)
        return ToolExecutionResult::failure(errnoText(QStringLiteral("Could not list"), path, errno));
    opened.value().release(); // closedir closes it
    const int fd = ::dirfd(dir);
    QList<Entry> entries;
    std::optional<QString> failure;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue; // hidden, and . and ..
        struct stat st {};
        // The entry itself: a link is listed as a link, never followed.
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            failure = errnoText(QStringLiteral("Could not read"), NativeName::display(e->d_name), errno);
            break;
        }
        entries.append({NativeName::display(e->d_name), S_ISDIR(st.st_mode), qint64(st.st_size)});
    }
    ::closedir(dir);
    if (failure)
        return ToolExecutionResult::failure(*failure);
    if (entries.isEmpty())
        return ToolExecutionResult::success(QStringLiteral("(empty)"));

    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    QString out;
    out.reserve(entries.size() * 24);
    for (const Entry &e : std::as_const(entries)) {
        if (!out.isEmpty())
            out.append(u'\n');
        out.append(e.name);
        if (e.isDir) {
            out.append(u'/');
        } else {
            out.append(QLatin1String(" ("));
            out.append(QString::number(e.size));
            out.append(QLatin1String(" B)"));
        }
    }
    return ToolExecutionResult::success(out);
}

ToolExecutionResult readFile(const WorkspaceManager &workspace, const QJsonObject &arguments)
{
    const std::optional<QString> path = string(arguments, QStringLiteral("path"));
    if (!path)
        return ToolExecutionResult::failure(QStringLiteral("Missing path"));
    const auto bytes = FileReading::readProjectFile(workspace, *path, kReadFileCap);
    if (!bytes) {
        const FileReading::ReadFailure &f = bytes.error();
        if (f.kind == FileReading::ReadFailure::Kind::TooLarge)
            return ToolExecutionResult::failure(
                QStringLiteral("File too large (%1 bytes). Read a smaller file or use shell head/tail.").arg(f.size));
        return ToolExecutionResult::failure(f.message);
    }
    const std::optional<QString> text = FileReading::decodeUtf8Strict(*bytes);
    if (!text)
        return ToolExecutionResult::failure(QStringLiteral("File is not valid UTF-8 text."));
    return ToolExecutionResult::success(*text);
}

ToolExecutionResult writeFile(const WorkspaceManager &workspace, const QJsonObject &arguments)
{
    const std::optional<QString> path = string(arguments, QStringLiteral("path"));
    const std::optional<QString> content = string(arguments, QStringLiteral("content"));
    if (!path || !content)
        return ToolExecutionResult::failure(QStringLiteral("Missing path or content"));
    const QByteArray bytes = content->toUtf8();
    if (auto failure = confinedWrite(workspace, *path, bytes))
        return ToolExecutionResult::failure(*failure);
    return ToolExecutionResult::success(QStringLiteral("Wrote %1 bytes to %2").arg(bytes.size()).arg(*path));
}

ToolExecutionResult strReplace(const WorkspaceManager &workspace, const QJsonObject &arguments)
{
    const std::optional<QString> path = string(arguments, QStringLiteral("path"));
    const std::optional<QString> oldString = string(arguments, QStringLiteral("old_string"));
    const std::optional<QString> newString = string(arguments, QStringLiteral("new_string"));
    if (!path || !oldString || !newString)
        return ToolExecutionResult::failure(QStringLiteral("Missing path, old_string, or new_string"));
    const auto bytes = FileReading::readProjectFile(workspace, *path, kEditCap);
    if (!bytes) {
        const FileReading::ReadFailure &f = bytes.error();
        if (f.kind == FileReading::ReadFailure::Kind::TooLarge)
            return ToolExecutionResult::failure(
                QStringLiteral("File too large (%1 bytes) to edit with str_replace.").arg(f.size));
        return ToolExecutionResult::failure(f.message);
    }
    const std::optional<QString> text = FileReading::decodeUtf8Strict(*bytes);
    if (!text)
        return ToolExecutionResult::failure(QStringLiteral("File is not valid UTF-8 text."));

    const auto edit = StrReplaceEdit::plan(*text, *oldString, *newString);
    if (!edit)
        return ToolExecutionResult::failure(QStringLiteral("old_string not found in ") + *path);

    // Splice bytes, so every byte outside the match stays as it was.
    const TextSearch::Match &match = edit->match;
    const qsizetype byteStart = QStringView(*text).first(match.start).toUtf8().size();
    const qsizetype byteLength = QStringView(*text).mid(match.start, match.length).toUtf8().size();
    const QByteArray replacement = edit->replacement.toUtf8();
    QByteArray out;
    out.reserve(bytes->size() - byteLength + replacement.size());
    out.append(QByteArrayView(*bytes).first(byteStart));
    out.append(replacement);
    out.append(QByteArrayView(*bytes).sliced(byteStart + byteLength));
    if (auto failure = confinedWrite(workspace, *path, out))
        return ToolExecutionResult::failure(*failure);
    return ToolExecutionResult::success(QStringLiteral("Replaced first occurrence in ") + *path);
}

} // namespace agent::FileTools
