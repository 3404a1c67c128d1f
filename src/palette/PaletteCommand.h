#pragma once

#include <QAction>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace app {
class AppViewModel;
}

namespace palette {

// One row of the command palette, built afresh from the controller's state.
struct PaletteCommand {
    QString id;
    QString title;
    QString subtitle;
    QString systemImage;
    std::optional<QString> shortcutHint; // shown only; the palette binds no key
    QStringList keywords;
    std::function<void()> action;

    // The fourteen commands. Those the window also has as actions (new
    // session, the toggles, open, export, stop, settings) trigger those very
    // actions, found by their objectName; their hint is the action's shortcut.
    static QList<PaletteCommand> commands(app::AppViewModel &app, const QList<QAction *> &actions);

    // How well a command matches the trimmed, lower-cased query, best
    // first: 0 the title itself, 1 the title's start, 2 a whole word of
    // the title or a keyword, 3 the start of one, 4 inside one, 5 the
    // start of a subtitle word, 6 inside the subtitle; nothing when none
    // of them holds the query.
    static std::optional<int> rank(const PaletteCommand &command, const QString &query);

    // The commands whose title, subtitle or keywords contain the trimmed,
    // lower-cased query, best match first and equal matches in table
    // order (Return runs the first); all of them for a blank query.
    static QList<PaletteCommand> filtered(const QList<PaletteCommand> &commands, const QString &query);
};

} // namespace palette
