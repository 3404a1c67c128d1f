#include "palette/PaletteCommand.h"

#include "app/AppViewModel.h"
#include "app/Donation.h"
#include "stage/BackgroundSettings.h"

namespace palette {

namespace {

QAction *find(const QList<QAction *> &actions, const QString &id)
{
    for (QAction *a : actions)
        if (a->objectName() == id)
            return a;
    return nullptr;
}

} // namespace

QList<PaletteCommand> PaletteCommand::commands(app::AppViewModel &app, const QList<QAction *> &actions)
{
    auto *vm = &app;
    // A window command: the palette triggers the window's own action.
    const auto windowCommand = [&actions](const QString &actionId) {
        QAction *a = find(actions, actionId);
        return [a] {
            if (a && a->isEnabled())
                a->trigger();
        };
    };
    const auto hint = [&actions](const QString &actionId) -> std::optional<QString> {
        QAction *a = find(actions, actionId);
        if (!a || a->shortcut().isEmpty())
            return std::nullopt;
        return a->shortcut().toString(QKeySequence::NativeText);
    };
    // Stop is offered also when nothing runs; it then does nothing.
    const auto stop = [vm] { vm->stop(); };

    const QString root = app.projectRootPath();
    const qsizetype attached = app.attachments().size();
    const auto &peeked = app.peekedFile();
    const bool wallpaper = app.background().isEnabled();

    return {
        {"new-session", "New Session", "Start a fresh build thread", "plus.square.on.square", hint("new-session"),
         {"new", "chat", "session"}, windowCommand("new-session")},
        {"toggle-sidebar", app.showSidebar() ? "Hide Sidebar" : "Show Sidebar", "Session rail",
         app.showSidebar() ? "sidebar.left" : "sidebar.right", hint("toggle-sidebar"),
         {"sidebar", "sessions", "rail", "collapse"}, windowCommand("toggle-sidebar")},
        {"toggle-files", app.showProjectPanel() ? "Hide Files" : "Show Files", "Project file tree", "folder",
         std::nullopt, {"files", "tree", "project"}, windowCommand("toggle-files")},
        {"toggle-tools", app.showToolLog() ? "Hide Tools" : "Show Tools", "Tool activity log",
         "wrench.and.screwdriver", std::nullopt, {"tools", "log", "shell"},
         windowCommand("toggle-tools")},
        {"open-project", "Open Project Folder…", "Choose which folder Qirv can touch", "folder.badge.plus",
         hint("open-project"), {"open", "folder", "workspace", "project"}, windowCommand("open-project")},
        {"finder", "Show Project in File Manager", root.isEmpty() ? QStringLiteral("No project open") : root, "folder",
         std::nullopt, {"finder", "reveal"}, [vm] { vm->revealProjectInFinder(); }},
        {"terminal", "Open Project in Terminal", "cd into the project root", "terminal", std::nullopt,
         {"terminal", "shell", "cli"}, [vm] { vm->openProjectInTerminal(); }},
        {"export", "Export Session…", "Save as Markdown", "square.and.arrow.up", hint("export"),
         {"export", "markdown", "save"}, windowCommand("export")},
        {"stop", "Stop Generation", app.isRunning() ? "Cancel the current run" : "Nothing running", "stop.fill",
         QStringLiteral("Esc"), {"stop", "cancel"}, stop},
        {"settings", "Settings…", "Moonshelf, model, wallpaper, safety", "gearshape", hint("settings"),
         {"settings", "prefs", "auth", "model"}, [vm] { vm->setShowSettings(true); }},
        {"donate",
         app::Donation::isConfigured() ? "Donate with PayPal…" : "Donate with PayPal (link not set)",
         "App is free. Optional tip.", "heart.fill", std::nullopt,
         {"donate", "tip", "cash", "support", "free", "pay", "paypal"},
         [vm] {
             if (app::Donation::isConfigured())
                 vm->openTipJar();
             else
                 vm->setShowSettings(true);
         }},
        {"wallpaper-toggle", wallpaper ? "Hide Wallpaper" : "Show Wallpaper", "Panic toggle",
         wallpaper ? "eye.slash" : "eye", std::nullopt, {"wallpaper", "background", "eye", "boss"},
         [vm] {
             auto &background = vm->background();
             background.setIsEnabled(!background.isEnabled());
             if (background.isEnabled())
                 background.reloadImage();
         }},
        {"clear-attachments", "Clear Attachments",
         attached ? QString::number(attached) + QStringLiteral(" file(s) on next send") : QStringLiteral("None pending"),
         "paperclip", std::nullopt, {"attach", "clear", "files"}, [vm] { vm->clearAttachments(); }},
        {"close-peek", "Close File Peek", peeked ? peeked->displayPath : QStringLiteral("No file open"), "doc.text",
         std::nullopt, {"peek", "close", "file"}, [vm] { vm->setPeekedFile(std::nullopt); }},
    };
}

QList<PaletteCommand> PaletteCommand::filtered(const QList<PaletteCommand> &commands, const QString &query)
{
    const QString q = query.trimmed().toLower();
    if (q.isEmpty())
        return commands;
    QList<PaletteCommand> kept;
    for (const PaletteCommand &c : commands) {
        const bool match = c.title.toLower().contains(q) || c.subtitle.toLower().contains(q)
            || std::any_of(c.keywords.begin(), c.keywords.end(), [&q](const QString &k) { return k.contains(q); });
        if (match)
            kept.append(c);
    }
    return kept;
}

} // namespace palette
