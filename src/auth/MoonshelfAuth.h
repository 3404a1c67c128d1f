#pragma once

#include "auth/AuthError.h"
#include "auth/OAuthSession.h"
#include "platform/Result.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace platform {
class DesktopServices;
}

namespace auth {

class Clock;
class SecretsStore;
struct SignInAttempt;

// The one sign-in object of the process: the device-code sign-in, the
// session and its file, the command-line import, refresh, sign-out and the
// bearer token of each run. Main thread only.
class MoonshelfAuth : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<auth::OAuthSession> session READ session NOTIFY sessionChanged)
    Q_PROPERTY(bool isSigningIn READ isSigningIn NOTIFY isSigningInChanged)
    Q_PROPERTY(bool isImporting READ isImporting NOTIFY isImportingChanged)
    Q_PROPERTY(std::optional<QString> signInUserCode READ signInUserCode NOTIFY signInUserCodeChanged)
    Q_PROPERTY(std::optional<QUrl> signInVerificationURL READ signInVerificationURL NOTIFY
                   signInVerificationURLChanged)
    Q_PROPERTY(std::optional<QString> lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(std::optional<QString> lastStatus READ lastStatus NOTIFY lastStatusChanged)
    Q_PROPERTY(bool isSignedIn READ isSignedIn NOTIFY changed)
    Q_PROPERTY(QString authModeDescription READ authModeDescription NOTIFY changed)

public:
    using OAuthSession = auth::OAuthSession;

    struct Dependencies {
        SecretsStore *secrets = nullptr;
        platform::DesktopServices *desktop = nullptr; // opens the verification page
        Clock *clock = nullptr;
        QNetworkAccessManager *network = nullptr;
        QString homeDirectory; // where ~/.qirv/auth.json is looked for
    };

    // Restores the session file, else imports the command-line session
    // unless the user signed out explicitly.
    explicit MoonshelfAuth(Dependencies dependencies, QObject *parent = nullptr);
    ~MoonshelfAuth() override;

    // The process's object, on the real keyring, browser, clock and network.
    static MoonshelfAuth &shared();

    const std::optional<OAuthSession> &session() const { return m_session; }
    bool isSigningIn() const { return m_isSigningIn; }
    bool isImporting() const { return m_isImporting; }
    const std::optional<QString> &signInUserCode() const { return m_signInUserCode; }
    const std::optional<QUrl> &signInVerificationURL() const { return m_signInVerificationURL; }
    const std::optional<QString> &lastError() const { return m_lastError; }
    const std::optional<QString> &lastStatus() const { return m_lastStatus; }

    // A session, or a key in the keyring (even an empty one).
    bool isSignedIn() const;
    QString authModeDescription() const;

    SecretsStore &secrets() const { return *m_deps.secrets; }
    QString sessionFileURL() const;

    // Starts a device-code sign-in (cancelling any running one); returns at once.
    void startDeviceSignIn();
    // Stops the running sign-in; says "Sign-in cancelled" when one was under way.
    void cancelSignIn();

    // Reads ~/.qirv/auth.json and signs in with it; the status text on success.
    [[nodiscard]] platform::Result<QString, AuthError> importFromQirvCLI();

    // The token for a run: the session's (refreshed when within two minutes of
    // its expiry), else the keyring's API key. Never holds CR or LF.
    [[nodiscard]] QCoro::Task<platform::Result<QString, AuthError>> bearerToken();

    void signOut();

signals:
    void sessionChanged();
    void isSigningInChanged();
    void isImportingChanged();
    void signInUserCodeChanged();
    void signInVerificationURLChanged();
    void lastErrorChanged();
    void lastStatusChanged();
    // After any change of the published state, the derived values included.
    void changed();
    // A refresh in flight has ended; runs waiting for it go on.
    void refreshFinished();

private:
    void applySession(OAuthSession session, const QString &status);
    void saveToDisk(const OAuthSession &session);
    std::optional<OAuthSession> loadFromDisk() const;
    void deleteFromDisk();
    // The import of start-up and of each token request: nothing at all when
    // there is no command-line session file.
    void importFromQirvCLIIfPresent();

    void setSession(std::optional<OAuthSession> session);
    void setIsSigningIn(bool value);
    void setIsImporting(bool value);
    void setSignInUserCode(std::optional<QString> value);
    void setSignInVerificationURL(std::optional<QUrl> value);
    void setLastError(std::optional<QString> value);
    void setLastStatus(std::optional<QString> value);

    void stopSignIn(bool userCancelled);
    QCoro::Task<> runSignIn(std::shared_ptr<SignInAttempt> attempt);
    QCoro::Task<> openVerificationPage(std::shared_ptr<SignInAttempt> attempt, QUrl url, QString userCode);
    void failSignIn(SignInAttempt &attempt, const AuthError &error);
    QCoro::Task<> refreshOnce();

    Dependencies m_deps;
    std::optional<OAuthSession> m_session;
    bool m_isSigningIn = false;
    bool m_isImporting = false;
    std::optional<QString> m_signInUserCode;
    std::optional<QUrl> m_signInVerificationURL;
    std::optional<QString> m_lastError;
    std::optional<QString> m_lastStatus;

    // The running (or last) sign-in; each attempt has its own identity.
    std::shared_ptr<SignInAttempt> m_pollTask;
    // Bumped whenever the session is replaced, so a refresh that finishes
    // after a sign-out or a new sign-in changes nothing.
    quint64 m_sessionGeneration = 0;
    bool m_refreshing = false;
};

} // namespace auth
