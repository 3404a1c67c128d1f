#pragma once

#include <QList>
#include <QString>
#include <QUuid>

class QMenu;
class QWidget;

namespace app {
class AppViewModel;
}
namespace glass {
struct Styles;
}

namespace panels::SessionActions {

enum class Action { togglePin, toggleUnread, rename, fork, exportSession, archive, unarchive, remove };

struct Entry {
    Action action;
    QString text;
    QString symbol;
    bool separatorBefore = false;
    bool destructive = false;
    friend bool operator==(const Entry &, const Entry &) = default;
};

// What the menu of a session row offers, in order; built afresh from the
// row's flags each time it opens.
QList<Entry> entries(bool isPinned, bool isUnread, bool inArchive);

// The one-call actions, straight into the controller. Rename and Delete ask
// the user first: the sidebar opens their sheets instead.
void run(app::AppViewModel &app, Action action, const QUuid &id, bool isUnread);

// The question Delete asks, the title cut at a character boundary.
QString deletePrompt(const QString &title);

// The menu of one row; chosen calls back with the entry's action.
QMenu *buildMenu(const QList<Entry> &entries, const glass::Styles &styles, QWidget *parent,
                 const std::function<void(Action)> &chosen);

} // namespace panels::SessionActions
