#include "support/TestEnvironment.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>

namespace testsupport {

QString isolateHome()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/moonshelf-test-XXXXXX"));
    const QString root = home.path();
    const auto setDir = [&](const char *name, const QString &sub) {
        const QString path = sub.isEmpty() ? root : root + QLatin1Char('/') + sub;
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(name, QFile::encodeName(path));
    };
    setDir("HOME", {});
    setDir("XDG_DATA_HOME", QStringLiteral(".local/share"));
    setDir("XDG_CONFIG_HOME", QStringLiteral(".config"));
    setDir("XDG_CACHE_HOME", QStringLiteral(".cache"));
    setDir("XDG_STATE_HOME", QStringLiteral(".local/state"));
    setDir("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
    qunsetenv("OVU_API_KEY");
    qunsetenv("MOONSHELF_API_BASE");
    qunsetenv("MOONSHELF_AUTH_BASE");
    return root;
}

QString outputDirectory()
{
    QString dir = QString::fromLocal8Bit(qgetenv("MOONSHELF_TEST_OUTPUT"));
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/moonshelf-test-output");
    QDir().mkpath(dir);
    return dir;
}

int timeScale()
{
    bool ok = false;
    const int scale = qEnvironmentVariableIntValue("MOONSHELF_TEST_TIME_SCALE", &ok);
    return ok && scale > 1 ? scale : 1;
}

} // namespace testsupport
