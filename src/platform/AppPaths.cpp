#include "platform/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::AppPaths {

bool ensurePrivateDirectory(const QString &dir)
{
    if (dir.isEmpty())
        return false;
    QDir().mkpath(dir);
    struct stat st {};
    const QByteArray native = QFile::encodeName(dir);
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 07777) != 0700)
        ::chmod(native.constData(), 0700);
    return true;
}

QString supportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString dir = QDir(base).filePath(QString::fromLatin1(kAppFolderName));
    ensurePrivateDirectory(dir);
    return dir;
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
