#include "auth/SessionFile.h"

#include "auth/CredentialPlace.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace auth::SessionFile {

QString path()
{
    return QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("moonshelf_session.json"));
}

QString save(const OAuthSession &session)
{
    const QString file = path();
    // Tokens go only into a folder that is private.
    const QString folder = platform::AppPaths::makePrivateDirectory(QFileInfo(file).absolutePath());
    if (!folder.isEmpty())
        return folder;
    // Nor into a folder the model's tools can read (a link at the file
    // itself is replaced, not followed).
    if (const QString why = CredentialPlace::refusal(QFileInfo(file).absolutePath()); !why.isEmpty())
        return why;
    return platform::writeFileAtomically(file, encodeSession(session), platform::WriteOptions{0600, true});
}

std::optional<OAuthSession> load()
{
    QFile file(path());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (!CredentialPlace::refusalOfOpen(file.handle()).isEmpty())
        return std::nullopt;
    // Two tokens of the largest size and a few short fields; anything much
    // larger is no session of ours, and is not read whole.
    constexpr qint64 kLimit = 256 * 1024;
    const QByteArray bytes = file.read(kLimit + 1);
    if (bytes.size() > kLimit)
        return std::nullopt;
    auto decoded = decodeSession(bytes);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded).value();
}

void remove(const std::function<bool(const QString &)> &remover)
{
    const QString file = path();
    if (!QFileInfo::exists(file))
        return;
    const bool removed = remover ? remover(file) : QFile::remove(file);
    if (removed)
        return;
    // Truncate in place: an empty file restores no session.
    const QByteArray native = QFile::encodeName(file);
    const int fd = ::open(native.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

} // namespace auth::SessionFile
