#include "app/AccountController.h"
#include "app/TellingDesktop.h"

#include "auth/CliSessionImport.h"
#include "auth/MoonshelfAuth.h"
#include "auth/SecretsStore.h"
#include "platform/DesktopServices.h"

#include <QDir>
#include <QPointer>

namespace app {

AccountController::AccountController(auth::MoonshelfAuth &auth, platform::DesktopServices &desktop, QObject *parent)
    : QObject(parent), m_auth(auth), m_secrets(auth.secrets()), m_desktop(desktop)
{
    using auth::MoonshelfAuth;
    connect(&m_auth, &MoonshelfAuth::sessionChanged, this, &AccountController::sessionChanged);
    connect(&m_auth, &MoonshelfAuth::lastStatusChanged, this, &AccountController::lastStatusChanged);
    connect(&m_auth, &MoonshelfAuth::lastErrorChanged, this, &AccountController::lastErrorChanged);
    // The sign-in object's notice covers the key store's too.
    connect(&m_auth, &MoonshelfAuth::changed, this, &AccountController::changed);
    // A new session, a refreshed token or another key is worth trying again.
    const auto credentialChanged = [this] {
        if (!m_refused)
            return;
        m_refused = false;
        emit changed();
    };
    connect(&m_auth, &MoonshelfAuth::sessionChanged, this, credentialChanged);
    connect(&m_secrets, &auth::SecretsStore::changed, this, credentialChanged);
}

void AccountController::noteCredentialRefused()
{
    if (m_refused)
        return;
    m_refused = true;
    emit changed();
}

void AccountController::noteCredentialAccepted()
{
    if (!m_refused)
        return;
    m_refused = false;
    emit changed();
}

bool AccountController::hasSession() const
{
    return m_auth.session().has_value();
}

std::optional<QString> AccountController::sessionEmail() const
{
    return m_auth.session() ? m_auth.session()->email : std::nullopt;
}

bool AccountController::isSignedIn() const
{
    return m_auth.isSignedIn();
}

QString AccountController::authModeDescription() const
{
    return m_auth.authModeDescription();
}

bool AccountController::isSigningIn() const
{
    return m_auth.isSigningIn();
}

bool AccountController::isImporting() const
{
    return m_auth.isImporting();
}

std::optional<QString> AccountController::signInUserCode() const
{
    return m_auth.signInUserCode();
}

std::optional<QUrl> AccountController::signInVerificationURL() const
{
    const auto &url = m_auth.signInVerificationURL();
    if (!url || !isWebAddress(*url))
        return std::nullopt;
    return url;
}

std::optional<QString> AccountController::lastStatus() const
{
    return m_auth.lastStatus();
}

std::optional<QString> AccountController::lastError() const
{
    return m_auth.lastError();
}

std::optional<QString> AccountController::storedAPIKey() const
{
    return m_secrets.loadAPIKey();
}

AccountController::KeyState AccountController::keyState() const
{
    switch (m_secrets.keyState()) {
    case auth::SecretsStore::KeyState::loading:
        return KeyState::Loading;
    case auth::SecretsStore::KeyState::present:
        return KeyState::Present;
    case auth::SecretsStore::KeyState::absent:
        return KeyState::Absent;
    case auth::SecretsStore::KeyState::unavailable:
        return KeyState::Unavailable;
    }
    return KeyState::Unavailable;
}

void AccountController::startDeviceSignIn()
{
    m_auth.startDeviceSignIn();
}

void AccountController::cancelSignIn()
{
    m_auth.cancelSignIn();
}

void AccountController::signOut()
{
    m_auth.signOut();
}

platform::Result<QString, QString> AccountController::importFromQirvCLI()
{
    auto imported = m_auth.importFromQirvCLI();
    if (!imported)
        return platform::Result<QString, QString>::failure(imported.error().description());
    return imported.value();
}

QString AccountController::cliSessionPath() const
{
    return auth::CliSessionImport::path(QDir::homePath());
}

std::optional<QString> AccountController::keyRejection(const QString &typed)
{
    const QString key = typed.trimmed();
    if (key.isEmpty())
        return QStringLiteral("The API key is empty; nothing was saved.");
    if (key.contains(QLatin1Char('\n')) || key.contains(QLatin1Char('\r')))
        return QStringLiteral("The API key holds a line break; nothing was saved.");
    // It could not be sent: every run would fail.
    if (!auth::tokenFits(key))
        return QStringLiteral("The API key is larger than ") + auth::tokenLimitText()
            + QStringLiteral("; nothing was saved.");
    return std::nullopt;
}

QCoro::Task<platform::Status<QString>> AccountController::saveAPIKey(QString typed)
{
    if (const auto rejection = keyRejection(typed))
        co_return *rejection;
    QPointer<AccountController> self(this);
    auth::SecretsStore *secrets = &m_secrets;
    // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
    const QString key = typed.trimmed();
    const auto saved = co_await secrets->saveAPIKey(key);
    if (!self)
        co_return QStringLiteral("Closed before the key was saved.");
    if (!saved)
        co_return saved.error().description();
    co_return {};
}

QCoro::Task<platform::Result<QString, QString>> AccountController::importAPIKey()
{
    using R = platform::Result<QString, QString>;
    QPointer<AccountController> self(this);
    auth::SecretsStore *secrets = &m_secrets;
    auto imported = co_await secrets->importFromEnvironmentOrConfigFiles();
    if (!self)
        co_return R::failure(QStringLiteral("Closed before the key was imported."));
    if (!imported)
        co_return R::failure(imported.error().description());
    co_return std::move(imported).value();
}

QCoro::Task<platform::Status<QString>> AccountController::clearAPIKey()
{
    QPointer<AccountController> self(this);
    auth::SecretsStore *secrets = &m_secrets;
    const auto removed = co_await secrets->deleteAPIKey();
    if (!self)
        co_return QStringLiteral("Closed before the key was removed.");
    if (!removed)
        co_return removed.error().description();
    co_return {};
}

bool AccountController::isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QCoro::Task<bool> AccountController::openWebPage(QUrl url)
{
    if (!isWebAddress(url))
        co_return false;
    QPointer<AccountController> self(this);
    const bool opened = co_await m_desktop.openUrl(url);
    if (!opened && self)
        emit pageUnopened(DesktopText::unopened(url));
    co_return opened;
}

} // namespace app
