#include "panels/FileNode.h"

#include <QCollator>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace panels {

QList<FileNode> FileNode::load(const QString &folder, int depth, int maxDepth)
{
    if (depth > maxDepth)
        return {};
    // readdir's entry types spare one stat per entry, and QFileInfo's
    // weight, on folders of tens of thousands of files.
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return {};

    static thread_local const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        return c;
    }();

    QList<FileNode> nodes;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') // hidden, and "." and ".."
            continue;
        FileNode node;
        node.name = QFile::decodeName(entry->d_name);
        node.id = prefix + node.name;
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems do not say; a link is never followed.
            struct stat st {};
            isDirectory = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        node.isDirectory = isDirectory;
        nodes.append(std::move(node));
    }
    ::closedir(dir);
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const FileNode &a, const FileNode &b) { return collator.compare(a.name, b.name) < 0; });

    if (depth < maxDepth) {
        for (FileNode &node : nodes) {
            if (!node.isDirectory)
                continue;
            QList<FileNode> children = load(node.id, depth + 1, maxDepth);
            if (!children.isEmpty())
                node.children = std::move(children);
        }
    }
    return nodes;
}

} // namespace panels
