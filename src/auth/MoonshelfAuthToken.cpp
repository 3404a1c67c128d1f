#include "auth/MoonshelfAuth.h"

#include "auth/Clock.h"
#include "auth/OAuthRequest.h"
#include "auth/SecretsStore.h"
#include "auth/SessionFile.h"
#include "auth/TokenRefresh.h"

#include <QFileInfo>
#include <QPointer>

#include <QCoroSignal>

namespace auth {

namespace {

// A session is refreshed from this long before its expiry.
constexpr qint64 kRefreshMarginSeconds = 120;

} // namespace

QCoro::Task<platform::Result<QString, AuthError>> MoonshelfAuth::bearerToken()
{
    using R = platform::Result<QString, AuthError>;
    QPointer<MoonshelfAuth> self(this);

    if (!m_session && QFileInfo::exists(sessionFileURL()))
        setSession(loadFromDisk());
    // Also after an explicit sign-out: a run takes the command-line session
    // when there is one.
    if (!m_session)
        importFromQirvCLIIfPresent();

    if (m_session && m_session->refreshToken &&
        !(m_deps.clock->now() < m_session->expiresAt.addSecs(-kRefreshMarginSeconds))) {
        co_await refreshOnce();
        if (!self)
            co_return R::failure(AuthError::notSignedIn());
    }

    if (m_session) {
        // A stale token is still offered: the service's answer decides.
        const QString token = headerSafeToken(m_session->accessToken);
        if (!token.isEmpty())
            co_return token;
    }

    co_await m_deps.secrets->ready();
    if (!self)
        co_return R::failure(AuthError::notSignedIn());
    // "Unavailable" is not "no key": the keyring may have been unlocked since.
    if (m_deps.secrets->keyState() == SecretsStore::KeyState::unavailable) {
        co_await m_deps.secrets->reload();
        if (!self)
            co_return R::failure(AuthError::notSignedIn());
    }
    if (const auto key = m_deps.secrets->loadAPIKey()) {
        const QString token = headerSafeToken(*key);
        if (!token.isEmpty())
            co_return token;
    }
    co_return R::failure(AuthError::notSignedIn());
}

QCoro::Task<> MoonshelfAuth::refreshOnce()
{
    QPointer<MoonshelfAuth> self(this);
    // One refresh at a time: a second run waits for the first one's result.
    if (m_refreshing) {
        co_await qCoro(this, &MoonshelfAuth::refreshFinished);
        co_return;
    }
    m_refreshing = true;
    const quint64 generation = m_sessionGeneration;
    const auto result = co_await auth::refresh(*m_session, m_deps.network, m_deps.clock);
    if (!self)
        co_return;
    m_refreshing = false;
    // A sign-out or a new session meanwhile wins over this result.
    if (generation == m_sessionGeneration) {
        if (result) {
            const quint64 refreshed = m_sessionGeneration + 1; // setSession's own step
            setSession(result.value());
            // Unless an observer of that notice replaced it already.
            if (refreshed == m_sessionGeneration && m_session)
                saveToDisk(*m_session);
        } else {
            setLastError(result.error().description());
        }
    }
    emit refreshFinished();
}

} // namespace auth
