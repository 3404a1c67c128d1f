#include "agent/files/WorkspaceManager.h"

#include "agent/files/PathResolution.h"
#include "agent/files/WriteLeftovers.h"
#include "platform/FolderPlace.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>

namespace agent {

namespace {

using ResolveResult = platform::Result<QString, WorkspaceError>;

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

WorkspaceManager::WorkspaceManager(QObject *parent) : QObject(parent)
{
    // What a write of this run left is its own; only older leftovers are
    // swept. The coarse clock is the one file times are taken from: a file
    // made after this moment never looks older than it.
    ::clock_gettime(CLOCK_REALTIME_COARSE, &m_startedAt);
    restoreBookmark();
}

WorkspaceManager::~WorkspaceManager()
{
    if (m_sweepStop)
        *m_sweepStop = true;
}

QUrl WorkspaceManager::rootURL() const
{
    return m_rootPath.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_rootPath);
}

bool WorkspaceManager::setWorkspace(const QUrl &folderURL)
{
    return setWorkspace(folderURL.toLocalFile());
}

bool WorkspaceManager::setWorkspace(const QString &folderPath)
{
    if (folderPath.isEmpty())
        return true;
    const QString root = absoluteClean(folderPath);
    // The bookmark is the absolute path.
    const QByteArray bookmark = root.toUtf8();
    const bool stored = platform::UserDefaults::setValue(QString::fromLatin1(kBookmarkKey), root);
    publish(root, bookmark);
    return stored;
}

bool WorkspaceManager::restoreBookmark()
{
    const QVariant stored = platform::UserDefaults::value(QString::fromLatin1(kBookmarkKey));
    const QString path = stored.typeId() == QMetaType::QByteArray ? QString::fromUtf8(stored.toByteArray())
                                                                  : stored.toString();
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QString root = absoluteClean(path);
    if (root != path) {
        // A stored path that is not in its clean absolute form is stale: store it afresh.
        setWorkspace(root);
        return true;
    }
    publish(root, path.toUtf8());
    return true;
}

void WorkspaceManager::publish(const QString &rootPath, const QByteArray &bookmark)
{
    const bool rootChange = rootPath != m_rootPath;
    const bool bookmarkChange = bookmark != m_bookmarkData;
    m_rootPath = rootPath;
    m_bookmarkData = bookmark;
    // The folder is taken now, as the path names it at this moment: opening
    // the same path again takes what is there now.
    m_rootFd.reset(::open(QFile::encodeName(rootPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    m_rootPlace = platform::placeOfFolder(m_rootFd.get()).value_or(QString());
    if (rootChange) {
        sweepWriteLeftovers();
        Q_EMIT rootChanged();
    }
    if (bookmarkChange)
        Q_EMIT bookmarkDataChanged();
}

void WorkspaceManager::sweepWriteLeftovers()
{
    if (m_sweepStop)
        *m_sweepStop = true;
    m_sweepStop = std::make_shared<std::atomic<bool>>(false);
    // A large project takes a while to walk: never on the main thread.
    (void)QtConcurrent::run(
        [root = m_rootPath, before = m_startedAt, stop = m_sweepStop, self = QPointer<WorkspaceManager>(this)]() mutable {
            const int removed = WriteLeftovers::remove(root, before, *stop);
            if (*stop)
                return;
            QCoreApplication *app = QCoreApplication::instance();
            if (!app)
                return;
            QMetaObject::invokeMethod(app, [self = std::move(self), removed] {
                if (self)
                    Q_EMIT self->writeLeftoversRemoved(removed);
            });
        });
}

ResolveResult WorkspaceManager::resolvedRoot() const
{
    if (m_rootPath.isEmpty())
        return ResolveResult::failure(WorkspaceError::noWorkspace());
    // A root that is gone confines nothing.
    const std::optional<QString> root = platform::placeOfFolder(m_rootFd.get());
    if (!root)
        return ResolveResult::failure(WorkspaceError::noWorkspace());
    if (*root != m_rootPlace) {
        m_rootPlace = *root;
        platform::UserDefaults::setValue(QString::fromLatin1(kBookmarkKey), *root);
    }
    return *root;
}

ResolveResult WorkspaceManager::resolvePath(const QString &path) const
{
    const ResolveResult root = resolvedRoot();
    if (!root)
        return root;

    // A relative path starts at the folder held, not at the path it was opened by.
    const QString candidate = path.startsWith(u'/') ? QDir::cleanPath(path) : QDir::cleanPath(*root + u'/' + path);
    const std::optional<QString> resolved = PathResolution::resolveAll(candidate);
    if (!resolved || !PathResolution::isInside(*resolved, *root))
        return ResolveResult::failure(WorkspaceError::pathOutsideWorkspace(path));
    return *resolved;
}

} // namespace agent
