// The project folder's confinement: a path the workspace accepts lies inside
// the project once every symbolic link on the real file system is followed,
// whatever the path says (.., absolute paths, links that point in, out, up,
// at nothing or at each other).
#include "FuzzCheck.h"

#include "agent/files/PathResolution.h"
#include "agent/files/WorkspaceManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<agent::WorkspaceManager> g_workspace;
QString g_root;      // the project as opened: through a link, to be looked through
QString g_realRoot;  // the project's real path

void link(const QString &target, const QString &at)
{
    if (!QFile::link(target, at))
        fuzz::fail("the fixture's links can be made", at);
}

// Where path leads on the file system: the longest leading part that exists
// with its links followed by the system, a link to nothing followed to what
// a write through it would create, the rest as written.
QString realPathOf(QString path)
{
    for (int hops = 0; hops < 40; ++hops) {
        QString existing = path;
        QString rest;
        while (!QFileInfo(existing).exists() && !QFileInfo(existing).isSymLink() && existing != u"/") {
            const qsizetype cut = existing.lastIndexOf(u'/');
            rest.prepend(existing.sliced(cut));
            existing = cut > 0 ? existing.first(cut) : QStringLiteral("/");
        }
        const QFileInfo info(existing);
        const QString real = info.canonicalFilePath();
        if (!real.isEmpty())
            return real == u"/" ? (rest.isEmpty() ? real : rest) : real + rest;
        if (!info.isSymLink())
            return path;
        path = QDir::cleanPath(info.symLinkTarget() + rest);
    }
    return path; // a loop: nothing can be opened through it
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    const QString home = fuzz::isolateHome();
    static QCoreApplication app(*argc, *argv);
    // home/outside/secret        what must stay out of reach
    // home/real/project/...      the project, opened through home/open -> real/project
    const QDir h(home);
    h.mkpath(QStringLiteral("outside/deep"));
    h.mkpath(QStringLiteral("real/project/a/b"));
    QFile(home + QStringLiteral("/outside/secret")).open(QIODevice::WriteOnly);
    QFile(home + QStringLiteral("/real/project/a/file.txt")).open(QIODevice::WriteOnly);
    const QString p = home + QStringLiteral("/real/project");
    link(QStringLiteral("a"), p + QStringLiteral("/in"));
    link(p + QStringLiteral("/a/b"), p + QStringLiteral("/absin"));
    link(QStringLiteral("../../outside"), p + QStringLiteral("/out"));
    link(home + QStringLiteral("/outside/secret"), p + QStringLiteral("/absout"));
    link(QStringLiteral(".."), p + QStringLiteral("/up"));
    link(QStringLiteral("../up"), p + QStringLiteral("/a/upup"));
    link(QStringLiteral("missing"), p + QStringLiteral("/dangling"));
    link(QStringLiteral("../../outside/missing"), p + QStringLiteral("/danglingout"));
    link(QStringLiteral("loop2"), p + QStringLiteral("/loop1"));
    link(QStringLiteral("loop1"), p + QStringLiteral("/loop2"));
    link(QStringLiteral("/"), p + QStringLiteral("/a/b/top"));
    link(QStringLiteral("real/project"), home + QStringLiteral("/open"));
    g_root = home + QStringLiteral("/open");
    g_realRoot = QFileInfo(p).canonicalFilePath();
    g_workspace = std::make_unique<agent::WorkspaceManager>();
    g_workspace->setWorkspace(g_root);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto resolved = g_workspace->resolvePath(path);
    if (!resolved.ok())
        return 0;
    fuzz::check(agent::PathResolution::isInside(resolved.value(), g_realRoot),
                "an accepted path is inside the project", path + QStringLiteral(" -> ") + resolved.value());
    const QString real = realPathOf(resolved.value());
    fuzz::check(agent::PathResolution::isInside(real, g_realRoot),
                "an accepted path is inside the project on the file system", path + QStringLiteral(" -> ") + real);
    return 0;
}
