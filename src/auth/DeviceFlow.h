#pragma once

#include "auth/AuthError.h"
#include "auth/OAuthRequest.h"
#include "platform/Result.h"

#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace auth {

class Clock;

namespace DeviceFlow {

inline constexpr char kScope[] = "openid profile email offline_access qirv-cli:access api:access";
inline constexpr char kGrantType[] = "urn:ietf:params:oauth:grant-type:device_code";
inline constexpr qint64 kDefaultExpiresIn = 1800;
inline constexpr qint64 kDefaultInterval = 5;
inline constexpr qint64 kMinimumInterval = 3;
inline constexpr qint64 kSlowDownStep = 5;

struct DeviceCodeResponse {
    QString deviceCode;
    QString userCode;
    std::optional<QUrl> verificationURI;
    std::optional<QUrl> verificationURIComplete;
    qint64 expiresIn = kDefaultExpiresIn;
    qint64 interval = kDefaultInterval;
};

struct TokenResponse {
    QString accessToken;
    std::optional<QString> refreshToken;
    std::optional<qint64> expiresIn;
    std::optional<QString> email;
};

// What the sign-in task's waits need: where to send, how time passes, and
// whether the attempt is still the current one. `started` gets each reply so
// a cancel can abort it.
struct Context {
    QNetworkAccessManager *network = nullptr;
    Clock *clock = nullptr;
    std::function<bool()> cancelled;
    std::function<void(QNetworkReply *)> started;
};

// Reads a device-code reply.
platform::Result<DeviceCodeResponse, AuthError> parseDeviceCodeReply(const OAuth::HttpOutcome &outcome);

// Asks for a device code; none when the attempt was cancelled meanwhile.
QCoro::Task<std::optional<platform::Result<DeviceCodeResponse, AuthError>>> requestDeviceCode(Context context);

// Polls the token endpoint until approval, refusal or expiry; none when the
// attempt was cancelled during a wait.
QCoro::Task<std::optional<platform::Result<TokenResponse, AuthError>>> pollForTokens(DeviceCodeResponse device,
                                                                                     Context context);

} // namespace DeviceFlow
} // namespace auth
