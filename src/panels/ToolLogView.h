#pragma once

#include <QPersistentModelIndex>
#include <QWidget>

class QStackedWidget;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace panels {

class ToolLogList;
class ToolLogRowDelegate;

// The tool activity log: one row per tool call, newest first, with its
// status badge, argument and result previews, and the touched path's actions.
class ToolLogView : public QWidget {
    Q_OBJECT
public:
    ToolLogView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

private:
    void showState();
    void onClicked(const QModelIndex &index, const QPoint &pos);
    void showMenu(const QModelIndex &index, const QPoint &globalPos);

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    QStackedWidget *m_stack = nullptr;
    ToolLogList *m_list = nullptr;
    ToolLogRowDelegate *m_delegate = nullptr;
    QPersistentModelIndex m_selectable;
};

} // namespace panels
