#pragma once

#include "settings/SettingsBanner.h"
#include "settings/SettingsLook.h"

#include <QWidget>

#include <qcoro/qcorotask.h>

class QLabel;

namespace app {
class AppViewModel;
class AccountController;
} // namespace app

namespace settings {

class FieldFrame;
class SettingsButton;

// The optional API key: a masked field, save to the keyring, import from
// the environment or a key file, clear. The key is only ever shown masked.
class ApiKeySection : public QWidget {
    Q_OBJECT
public:
    explicit ApiKeySection(app::AppViewModel &app, QWidget *parent = nullptr);

    void applyLook(const SettingsLook &look);
    // Fills the field with the stored key when the keyring has one; leaves
    // it as it is when there is none or the keyring cannot be read.
    void prefillFromKeyring();

    // Whether an action is waiting for the keyring.
    bool isBusy() const { return m_busy; }

    // The caption under the buttons.
    static QString captionText();

signals:
    void bannerRequested(const settings::Banner &banner);
    // An action finished (for tests and the window).
    void actionFinished();

private:
    void sync();
    QCoro::Task<> save();
    QCoro::Task<> importKey();
    QCoro::Task<> clear();
    void setBusy(bool busy);

    app::AppViewModel &m_app;
    app::AccountController &m_account;
    SettingsLook m_look;
    bool m_busy = false;
    // Typed since the field was last filled from the keyring: a key that
    // arrives late does not overwrite it.
    bool m_edited = false;

    FieldFrame *m_field = nullptr;
    SettingsButton *m_save = nullptr;
    SettingsButton *m_import = nullptr;
    SettingsButton *m_clear = nullptr;
    QLabel *m_caption = nullptr;
    QLabel *m_note = nullptr;
};

} // namespace settings
