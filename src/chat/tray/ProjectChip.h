#pragma once

#include <QString>
#include <QWidget>

#include <optional>

namespace glass {
class StyleStore;
}

namespace chat {

class TrayPopoverRow;

// The folder name the chip shows: the last component of the path ("/" for
// the root folder; trailing slashes do not count).
QString projectFolderName(const QString &rootPath);

// What the project chip shows: the call to open a folder while there is
// none, else the folder's name with the Files panel's symbol.
struct ProjectChipLook {
    QString title;
    QString symbol;
    QString tooltip;
    bool hasProject = false;
    friend bool operator==(const ProjectChipLook &, const ProjectChipLook &) = default;
};
ProjectChipLook projectChipLook(const std::optional<QString> &rootPath, bool showProjectPanel);

// The project popover: show or hide the Files panel, reveal in Finder, open
// in Terminal, change the project. Each row emits its signal; the caller
// acts and closes the popover.
class ProjectPopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 220;

    ProjectPopover(bool showProjectPanel, glass::StyleStore &styles, QWidget *parent = nullptr);

signals:
    void toggleFilesRequested();
    void revealRequested();
    void terminalRequested();
    void changeProjectRequested();
};

} // namespace chat
