#include "SidebarRig.h"

#include "app/SessionListModel.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/look/Styles.h"
#include "model/ConversationStore.h"
#include "panels/SessionSections.h"
#include "panels/SidebarView.h"
#include "stage/SkinStore.h"

#include <QDir>
#include <QListView>
#include <QTimeZone>
#include <QTest>

namespace sidebartest {

QCoro::Task<std::optional<QString>> ScriptedPanels::chooseSaveFile(SaveRequest request)
{
    saveNames.append(request.proposedName);
    co_return saveAnswer;
}

QCoro::Task<std::optional<QString>> ScriptedPanels::chooseFolder(FolderRequest)
{
    ++folderRequests;
    co_return folderAnswer;
}

Rig::Rig(const QString &skin) : Rig(skin, {}) {}

Rig::Rig(const QList<model::Conversation> &storedHistory) : Rig(QStringLiteral("default"), storedHistory) {}

Rig::Rig(const QString &skin, const QList<model::Conversation> &storedHistory)
{
    apptest::Harness::removeStoreFiles();
    if (!storedHistory.isEmpty()) {
        model::ConversationStore store(model::ConversationStore::Options{model::ConversationStore::defaultFilePath()});
        store.setConversations(storedHistory);
        store.setSelectedConversationID(storedHistory.first().id);
        store.flush();
    }
    m_auth.make();
    m_skins = std::make_unique<stage::SkinStore>(
        stage::SkinStore::Sources{QStringLiteral(":/skins"), QDir(m_local.stagePath()).filePath(QStringLiteral("skins"))});
    m_skins->select(skin);
    m_styles = std::make_unique<glass::StyleStore>(*m_skins);

    app::AppServices services = m_local.services();
    services.signIn = std::make_unique<apptest::FakeSignIn>(m_script);
    services.panels = &m_panels;
    services.auth = m_auth.auth.get();
    services.desktop = &m_auth.desktop;
    services.historyInBackground = !storedHistory.isEmpty();
    m_vm = std::make_unique<app::AppViewModel>(std::move(services));

    m_host = std::make_unique<QWidget>();
    m_host->resize(260, 700);
    m_sidebar = new panels::SidebarView(*m_vm, *m_styles, m_host.get());
    m_sidebar->setGeometry(0, 0, 260, 700);
    m_sheets = new glass::SheetOverlay(m_host.get(), *m_styles);
    m_sheets->setGeometry(m_host->rect());
    m_sidebar->setSheets(m_sheets);
}

Rig::~Rig()
{
    m_host.reset();
    m_vm.reset();
    QTest::qWait(10); // let finished coroutines go
}

bool Rig::showActive()
{
    m_host->show();
    m_host->activateWindow();
    return QTest::qWaitForWindowActive(m_host.get());
}

void Rig::setSessions(const QList<model::Conversation> &sessions, std::optional<QUuid> selected)
{
    model::ConversationStore &store = m_vm->conversations();
    store.setConversations(sessions);
    store.setSelectedConversationID(selected ? selected : std::optional(sessions.first().id));
    QCoreApplication::processEvents();
}

QList<model::Conversation> Rig::stored()
{
    return apptest::storedConversations(m_vm.get());
}

std::optional<model::Conversation> Rig::stored(const QUuid &id)
{
    for (const model::Conversation &c : stored())
        if (c.id == id)
            return c;
    return std::nullopt;
}

QStringList Rig::rows()
{
    using Kind = panels::SessionSectionsModel::RowKind;
    using Roles = app::SessionListModel::Role;
    panels::SessionSectionsModel &m = sectionsOf(*m_sidebar);
    QStringList out;
    for (int row = 0; row < m.rowCount(); ++row) {
        const QModelIndex at = m.index(row);
        switch (m.kindAt(row)) {
        case Kind::sectionHeader:
            out << QStringLiteral("# ") + at.data().toString();
            break;
        case Kind::emptyText:
            out << QStringLiteral("- ") + at.data().toString();
            break;
        case Kind::archivedToggle:
            out << (at.data(panels::SessionSectionsModel::ExpandedRole).toBool() ? QStringLiteral("v ")
                                                                                  : QStringLiteral("> "))
                       + at.data().toString();
            break;
        case Kind::session: {
            QString text = at.data(panels::SessionSectionsModel::InArchiveRole).toBool() ? QStringLiteral("a:")
                                                                                          : QString();
            text += at.data(Roles::TitleRole).toString();
            if (at.data(Roles::IsPinnedRole).toBool())
                text += QStringLiteral(" [pin]");
            if (at.data(Roles::IsUnreadRole).toBool())
                text += QStringLiteral(" [unread]");
            out << text;
            break;
        }
        }
    }
    return out;
}

int Rig::rowOf(const QUuid &id)
{
    return sectionsOf(*m_sidebar).rowOfSession(id);
}

QListView &sessionList(const panels::SidebarView &sidebar)
{
    auto *list = sidebar.findChild<QListView *>(QStringLiteral("sessionList"));
    if (!list)
        qFatal("the sidebar has no session list");
    return *list;
}

panels::SessionSectionsModel &sectionsOf(const panels::SidebarView &sidebar)
{
    auto *sections = qobject_cast<panels::SessionSectionsModel *>(sessionList(sidebar).model());
    if (!sections)
        qFatal("the session list shows no sections");
    return *sections;
}

model::Conversation session(const QString &title, int minutesAgo, bool pinned, bool archived, bool unread)
{
    model::Conversation c;
    c.id = QUuid::createUuid();
    c.title = title;
    // Whole seconds, as conversations.json keeps them.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    c.createdAt = QDateTime::fromSecsSinceEpoch(now - 60LL * (minutesAgo + 1000), Qt::UTC);
    c.updatedAt = QDateTime::fromSecsSinceEpoch(now - 60LL * minutesAgo, Qt::UTC);
    c.isPinned = pinned;
    c.isArchived = archived;
    c.isUnread = unread;
    return c;
}

} // namespace sidebartest
