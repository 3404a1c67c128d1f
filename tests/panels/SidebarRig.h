#pragma once

#include "../app/AppTestKit.h"
#include "../auth/AuthTestKit.h"

#include "app/FilePanels.h"
#include "model/ChatRecords.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <memory>

namespace glass {
class SheetOverlay;
class StyleStore;
}
namespace model {
class AttachmentTempStore;
}
class QListView;

namespace panels {
class SessionSectionsModel;
class SidebarView;
}
namespace stage {
class BackgroundSettings;
class SkinStore;
}

namespace sidebartest {

// Save panels that answer at once from a script and note the requests.
class ScriptedPanels final : public app::FilePanels {
public:
    std::optional<QString> saveAnswer;
    std::optional<QString> folderAnswer;
    QStringList saveNames;
    int folderRequests = 0;
    QCoro::Task<std::optional<QString>> chooseSaveFile(SaveRequest request) override;
    QCoro::Task<std::optional<QString>> chooseFolder(FolderRequest request) override;
};

// A controller with its stores in the test's HOME (emptied first), a
// sign-in object on a fake keyring, a recording desktop, and a sidebar in a
// host window that holds the sheet overlay.
class Rig {
public:
    explicit Rig(const QString &skin = QStringLiteral("default"));
    // With history stored before the start, read in the background as the app does.
    explicit Rig(const QList<model::Conversation> &storedHistory);
    ~Rig();

    app::AppViewModel &vm() { return *m_vm; }
    panels::SidebarView &sidebar() { return *m_sidebar; }
    QWidget &host() { return *m_host; }
    glass::SheetOverlay &sheets() { return *m_sheets; }
    glass::StyleStore &styles() { return *m_styles; }
    stage::SkinStore &skins() { return *m_skins; }
    ScriptedPanels &panels() { return m_panels; }
    authtest::RecordingDesktop &desktop() { return m_auth.desktop; }
    apptest::FakeSignIn::Script &signIn() { return *m_script; }

    // Shows the host window and waits until it has the keyboard.
    bool showActive();
    // Replaces the store's sessions (selecting the first) and waits for the list.
    void setSessions(const QList<model::Conversation> &sessions, std::optional<QUuid> selected = std::nullopt);
    // conversations.json as it is on disk now.
    QList<model::Conversation> stored();
    std::optional<model::Conversation> stored(const QUuid &id);

    // The list's rows as text: "# Sessions", "- No matches", "> Archived"
    // (collapsed) or "v Archived", a session's title, prefixed "a:" in the
    // archived group, with " [pin]" and " [unread]" marks.
    QStringList rows();
    // The list row of a session, or -1.
    int rowOf(const QUuid &id);

private:
    Rig(const QString &skin, const QList<model::Conversation> &storedHistory);

    apptest::LocalServices m_local;
    authtest::AuthRig m_auth;
    ScriptedPanels m_panels;
    std::shared_ptr<apptest::FakeSignIn::Script> m_script = std::make_shared<apptest::FakeSignIn::Script>();
    std::unique_ptr<stage::SkinStore> m_skins;
    std::unique_ptr<glass::StyleStore> m_styles;
    std::unique_ptr<app::AppViewModel> m_vm;
    std::unique_ptr<QWidget> m_host;
    panels::SidebarView *m_sidebar = nullptr;
    glass::SheetOverlay *m_sheets = nullptr;
};

// The sidebar's session list, found by its object name, and the sections
// it shows.
QListView &sessionList(const panels::SidebarView &sidebar);
panels::SessionSectionsModel &sectionsOf(const panels::SidebarView &sidebar);

// A session updated minutesAgo minutes before now.
model::Conversation session(const QString &title, int minutesAgo, bool pinned = false, bool archived = false,
                            bool unread = false);

} // namespace sidebartest
