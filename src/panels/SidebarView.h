#pragma once

#include "panels/SessionHover.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>

class QListView;

namespace app {
class AppViewModel;
}
namespace glass {
class SheetOverlay;
class StyleStore;
}

namespace panels {

class AccountFooter;
class SearchField;
class SessionList;
class SessionRowDelegate;
class SessionSectionsModel;
class SidebarButton;

// The session rail at the window's leading edge: New session, the project
// button, the title search, the sessions and the archived group, and the
// account footer. It keeps only view state (the archived group's state,
// the hovered row, the rename target); every change goes to the controller.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    SidebarView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);
    ~SidebarView() override;

    // Where the rename and delete sheets open: the window's overlay. Without
    // one the sidebar makes its own over its window.
    void setSheets(glass::SheetOverlay *sheets);
    glass::SheetOverlay *sheets();

    // The project button's title for a project folder path.
    static QString projectTitle(const QString &rootPath);

    const std::optional<QUuid> &hoveredSession() const { return m_hover.id; }
    const std::optional<QUuid> &renameTarget() const { return m_renameTarget; }

    // The menu of a session row, as the "⋮" button and the context menu open it.
    void openMenu(int row, const QPoint &globalPos);
    void openRename(const QUuid &id);
    void openDelete(const QUuid &id);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onListClicked(const QPoint &pos);
    // A click or Return on a row: a session is selected, the toggle flips.
    void activateRow(int row);
    void setHovered(const QModelIndex &index);
    void syncProject();
    void syncSearch();
    void syncReaderSelection();
    QString titleOf(const QUuid &id) const;
    void openSheet(QWidget *content);
    void closeSheet(QWidget *content);

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    std::unique_ptr<SessionSectionsModel> m_sections;
    SidebarButton *m_newSession = nullptr;
    SidebarButton *m_project = nullptr;
    SearchField *m_search = nullptr;
    SessionList *m_list = nullptr;
    SessionRowDelegate *m_delegate = nullptr;
    AccountFooter *m_footer = nullptr;
    QPointer<glass::SheetOverlay> m_sheets;

    // View state.
    SessionHover m_hover;
    std::optional<QUuid> m_renameTarget;
    QString m_renameDraft;
};

} // namespace panels
