#pragma once

#include "app/SignInSource.h"

namespace auth {
class MoonshelfAuth;
}

namespace app {

// The controller's view of the one sign-in object.
class MoonshelfSignIn final : public SignInSource {
    Q_OBJECT
public:
    explicit MoonshelfSignIn(auth::MoonshelfAuth &auth, QObject *parent = nullptr);

    bool isSignedIn() const override;
    QString authModeDescription() const override;
    [[nodiscard]] QCoro::Task<platform::Result<QString, TokenFailure>> bearerToken() override;

private:
    auth::MoonshelfAuth &m_auth;
};

} // namespace app
