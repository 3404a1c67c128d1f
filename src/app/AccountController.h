#pragma once

#include "platform/Result.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

namespace auth {
class MoonshelfAuth;
class SecretsStore;
} // namespace auth
namespace platform {
class DesktopServices;
}

namespace app {

// What the settings window shows of sign-in and the API key, and the
// operations it offers: the device-code sign-in, the command-line import,
// sign-out, and saving, importing and clearing the key. A thin face of the
// sign-in object and the key store, so views need neither. Main thread only.
//
// The key is handed out only for the masked field; nothing here prints or
// logs it.
class AccountController : public QObject {
    Q_OBJECT
public:
    // What the keyring said about the key.
    enum class KeyState { Loading, Present, Absent, Unavailable };
    Q_ENUM(KeyState)

    AccountController(auth::MoonshelfAuth &auth, platform::DesktopServices &desktop, QObject *parent = nullptr);

    // The sign-in object's published state.
    bool hasSession() const;
    std::optional<QString> sessionEmail() const;
    bool isSignedIn() const;
    QString authModeDescription() const;
    bool isSigningIn() const;
    bool isImporting() const;
    std::optional<QString> signInUserCode() const;
    // Only an http or https address: what the service sent may be anything.
    std::optional<QUrl> signInVerificationURL() const;
    std::optional<QString> lastStatus() const;
    // The service turned the credential in use down (a 401). Until the
    // session or the key changes, the account is not shown as connected.
    bool isCredentialRefused() const { return m_refused; }
    void noteCredentialRefused();
    // A later request went through with it: shown as connected again.
    void noteCredentialAccepted();
    std::optional<QString> lastError() const;

    // The stored key, for the masked field only.
    std::optional<QString> storedAPIKey() const;
    KeyState keyState() const;

    void startDeviceSignIn();
    void cancelSignIn();
    void signOut();
    // The status text on success, the error's text on failure.
    [[nodiscard]] platform::Result<QString, QString> importFromQirvCLI();
    // The path the import reads, as shown to the user.
    QString cliSessionPath() const;

    // Saves the key trimmed of surrounding whitespace. An empty key or one
    // holding a line break is refused before the keyring is touched.
    [[nodiscard]] QCoro::Task<platform::Status<QString>> saveAPIKey(QString typed);
    // The imported key on success.
    [[nodiscard]] QCoro::Task<platform::Result<QString, QString>> importAPIKey();
    [[nodiscard]] QCoro::Task<platform::Status<QString>> clearAPIKey();

    // Opens a web page in the browser; anything but http or https is refused.
    // When no browser can be started, pageUnopened says so with the address.
    QCoro::Task<bool> openWebPage(QUrl url);

    // Why a typed key cannot be saved; none when it can.
    static std::optional<QString> keyRejection(const QString &typed);
    static bool isWebAddress(const QUrl &url);

signals:
    // Each notice fires once per change of its own value.
    void sessionChanged();
    void lastStatusChanged();
    void lastErrorChanged();
    void pageUnopened(const QString &text);
    // After any change of what this object shows, the key's state included.
    void changed();

private:
    auth::MoonshelfAuth &m_auth;
    auth::SecretsStore &m_secrets;
    platform::DesktopServices &m_desktop;
    bool m_refused = false;
};

} // namespace app
