#pragma once

#include <QAction>
#include <QHash>
#include <QList>
#include <QObject>

namespace app {
class AppViewModel;
}

namespace window {

// The commands of the menus, the title bar and the palette.
enum class Command {
    about,
    newSession,
    openProjectFolder,
    exportSession,
    commandPalette,
    toggleSidebar,
    toggleFiles,
    toggleTools,
    stop,
    settings,
    quit,
};

// The one set of window and application commands, as QActions: added to
// the main window, so their shortcuts work with the menu bar hidden, listed
// by the menu bar and handed to the command palette. Each action's
// objectName is its id ("new-session", "stop", ...). Enabled states follow
// the controller.
class ActionRegistry : public QObject {
    Q_OBJECT
public:
    explicit ActionRegistry(app::AppViewModel &app, QObject *parent = nullptr);

    QAction *action(Command command) const { return m_actions.value(command); }
    // Every action in menu order (dividers left out).
    QList<QAction *> actions() const;

    static QString id(Command command);

signals:
    // Commands the window carries out itself.
    void aboutRequested();
    void quitRequested();
    // Escape pressed while the stop command may act: the window's Escape
    // dispatcher decides what it ends.
    void escapePressed();

private:
    QAction *make(Command command, const QString &text, const QKeySequence &shortcut);

    app::AppViewModel &m_app;
    QHash<Command, QAction *> m_actions;
    QList<Command> m_order;
};

} // namespace window
