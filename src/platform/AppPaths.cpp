#include "platform/AppPaths.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::AppPaths {

namespace {

QString errnoText(const char *what, const QString &path)
{
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    return QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(what), path, reason);
}

} // namespace

QString makePrivateDirectory(const QString &dir)
{
    if (dir.isEmpty())
        return QStringLiteral("No folder given");
    const QString path = QDir::cleanPath(QDir(dir).absolutePath());
    // Every folder that is missing is made 0700 from the start: made wider
    // and narrowed later, it would be open to others in between.
    qsizetype at = 0;
    while (at >= 0) {
        at = path.indexOf(u'/', at + 1);
        const QString prefix = at < 0 ? path : path.left(at);
        const QByteArray native = QFile::encodeName(prefix);
        struct stat st {};
        if (::stat(native.constData(), &st) == 0)
            continue;
        if (errno != ENOENT)
            return errnoText("stat", prefix);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return errnoText("mkdir", prefix);
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return errnoText("lstat", path);
    if (!S_ISDIR(st.st_mode))
        return path + QStringLiteral(" is not a folder");
    if (st.st_uid != ::geteuid())
        return path + QStringLiteral(" belongs to another user");
    // A umask that takes the owner's bits, or a folder made by an older
    // version or another tool.
    if ((st.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return errnoText("chmod", path);
    return {};
}

bool ensurePrivateDirectory(const QString &dir)
{
    return makePrivateDirectory(dir).isEmpty();
}

QString supportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString dir = QDir(base).filePath(QString::fromLatin1(kAppFolderName));
    ensurePrivateDirectory(dir);
    return dir;
}

int removeLeftoverTemporaryFiles()
{
    // Every file of the support folder that is written atomically.
    static const QStringList names{
        QStringLiteral("conversations.json"),     QStringLiteral("settings.json"),
        QStringLiteral("moonshelf_session.json"), QStringLiteral("background.json"),
        QStringLiteral("wallpaper-current.jpg"),
    };
    return platform::removeLeftoverTemporaryFiles(supportDirectory(), names);
}

QString runtimeDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                  .filePath(QStringLiteral("moonshelf-runtime"));
        ensurePrivateDirectory(dir);
    }
    return dir;
}

} // namespace platform::AppPaths
