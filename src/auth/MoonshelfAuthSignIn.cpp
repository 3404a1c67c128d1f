#include "auth/MoonshelfAuth.h"

#include "auth/Clock.h"
#include "auth/DeviceFlow.h"
#include "auth/SignInAttempt.h"
#include "auth/TokenRefresh.h"
#include "platform/DesktopServices.h"

#include <QPointer>

namespace auth {

void MoonshelfAuth::startDeviceSignIn()
{
    stopSignIn(false);
    setIsSigningIn(true);
    setLastError(std::nullopt);
    setLastStatus(QStringLiteral("Starting Moonshelf sign-in\u2026"));
    setSignInUserCode(std::nullopt);
    setSignInVerificationURL(std::nullopt);
    auto attempt = std::make_shared<SignInAttempt>();
    m_pollTask = attempt;
    runSignIn(std::move(attempt));
}

void MoonshelfAuth::cancelSignIn()
{
    stopSignIn(true);
}

void MoonshelfAuth::stopSignIn(bool userCancelled)
{
    bool wasRunning = false;
    if (m_pollTask) {
        wasRunning = !m_pollTask->finished;
        m_pollTask->cancelled = true;
        if (m_pollTask->inflight)
            m_pollTask->inflight->abort();
        m_pollTask.reset();
    }
    setIsSigningIn(false);
    setSignInUserCode(std::nullopt);
    setSignInVerificationURL(std::nullopt);
    // Said here rather than by the stopped task: a task that is no longer
    // current writes nothing, so it cannot overwrite a restarted sign-in or a
    // sign-out.
    if (userCancelled && wasRunning)
        setLastStatus(QStringLiteral("Sign-in cancelled"));
}

void MoonshelfAuth::failSignIn(SignInAttempt &attempt, const AuthError &error)
{
    attempt.finished = true;
    setLastError(error.description());
    setLastStatus(QStringLiteral("Sign-in failed"));
    setIsSigningIn(false);
}

QCoro::Task<> MoonshelfAuth::openVerificationPage(std::shared_ptr<SignInAttempt> attempt, QUrl url, QString userCode)
{
    QPointer<MoonshelfAuth> self(this);
    const bool opened = co_await m_deps.desktop->openUrl(url);
    // Told only while this sign-in is the one under way.
    if (opened || !self || attempt->cancelled || attempt->finished)
        co_return;
    setLastError(QStringLiteral("No browser could be started. Open %1 in a browser and approve code %2 there.")
                     .arg(url.toString(), userCode));
}

QCoro::Task<> MoonshelfAuth::runSignIn(std::shared_ptr<SignInAttempt> attempt)
{
    QPointer<MoonshelfAuth> self(this);
    DeviceFlow::Context context;
    context.network = m_deps.network;
    context.clock = m_deps.clock;
    context.cancelled = [attempt] { return attempt->cancelled; };
    context.started = [attempt](QNetworkReply *reply) { attempt->inflight = reply; };

    const auto code = co_await DeviceFlow::requestDeviceCode(context);
    if (!self || !code || attempt->cancelled)
        co_return;
    if (!*code) {
        failSignIn(*attempt, code->error());
        co_return;
    }
    const DeviceFlow::DeviceCodeResponse &device = code->value();
    setSignInUserCode(device.userCode);
    setSignInVerificationURL(device.verificationURIComplete ? device.verificationURIComplete
                                                            : device.verificationURI);
    setLastStatus(QStringLiteral("Approve code ") + device.userCode + QStringLiteral(" in your browser"));
    // Without a browser the person opens the page: they are told where. The
    // opener's answer is not waited for: polling starts meanwhile.
    if (m_signInVerificationURL)
        openVerificationPage(attempt, *m_signInVerificationURL, device.userCode);

    const auto tokens = co_await DeviceFlow::pollForTokens(device, context);
    if (!self || !tokens || attempt->cancelled)
        co_return;
    if (!*tokens) {
        failSignIn(*attempt, tokens->error());
        co_return;
    }
    const DeviceFlow::TokenResponse &reply = tokens->value();
    OAuthSession session;
    session.accessToken = reply.accessToken;
    session.refreshToken = reply.refreshToken;
    session.expiresAt = m_deps.clock->now().addSecs(reply.expiresIn.value_or(kDefaultSessionSeconds));
    session.email = reply.email;
    session.clientId = QString::fromLatin1(OAuth::kClientId);
    session.source = QStringLiteral("oauth");
    QString status = QStringLiteral("Signed in with Moonshelf");
    if (reply.email)
        status += QStringLiteral(" as ") + *reply.email;
    status += QLatin1Char('.');

    attempt->finished = true;
    applySession(std::move(session), status);
    setIsSigningIn(false);
    setSignInUserCode(std::nullopt);
    setSignInVerificationURL(std::nullopt);
}

} // namespace auth
