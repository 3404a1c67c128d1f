#pragma once

#include "settings/SettingsBanner.h"
#include "settings/SettingsLook.h"

#include <QWidget>

class QLabel;

namespace app {
class AppViewModel;
class AccountController;
} // namespace app

namespace settings {

class BusyIndicator;
class LinkButton;
class SettingsButton;

// The service sign-in: the state (how, as whom, the status dot), the
// device-code sign-in with its code, page link and Cancel, the import of
// the command-line session, and sign-out. Keeps no state of its own.
class SignInSection : public QWidget {
    Q_OBJECT
public:
    explicit SignInSection(app::AppViewModel &app, QWidget *parent = nullptr);

    void applyLook(const SettingsLook &look);

    // Shown for the tests and the pictures.
    bool dotShowsSignedIn() const { return m_signedInDot; }
    bool isWaitingShown() const;

    // The second status line for a state: the e-mail of a session (even an
    // empty one), else the not-connected notice when signed out, else none.
    static std::optional<QString> detailText(bool hasSession, const std::optional<QString> &email, bool isSignedIn);

signals:
    void bannerRequested(const settings::Banner &banner);
    void alertRequested(const QString &title, const QString &message);

private:
    void sync();
    void signIn();
    void signOut();
    void importFromCli();
    void finishImport();

    app::AppViewModel &m_app;
    app::AccountController &m_account;
    SettingsLook m_look;
    bool m_signedInDot = false;

    QLabel *m_mode = nullptr;
    QLabel *m_detail = nullptr;
    QLabel *m_cliPath = nullptr;
    QWidget *m_dot = nullptr;

    QWidget *m_waiting = nullptr;
    BusyIndicator *m_progress = nullptr;
    QLabel *m_code = nullptr;
    LinkButton *m_pageLink = nullptr;
    SettingsButton *m_cancel = nullptr;

    QWidget *m_idle = nullptr;
    SettingsButton *m_signIn = nullptr;
    SettingsButton *m_import = nullptr;
    SettingsButton *m_signOut = nullptr;
    QLabel *m_caption = nullptr;
};

} // namespace settings
