#pragma once

#include "platform/Result.h"

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

namespace app {

// Why no bearer token could be had. A sign-in failure sends the user to
// the settings window; anything else is only shown.
struct TokenFailure {
    QString message;
    bool isSignInFailure = true;

    friend bool operator==(const TokenFailure &, const TokenFailure &) = default;
};

// What the controller needs of sign-in: the two summary values, a notice
// after they change, and the token of each run. The application hands in
// the real sign-in object; tests hand in a double.
class SignInSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isSignedIn() const = 0;
    virtual QString authModeDescription() const = 0;
    // The token must not depend on this object after its first suspension:
    // the controller may be gone by the time it completes.
    [[nodiscard]] virtual QCoro::Task<platform::Result<QString, TokenFailure>> bearerToken() = 0;

signals:
    void changed();
};

} // namespace app
