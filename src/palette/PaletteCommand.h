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

    // The commands whose title, subtitle or keywords contain the trimmed,
    // lower-cased query; all of them for a blank query, in table order.
    static QList<PaletteCommand> filtered(const QList<PaletteCommand> &commands, const QString &query);
};

} // namespace palette
