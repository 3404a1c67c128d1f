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
        {"toggle-files", app.projectPanelShown() ? "Hide Files" : "Show Files", "Project file tree", "folder",
         std::nullopt, {"files", "tree", "project"}, windowCommand("toggle-files")},
        {"toggle-tools", app.toolLogShown() ? "Hide Tools" : "Show Tools", "Tool activity log",
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

std::optional<int> PaletteCommand::rank(const PaletteCommand &command, const QString &query)
{
    const QString q = query.trimmed().toLower();
    if (q.isEmpty())
        return 0;
    const auto wordChar = [](const QString &text, qsizetype i) {
        return i >= 0 && i < text.size() && text.at(i).isLetterOrNumber();
    };
    // How q sits in text: 2 as a whole word (or words), 1 at the start of
    // a word, 0 inside one; nothing when text does not hold it.
    const auto fit = [&](const QString &text) -> std::optional<int> {
        std::optional<int> best;
        for (qsizetype at = text.indexOf(q); at >= 0; at = text.indexOf(q, at + 1)) {
            const bool starts = !wordChar(text, at - 1) || !wordChar(text, at);
            const bool ends = !wordChar(text, at + q.size()) || !wordChar(text, at + q.size() - 1);
            best = std::max(best.value_or(0), starts ? (ends ? 2 : 1) : 0);
        }
        return best;
    };
    const QString title = command.title.toLower();
    // "Settings…" is typed as "settings".
    QString bare = title;
    while (!bare.isEmpty() && !bare.back().isLetterOrNumber())
        bare.chop(1);
    if (title == q || bare == q)
        return 0;
    if (title.startsWith(q))
        return 1;
    std::optional<int> inTitle = fit(title);
    for (const QString &keyword : command.keywords) {
        if (keyword == q)
            inTitle = 2;
        else if (keyword.startsWith(q))
            inTitle = std::max(inTitle.value_or(0), 1);
        else if (keyword.contains(q))
            inTitle = std::max(inTitle.value_or(0), 0);
    }
    if (inTitle)
        return 4 - *inTitle; // 2 whole word, 3 a word's start, 4 inside a word
    if (const std::optional<int> inSubtitle = fit(command.subtitle.toLower()))
        return *inSubtitle > 0 ? 5 : 6;
    return std::nullopt;
}

QList<PaletteCommand> PaletteCommand::filtered(const QList<PaletteCommand> &commands, const QString &query)
{
    if (query.trimmed().isEmpty())
        return commands;
    // The best match of what was typed first; equal matches in table order.
    QList<std::pair<int, PaletteCommand>> ranked;
    for (const PaletteCommand &c : commands)
        if (const std::optional<int> r = rank(c, query))
            ranked.append({*r, c});
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<PaletteCommand> kept;
    kept.reserve(ranked.size());
    for (const auto &[r, c] : std::as_const(ranked))
        kept.append(c);
    return kept;
}

} // namespace palette
