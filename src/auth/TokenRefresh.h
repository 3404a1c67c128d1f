#pragma once

#include "auth/AuthError.h"
#include "auth/OAuthSession.h"
#include "platform/Result.h"

#include <QCoroTask>

class QNetworkAccessManager;

namespace auth {

class Clock;

// Session lifetime when a reply names none.
inline constexpr qint64 kDefaultSessionSeconds = 21600;

// The refresh-token grant: a copy of the session with the new access token,
// the new refresh token when one came, and the new expiry.
QCoro::Task<platform::Result<OAuthSession, AuthError>> refresh(OAuthSession session, QNetworkAccessManager *network,
                                                               Clock *clock);

} // namespace auth
