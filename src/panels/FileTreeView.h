#pragma once

#include <QPointer>
#include <QSet>
#include <QWidget>

class QStackedWidget;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace panels {

class FileTreeModel;
class FileTreeOutline;
class PanelEmptyState;

// The "Project" panel: the project folder as an outline, from which a file
// is peeked, attached, revealed or its path copied.
class FileTreeView : public QWidget {
    Q_OBJECT
public:
    FileTreeView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    // The row menu of an entry, as the context menu shows it.
    QMenu *rowMenu(const QString &path, bool isDirectory, QWidget *parent);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void reload();
    void showState();
    void updateHighlights();
    void rememberOpenFolders();
    void restoreOpenFolders();
    void copyText(const QString &text);

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    FileTreeModel *m_model = nullptr;
    QStackedWidget *m_stack = nullptr;
    PanelEmptyState *m_empty = nullptr;
    FileTreeOutline *m_tree = nullptr;
    QSet<QString> m_openFolders;
    int m_scroll = 0;
};

} // namespace panels
