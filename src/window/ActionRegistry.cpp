#include "window/ActionRegistry.h"

#include "app/AppViewModel.h"

#include <QEvent>

namespace window {

namespace {

// The stop command's key goes to the Escape dispatcher rather than straight
// to stop(): the same key denies a waiting approval first. A click in the
// menu (or the palette) still triggers the action itself.
class KeyRoutedAction final : public QAction {
public:
    KeyRoutedAction(const QString &text, QObject *parent, std::function<void()> onKey)
        : QAction(text, parent), m_onKey(std::move(onKey))
    {
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::Shortcut) {
            if (isEnabled())
                m_onKey();
            return true;
        }
        return QAction::event(event);
    }

private:
    std::function<void()> m_onKey;
};

} // namespace

ActionRegistry::ActionRegistry(app::AppViewModel &app, QObject *parent) : QObject(parent), m_app(app)
{
    using app::AppViewModel;
    make(Command::about, QStringLiteral("About Moonshelf Mac"), {});
    make(Command::newSession, QStringLiteral("New Session"), QKeySequence(Qt::CTRL | Qt::Key_N));
    make(Command::openProjectFolder, QStringLiteral("Open Project Folder\u2026"), QKeySequence(Qt::CTRL | Qt::Key_O));
    make(Command::exportSession, QStringLiteral("Export Session\u2026"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    make(Command::commandPalette, QStringLiteral("Command Palette\u2026"), QKeySequence(Qt::CTRL | Qt::Key_K));
    make(Command::toggleSidebar, QStringLiteral("Toggle Sidebar"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    make(Command::toggleFiles, QStringLiteral("Toggle Files"), QKeySequence(Qt::CTRL | Qt::Key_B));
    make(Command::toggleTools, QStringLiteral("Toggle Tools"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    make(Command::stop, QStringLiteral("Stop"), QKeySequence(Qt::Key_Escape));
    make(Command::settings, QStringLiteral("Settings\u2026"), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    make(Command::quit, QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

    connect(action(Command::about), &QAction::triggered, this, &ActionRegistry::aboutRequested);
    connect(action(Command::quit), &QAction::triggered, this, &ActionRegistry::quitRequested);
    connect(action(Command::newSession), &QAction::triggered, &m_app, &AppViewModel::newChat);
    connect(action(Command::openProjectFolder), &QAction::triggered, &m_app, [this] { m_app.pickProjectFolder(); });
    connect(action(Command::exportSession), &QAction::triggered, &m_app, [this] { m_app.exportSelectedSession(); });
    connect(action(Command::commandPalette), &QAction::triggered, &m_app,
            [this] { m_app.setShowCommandPalette(true); });
    connect(action(Command::toggleSidebar), &QAction::triggered, &m_app,
            [this] { m_app.setShowSidebar(!m_app.showSidebar()); });
    connect(action(Command::toggleFiles), &QAction::triggered, &m_app, &AppViewModel::toggleProjectPanel);
    connect(action(Command::toggleTools), &QAction::triggered, &m_app, &AppViewModel::toggleToolLog);
    connect(action(Command::stop), &QAction::triggered, &m_app, &AppViewModel::stop);
    connect(action(Command::settings), &QAction::triggered, &m_app, [this] { m_app.setShowSettings(true); });

    QAction *stop = action(Command::stop);
    stop->setEnabled(m_app.isRunning());
    connect(&m_app, &AppViewModel::isRunningChanged, stop, [this, stop] { stop->setEnabled(m_app.isRunning()); });
}

QAction *ActionRegistry::make(Command command, const QString &text, const QKeySequence &shortcut)
{
    QAction *action = command == Command::stop
        ? new KeyRoutedAction(text, this, [this] { emit escapePressed(); })
        : new QAction(text, this);
    action->setObjectName(id(command));
    action->setShortcut(shortcut);
    // Menus here never show icons; the shortcut is shown as written.
    action->setShortcutVisibleInContextMenu(true);
    if (command == Command::about)
        action->setMenuRole(QAction::AboutRole);
    else if (command == Command::settings)
        action->setMenuRole(QAction::PreferencesRole);
    else if (command == Command::quit)
        action->setMenuRole(QAction::QuitRole);
    else
        action->setMenuRole(QAction::NoRole);
    m_actions.insert(command, action);
    m_order.append(command);
    return action;
}

QList<QAction *> ActionRegistry::actions() const
{
    QList<QAction *> out;
    for (Command c : m_order)
        out.append(m_actions.value(c));
    return out;
}

QString ActionRegistry::id(Command command)
{
    switch (command) {
    case Command::about: return QStringLiteral("about");
    case Command::newSession: return QStringLiteral("new-session");
    case Command::openProjectFolder: return QStringLiteral("open-project");
    case Command::exportSession: return QStringLiteral("export");
    case Command::commandPalette: return QStringLiteral("command-palette");
    case Command::toggleSidebar: return QStringLiteral("toggle-sidebar");
    case Command::toggleFiles: return QStringLiteral("toggle-files");
    case Command::toggleTools: return QStringLiteral("toggle-tools");
    case Command::stop: return QStringLiteral("stop");
    case Command::settings: return QStringLiteral("settings");
    case Command::quit: return QStringLiteral("quit");
    }
    return {};
}

} // namespace window
