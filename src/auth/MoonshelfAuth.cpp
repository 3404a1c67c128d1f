#include "auth/MoonshelfAuth.h"

#include "auth/CliSessionImport.h"
#include "auth/Clock.h"
#include "auth/SecretsStore.h"
#include "auth/SessionFile.h"
#include "auth/SignInAttempt.h"
#include "platform/DesktopServices.h"
#include "platform/SharedNetwork.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace auth {

namespace {

QString sessionLabel(const OAuthSession &session)
{
    return session.email && !session.email->isEmpty() ? *session.email : QStringLiteral("Moonshelf session");
}

} // namespace

MoonshelfAuth::MoonshelfAuth(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_deps(std::move(dependencies))
{
    Q_ASSERT(m_deps.secrets && m_deps.desktop && m_deps.clock && m_deps.network);
    if (m_deps.homeDirectory.isEmpty())
        m_deps.homeDirectory = QDir::homePath();
    connect(m_deps.secrets, &SecretsStore::changed, this, &MoonshelfAuth::changed);

    if (QFileInfo::exists(sessionFileURL()))
        m_session = loadFromDisk();
    if (!m_session && !platform::UserDefaults::boolean(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut)))
        importFromQirvCLIIfPresent();
    if (m_session)
        setLastStatus(QStringLiteral("Restored Moonshelf session for ") + sessionLabel(*m_session));
}

MoonshelfAuth::~MoonshelfAuth()
{
    // A waiting sign-in task wakes to find itself cancelled and ends
    // without touching this object.
    if (m_pollTask) {
        m_pollTask->cancelled = true;
        if (m_pollTask->inflight)
            m_pollTask->inflight->abort();
    }
}

MoonshelfAuth &MoonshelfAuth::shared()
{
    static MoonshelfAuth *instance = [] {
        static platform::SystemDesktopServices desktop;
        return new MoonshelfAuth(
            Dependencies{&SecretsStore::shared(), &desktop, &systemClock(), &platform::sharedNetwork(), QDir::homePath()},
            QCoreApplication::instance());
    }();
    return *instance;
}

bool MoonshelfAuth::isSignedIn() const
{
    return m_session.has_value() || m_deps.secrets->loadAPIKey().has_value();
}

QString MoonshelfAuth::authModeDescription() const
{
    if (m_session)
        return QStringLiteral("Moonshelf \u00b7 ") + sessionLabel(*m_session);
    if (m_deps.secrets->loadAPIKey())
        return QStringLiteral("API key");
    return QStringLiteral("Not signed in");
}

QString MoonshelfAuth::sessionFileURL() const
{
    return SessionFile::path();
}

// --- the session and its file ---

void MoonshelfAuth::applySession(OAuthSession session, const QString &status)
{
    // setSession moves the generation on by one, then notifies.
    const quint64 applied = m_sessionGeneration + 1;
    setSession(std::move(session));
    // Cleared before the save, so a failed save stays reported.
    setLastError(std::nullopt);
    // An observer of the notices above may have signed out or applied
    // another session; that later change stands.
    if (applied != m_sessionGeneration || !m_session)
        return;
    saveToDisk(*m_session);
    platform::UserDefaults::remove(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut));
    setLastStatus(status);
    // Observers hear of every applied session, even one equal to the last.
    emit changed();
}

void MoonshelfAuth::saveToDisk(const OAuthSession &session)
{
    const QString failure = SessionFile::save(session);
    if (!failure.isEmpty())
        setLastError(QStringLiteral("Could not save session: ") + failure);
}

std::optional<OAuthSession> MoonshelfAuth::loadFromDisk() const
{
    return SessionFile::load();
}

void MoonshelfAuth::deleteFromDisk()
{
    SessionFile::remove();
}

// --- import and sign-out ---

platform::Result<QString, AuthError> MoonshelfAuth::importFromQirvCLI()
{
    using R = platform::Result<QString, AuthError>;
    setIsImporting(true);
    setLastError(std::nullopt);
    auto imported = CliSessionImport::read(CliSessionImport::path(m_deps.homeDirectory), m_deps.clock->now());
    if (!imported) {
        const CliSessionImport::Failure &failure = imported.error();
        if (failure.lastError) {
            setLastError(failure.lastError);
            setLastStatus(QStringLiteral("Import failed"));
        }
        setIsImporting(false);
        return R::failure(failure.error);
    }
    const QString status = imported->status;
    applySession(std::move(imported).value().session, status);
    setIsImporting(false);
    return status;
}

void MoonshelfAuth::importFromQirvCLIIfPresent()
{
    // Most users have no command-line session: its absence is no error, and
    // the texts shown stay as they were. Any other failure is reported.
    if (!QFileInfo::exists(CliSessionImport::path(m_deps.homeDirectory)))
        return;
    (void)importFromQirvCLI();
}

void MoonshelfAuth::signOut()
{
    stopSignIn(false);
    setSession(std::nullopt);
    deleteFromDisk();
    platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
    setLastStatus(QStringLiteral("Signed out"));
    setLastError(std::nullopt);
    // Also when nothing visible changed: the flag did.
    emit changed();
}

// --- published fields ---

namespace {

template <typename T, typename Signal>
bool assign(MoonshelfAuth *self, T &field, T value, Signal signal)
{
    if (field == value)
        return false;
    field = std::move(value);
    emit(self->*signal)();
    emit self->changed();
    return true;
}

} // namespace

void MoonshelfAuth::setSession(std::optional<OAuthSession> session)
{
    // Any replacement, even by an equal session, ends what a refresh in
    // flight may still write.
    ++m_sessionGeneration;
    assign(this, m_session, std::move(session), &MoonshelfAuth::sessionChanged);
}

void MoonshelfAuth::setIsSigningIn(bool value)
{
    assign(this, m_isSigningIn, value, &MoonshelfAuth::isSigningInChanged);
}

void MoonshelfAuth::setIsImporting(bool value)
{
    assign(this, m_isImporting, value, &MoonshelfAuth::isImportingChanged);
}

void MoonshelfAuth::setSignInUserCode(std::optional<QString> value)
{
    assign(this, m_signInUserCode, std::move(value), &MoonshelfAuth::signInUserCodeChanged);
}

void MoonshelfAuth::setSignInVerificationURL(std::optional<QUrl> value)
{
    assign(this, m_signInVerificationURL, std::move(value), &MoonshelfAuth::signInVerificationURLChanged);
}

void MoonshelfAuth::setLastError(std::optional<QString> value)
{
    assign(this, m_lastError, std::move(value), &MoonshelfAuth::lastErrorChanged);
}

void MoonshelfAuth::setLastStatus(std::optional<QString> value)
{
    assign(this, m_lastStatus, std::move(value), &MoonshelfAuth::lastStatusChanged);
}

} // namespace auth
