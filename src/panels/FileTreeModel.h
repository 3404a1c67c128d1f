#pragma once

#include "panels/FileNode.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QSet>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <memory>

namespace panels {

// The project folder as an outline. Every reload walks the folder on a
// worker; the old tree stays until the new one is ready, and requests that
// come while a walk runs are merged into one more walk after it.
class FileTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role { PathRole = Qt::UserRole + 1, IsDirectoryRole, IsHighlightedRole, IsLeafRole };

    // The project's entries and four levels beneath them.
    static constexpr int maxDepth = 4;

    explicit FileTreeModel(QObject *parent = nullptr);
    ~FileTreeModel() override;

    // The folder to show; empty: none (the tree empties at once).
    void setRootPath(const QString &path);
    const QString &rootPath() const { return m_rootPath; }
    // Asks for a walk; bursts are merged.
    void requestReload();
    // Paths shown tinted (the peeked file, the path asked to be highlighted).
    void setHighlightedPaths(const QSet<QString> &paths);

    // The row of an entry by its path, if the tree holds it.
    QModelIndex indexForPath(const QString &path) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    // After a walk's tree replaced the old one (the model was reset).
    void reloaded();

private:
    struct Tree;
    QCoro::Task<> walk();
    void replaceTree(std::shared_ptr<const Tree> tree);
    const FileNode *node(const QModelIndex &index) const;
    const QList<FileNode> *childrenOf(const QModelIndex &parent) const;

    QString m_rootPath;
    std::shared_ptr<const Tree> m_tree;
    QSet<QString> m_highlighted;
    QTimer m_merge;
    bool m_walking = false;
    bool m_pending = false;
    quint64 m_rootGeneration = 0;
};

} // namespace panels
