#pragma once

#include "../app/AppTestKit.h"
#include "../auth/AuthTestKit.h"

#include "app/AppViewModel.h"
#include "glass/look/Styles.h"
#include "settings/SettingsWindow.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"

#include <QNetworkAccessManager>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace model {
class AttachmentTempStore;
}

namespace settingstest {

// One settings window on a real controller, a real sign-in object (on the
// loopback authorization server when one is set) and a keyring: the real
// Secret Service, or a fake one for states a daemon cannot be made to show.
class Rig {
public:
    Rig();
    ~Rig();

    // Real keyring (default) or the fake one's state.
    void useFakeKeyring(std::shared_ptr<authtest::FakeKeyringState> state) { m_fake = std::move(state); }
    // Builds everything; the window is not shown.
    settings::SettingsWindow &make(const QString &skinID = QStringLiteral("default"));

    auth::MoonshelfAuth &auth() { return *m_auth; }
    auth::SecretsStore &secrets() { return *m_secrets; }
    app::AppViewModel &vm() { return *m_vm; }
    settings::SettingsWindow &window() { return *m_window; }
    stage::SkinStore &skins() { return *m_skins; }
    glass::StyleStore &styles() { return *m_styles; }
    stage::BackgroundSettings &background() { return m_local.background(); }
    authtest::RecordingDesktop &desktop() { return m_desktop; }
    authtest::ManualClock &clock() { return m_clock; }
    // Alerts shown: "warning|info title: message".
    const QStringList &alerts() const { return m_alerts; }

    // What the keyring holds now, read by a fresh store.
    static std::optional<QString> keyringNow();
    static void clearKeyring();
    static bool storeInKeyring(const QString &key);
    static bool keyringAvailable();

private:
    apptest::LocalServices m_local;
    QTemporaryDir m_skinDir;
    std::shared_ptr<authtest::FakeKeyringState> m_fake;
    authtest::ManualClock m_clock;
    authtest::RecordingDesktop m_desktop;
    std::unique_ptr<auth::SecretsStore> m_secrets;
    std::unique_ptr<auth::MoonshelfAuth> m_auth;
    std::unique_ptr<stage::SkinStore> m_skins;
    std::unique_ptr<glass::StyleStore> m_styles;
    std::unique_ptr<app::AppViewModel> m_vm;
    std::unique_ptr<settings::SettingsWindow> m_window;
    QStringList m_alerts;
};

// "kind: text" of a banner, or "-".
QString describe(const std::optional<settings::Banner> &banner);

// Saves a picture of the window for a person to look at, scrolled so that
// the given part shows; returns the path.
QString savePicture(settings::SettingsWindow &window, const QString &name, QWidget *part = nullptr);

} // namespace settingstest
