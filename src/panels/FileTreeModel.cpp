#include "panels/FileTreeModel.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace panels {

// A finished walk. Never changed after it is built, so pointers to its
// nodes stay valid for as long as the model holds it.
struct FileTreeModel::Tree {
    QList<FileNode> roots;
    struct Place {
        const FileNode *parent = nullptr;
        int row = 0;
    };
    QHash<const FileNode *, Place> places;

    static std::shared_ptr<const Tree> build(const QString &root)
    {
        auto tree = std::make_shared<Tree>();
        tree->roots = FileNode::load(root, 0, maxDepth);
        tree->index(std::as_const(tree->roots), nullptr);
        return tree;
    }

private:
    void index(const QList<FileNode> &list, const FileNode *parent)
    {
        for (int row = 0; row < list.size(); ++row) {
            const FileNode &n = list.at(row);
            places.insert(&n, {parent, row});
            if (n.children)
                index(*n.children, &n);
        }
    }
};

FileTreeModel::FileTreeModel(QObject *parent) : QAbstractItemModel(parent)
{
    // Tool steps ask for a reload each; one walk serves a burst of them.
    m_merge.setSingleShot(true);
    m_merge.setInterval(50);
    connect(&m_merge, &QTimer::timeout, this, [this] {
        if (m_walking) {
            m_pending = true;
            return;
        }
        walk();
    });
}

FileTreeModel::~FileTreeModel() = default;

void FileTreeModel::setRootPath(const QString &path)
{
    if (path == m_rootPath)
        return;
    m_rootPath = path;
    ++m_rootGeneration;
    // Another folder's tree is not shown while the new one loads.
    replaceTree(nullptr);
    requestReload();
}

void FileTreeModel::requestReload()
{
    if (!m_merge.isActive())
        m_merge.start();
}

QCoro::Task<> FileTreeModel::walk()
{
    if (m_rootPath.isEmpty()) {
        replaceTree(nullptr);
        co_return;
    }
    m_walking = true;
    m_pending = false;
    const QString root = m_rootPath;
    const quint64 generation = m_rootGeneration;
    QPointer<FileTreeModel> self(this);
    // The future is its own statement: temporaries inside a co_await
    // expression are destroyed twice by g++ 12.
    QFuture<std::shared_ptr<const Tree>> future = QtConcurrent::run(&Tree::build, root);
    auto tree = co_await future;
    if (!self)
        co_return; // the tree is freed with the last reference, off any view
    m_walking = false;
    if (generation == m_rootGeneration)
        replaceTree(std::move(tree));
    if (m_pending)
        requestReload();
}

void FileTreeModel::replaceTree(std::shared_ptr<const Tree> tree)
{
    if (!tree && !m_tree)
        return;
    beginResetModel();
    std::shared_ptr<const Tree> old = std::exchange(m_tree, std::move(tree));
    endResetModel();
    // A large tree takes a while to free; not on the UI thread.
    if (old)
        (void)QtConcurrent::run([old = std::move(old)]() mutable { old.reset(); });
    emit reloaded();
}

void FileTreeModel::setHighlightedPaths(const QSet<QString> &paths)
{
    if (paths == m_highlighted)
        return;
    const QSet<QString> touched = paths + m_highlighted;
    m_highlighted = paths;
    for (const QString &path : touched) {
        const QModelIndex index = indexForPath(path);
        if (index.isValid())
            emit dataChanged(index, index, {IsHighlightedRole});
    }
}

QModelIndex FileTreeModel::indexForPath(const QString &path) const
{
    if (!m_tree || m_rootPath.isEmpty())
        return {};
    const QString prefix = m_rootPath.endsWith(u'/') ? m_rootPath : m_rootPath + u'/';
    if (!path.startsWith(prefix))
        return {};
    const QStringList parts = path.mid(prefix.size()).split(u'/', Qt::SkipEmptyParts);
    const QList<FileNode> *list = &m_tree->roots;
    QModelIndex found;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!list)
            return {};
        int row = -1;
        for (int r = 0; r < list->size(); ++r) {
            if (list->at(r).name == parts[i]) {
                row = r;
                break;
            }
        }
        if (row < 0)
            return {};
        const FileNode &n = list->at(row);
        found = createIndex(row, 0, const_cast<FileNode *>(&n));
        list = n.children ? &*n.children : nullptr;
    }
    return found;
}

const FileNode *FileTreeModel::node(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<const FileNode *>(index.internalPointer()) : nullptr;
}

const QList<FileNode> *FileTreeModel::childrenOf(const QModelIndex &parent) const
{
    if (!m_tree)
        return nullptr;
    if (!parent.isValid())
        return &m_tree->roots;
    const FileNode *n = node(parent);
    return n && n->children ? &*n->children : nullptr;
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const QList<FileNode> *list = childrenOf(parent);
    if (!list || column != 0 || row < 0 || row >= list->size())
        return {};
    return createIndex(row, 0, const_cast<FileNode *>(&list->at(row)));
}

QModelIndex FileTreeModel::parent(const QModelIndex &child) const
{
    const FileNode *n = node(child);
    if (!n || !m_tree)
        return {};
    const FileNode *p = m_tree->places.value(n).parent;
    if (!p)
        return {};
    return createIndex(m_tree->places.value(p).row, 0, const_cast<FileNode *>(p));
}

int FileTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const QList<FileNode> *list = childrenOf(parent);
    return list ? int(list->size()) : 0;
}

int FileTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool FileTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant FileTreeModel::data(const QModelIndex &index, int role) const
{
    const FileNode *n = node(index);
    if (!n)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return n->name;
    case Qt::ToolTipRole:
        return n->isDirectory ? n->id : QStringLiteral("Click to peek · right-click for more");
    case PathRole:
        return n->id;
    case IsDirectoryRole:
        return n->isDirectory;
    case IsHighlightedRole:
        return m_highlighted.contains(n->id);
    case IsLeafRole:
        return !n->children.has_value();
    default:
        return {};
    }
}

QHash<int, QByteArray> FileTreeModel::roleNames() const
{
    auto names = QAbstractItemModel::roleNames();
    names.insert(PathRole, "path");
    names.insert(IsDirectoryRole, "isDirectory");
    names.insert(IsHighlightedRole, "isHighlighted");
    names.insert(IsLeafRole, "isLeaf");
    return names;
}

} // namespace panels
