#pragma once

#include "agent/files/WorkspaceError.h"
#include "platform/Result.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <ctime>
#include <memory>

namespace agent {

// The one project folder the user has opened, kept across launches under the
// user-defaults key workspaceBookmark (its absolute path), and the confinement
// of every path a tool or a preview touches to that folder.
class WorkspaceManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUrl rootURL READ rootURL NOTIFY rootChanged)
    Q_PROPERTY(QString rootPath READ rootPath NOTIFY rootChanged)
    Q_PROPERTY(QByteArray bookmarkData READ bookmarkData NOTIFY bookmarkDataChanged)

public:
    static constexpr char kBookmarkKey[] = "workspaceBookmark";
    // Texts of the folder picker, which the app layer shows (this layer has no widgets).
    static QString pickerPrompt() { return QStringLiteral("Open Project"); }
    static QString pickerMessage() { return QStringLiteral("Choose the project folder Qirv may read and edit."); }

    // Starts with no folder, then restores the stored one.
    explicit WorkspaceManager(QObject *parent = nullptr);
    // Stops a sweep of leftovers that is still going on.
    ~WorkspaceManager() override;

    // Empty when no folder is open.
    QUrl rootURL() const;
    // The folder as it was opened (not symlink-resolved); empty when none.
    QString rootPath() const { return m_rootPath; }
    bool hasRoot() const { return !m_rootPath.isEmpty(); }
    // The stored bookmark of the folder; empty when absent.
    QByteArray bookmarkData() const { return m_bookmarkData; }

    // Opens the folder (as an absolute path) and stores its bookmark; false
    // when the bookmark could not be stored (the folder is open all the same).
    bool setWorkspace(const QString &folderPath);
    bool setWorkspace(const QUrl &folderURL);

    // Reopens the stored folder; false (and no folder) when nothing is stored
    // or the stored path is no longer a directory. The stored entry is kept.
    bool restoreBookmark();

    // The path's location inside the project folder with every symbolic link
    // resolved, or why it cannot be used. Relative paths start at the root.
    [[nodiscard]] platform::Result<QString, WorkspaceError> resolvePath(const QString &path) const;

    // The folder with every symbolic link resolved; NoWorkspace when none is
    // open or it is gone or no longer a directory. It is the folder that was
    // opened, held by a descriptor, wherever it now is: a folder renamed and
    // replaced by a link (or another folder) at its old path stays the one.
    // Found moved, its stored bookmark is made afresh (a stale one), so that
    // the next launch and whoever reads the bookmark find it where it is.
    [[nodiscard]] platform::Result<QString, WorkspaceError> resolvedRoot() const;

    // The descriptor of the opened folder (O_PATH), for work done in it
    // without looking its path up again; -1 when none is open or it could
    // not be opened.
    int rootDescriptor() const { return m_rootFd.get(); }

Q_SIGNALS:
    void rootChanged();
    void bookmarkDataChanged();
    // A folder just opened was swept, off the main thread, of the temporaries
    // that writes interrupted before this start left in it.
    void writeLeftoversRemoved(int count);

private:
    void publish(const QString &rootPath, const QByteArray &bookmark);
    void sweepWriteLeftovers();

    QString m_rootPath;
    platform::UniqueFd m_rootFd;
    mutable QString m_rootPlace; // where the folder was last found
    QByteArray m_bookmarkData;
    timespec m_startedAt{};
    std::shared_ptr<std::atomic<bool>> m_sweepStop;
};

} // namespace agent
