#include "app/MoonshelfSignIn.h"

#include "auth/MoonshelfAuth.h"

namespace app {

namespace {

// Free of the adapter, so it may outlive it: the sign-in object is the
// process's own and lives to the end.
QCoro::Task<platform::Result<QString, TokenFailure>> tokenFrom(auth::MoonshelfAuth *auth)
{
    const platform::Result<QString, auth::AuthError> token = co_await auth->bearerToken();
    if (!token.ok())
        co_return platform::Result<QString, TokenFailure>::failure(TokenFailure{token.error().description(), true});
    co_return token.value();
}

} // namespace

MoonshelfSignIn::MoonshelfSignIn(auth::MoonshelfAuth &auth, QObject *parent) : SignInSource(parent), m_auth(auth)
{
    connect(&m_auth, &auth::MoonshelfAuth::changed, this, &SignInSource::changed);
}

bool MoonshelfSignIn::isSignedIn() const
{
    return m_auth.isSignedIn();
}

QString MoonshelfSignIn::authModeDescription() const
{
    return m_auth.authModeDescription();
}

QCoro::Task<platform::Result<QString, TokenFailure>> MoonshelfSignIn::bearerToken()
{
    return tokenFrom(&m_auth);
}

} // namespace app
