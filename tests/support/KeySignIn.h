#pragma once

#include "app/SignInSource.h"

namespace testsupport {

// Signed in with a fixed key: a benchmark measures the run, not the sign-in.
class KeySignIn final : public app::SignInSource {
public:
    bool isSignedIn() const override { return true; }
    QString authModeDescription() const override { return QStringLiteral("API key"); }
    QCoro::Task<platform::Result<QString, app::TokenFailure>> bearerToken() override
    {
        co_return QStringLiteral("bench-token");
    }
};

} // namespace testsupport
