#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace panels {

// One entry of the project folder, as the file tree shows it.
struct FileNode {
    QString id;   // the entry's path as listed (the folder's path + "/" + name)
    QString name; // the last path component
    bool isDirectory = false;
    // For a folder: its own entries in display order; absent for a file, an
    // empty or unreadable folder, and a folder at the depth limit (a leaf).
    std::optional<QList<FileNode>> children;

    friend bool operator==(const FileNode &, const FileNode &) = default;

    // The folder's entries in display order, `depth` being theirs (0 for the
    // project folder's own). Never fails: what cannot be listed is empty.
    // Hidden entries (a leading dot) are skipped; symbolic links are leaves,
    // so a link to "/" or ".." never multiplies the walk.
    static QList<FileNode> load(const QString &folder, int depth, int maxDepth);
};

} // namespace panels
