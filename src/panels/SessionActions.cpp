#include "panels/SessionActions.h"

#include "app/AppViewModel.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "panels/SessionTitle.h"

#include <QMenu>

namespace panels::SessionActions {

namespace {
// Long enough to tell sessions apart, short enough for the sheet.
constexpr qsizetype kPromptTitle = 80;
} // namespace

QList<Entry> entries(bool isPinned, bool isUnread, bool inArchive)
{
    QList<Entry> list;
    list.append({Action::togglePin, isPinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"),
                 isPinned ? QStringLiteral("pin.slash") : QStringLiteral("pin")});
    list.append({Action::toggleUnread, isUnread ? QStringLiteral("Mark as read") : QStringLiteral("Mark as unread"),
                 QStringLiteral("circlebadge")});
    list.append({Action::rename, QStringLiteral("Rename"), QStringLiteral("pencil")});
    list.append({Action::fork, QStringLiteral("Fork"), QStringLiteral("arrow.branch")});
    list.append({Action::exportSession, QStringLiteral("Export…"), QStringLiteral("square.and.arrow.up")});
    if (inArchive)
        list.append({Action::unarchive, QStringLiteral("Unarchive"), QStringLiteral("tray.and.arrow.up"), true});
    else
        list.append({Action::archive, QStringLiteral("Archive"), QStringLiteral("archivebox"), true});
    list.append({Action::remove, QStringLiteral("Delete"), QStringLiteral("trash"), false, true});
    return list;
}

void run(app::AppViewModel &app, Action action, const QUuid &id, bool isUnread)
{
    switch (action) {
    case Action::togglePin:
        app.togglePinSession(id);
        return;
    case Action::toggleUnread:
        // The flag the menu showed decides, not whatever it is by now.
        app.setSessionUnread(id, !isUnread);
        return;
    case Action::fork:
        app.forkSession(id);
        return;
    case Action::exportSession:
        app.exportSession(id);
        return;
    case Action::archive:
        app.archiveSession(id);
        return;
    case Action::unarchive:
        app.unarchiveSession(id);
        return;
    case Action::rename:
    case Action::remove:
        return; // asked through a sheet first
    }
}

QString deletePrompt(const QString &title)
{
    const QString shown = SessionTitle::cut(SessionTitle::oneLine(title).trimmed(), kPromptTitle);
    return QStringLiteral("Delete “%1”? This cannot be undone.").arg(shown);
}

QMenu *buildMenu(const QList<Entry> &entries, const glass::Styles &styles, QWidget *parent,
                 const std::function<void(Action)> &chosen)
{
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setPalette(styles.palette());
    QFont font = styles.body.font;
    menu->setFont(font);
    for (const Entry &entry : entries) {
        if (entry.separatorBefore)
            menu->addSeparator();
        const QColor tint = entry.destructive ? styles.danger : styles.textSecondary;
        QAction *action = menu->addAction(glass::SymbolIcons::icon(entry.symbol, tint, 16), entry.text);
        action->setData(int(entry.action));
        const Action which = entry.action;
        QObject::connect(action, &QAction::triggered, menu, [chosen, which] { chosen(which); });
    }
    return menu;
}

} // namespace panels::SessionActions
