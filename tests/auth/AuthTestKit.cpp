#include "AuthTestKit.h"

#include "auth/SessionFile.h"
#include "platform/SharedNetwork.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>

#include <utility>

#include <QCoroTimer>

namespace authtest {

struct ManualClock::Held {
    ManualClock *clock;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> sleeper) { clock->m_held.push_back(sleeper); }
    void await_resume() const noexcept {}
};

ManualClock::~ManualClock()
{
    // The object under test goes first, so a woken task finds itself
    // cancelled and ends.
    hold = false;
    release();
}

void ManualClock::release()
{
    for (std::coroutine_handle<> sleeper : std::exchange(m_held, {}))
        sleeper.resume();
}

QCoro::Task<> ManualClock::sleep(std::chrono::milliseconds duration)
{
    sleptSeconds.append(duration.count() / 1000);
    current = current.addMSecs(duration.count());
    emit slept();
    if (hold)
        co_await Held{this};
    else
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
}

namespace {

auth::KeyringReply unavailable(int status)
{
    auth::KeyringReply reply;
    reply.outcome = auth::KeyringReply::Outcome::unavailable;
    reply.status = status;
    reply.detail = QStringLiteral("fake keyring refuses");
    return reply;
}

} // namespace

QCoro::Task<auth::KeyringReply> FakeKeyring::read()
{
    auto state = m_state;
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (state->mode == FakeKeyringState::Mode::locked || state->mode == FakeKeyringState::Mode::absent)
        co_return unavailable(state->mode == FakeKeyringState::Mode::absent ? 5 : 4);
    auth::KeyringReply reply;
    if (!state->item)
        reply.outcome = auth::KeyringReply::Outcome::notFound;
    else
        reply.data = *state->item;
    co_return reply;
}

QCoro::Task<auth::KeyringReply> FakeKeyring::write(QByteArray secret)
{
    auto state = m_state;
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (state->mode != FakeKeyringState::Mode::normal)
        co_return unavailable(state->mode == FakeKeyringState::Mode::refusing ? -25299 : 4);
    state->item = secret;
    ++state->writes;
    co_return auth::KeyringReply{};
}

QCoro::Task<auth::KeyringReply> FakeKeyring::remove()
{
    auto state = m_state;
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (state->mode != FakeKeyringState::Mode::normal)
        co_return unavailable(4);
    auth::KeyringReply reply;
    if (!state->item)
        reply.outcome = auth::KeyringReply::Outcome::notFound;
    state->item.reset();
    co_return reply;
}

std::unique_ptr<auth::SecretsStore> makeSecrets(std::shared_ptr<FakeKeyringState> state)
{
    auto store = std::make_unique<auth::SecretsStore>(std::make_unique<FakeKeyring>(std::move(state)));
    QCoro::waitFor(store->ready());
    return store;
}

auth::MoonshelfAuth &AuthRig::make()
{
    auth.reset();
    secrets = makeSecrets(keyring);
    auth = std::make_unique<auth::MoonshelfAuth>(auth::MoonshelfAuth::Dependencies{
        secrets.get(), &desktop, &clock, &platform::sharedNetwork(), QDir::homePath()});
    return *auth;
}

void resetStoredState()
{
    const QString session = auth::SessionFile::path();
    if (QFileInfo(session).isDir())
        QDir(session).removeRecursively();
    QFile::remove(session);
    QDir(QDir::home().filePath(QStringLiteral(".qirv"))).removeRecursively();
    QDir(QDir::home().filePath(QStringLiteral(".config/ovu"))).removeRecursively();
    QDir(QDir::home().filePath(QStringLiteral(".config/qirv"))).removeRecursively();
    platform::UserDefaults::remove(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut));
    qunsetenv("OVU_API_KEY");
}

bool ServerTestCase::startServer()
{
    resetStoredState();
    m_rig.reset();
    m_peer = std::make_unique<testsupport::OAuthServerPeer>();
    if (!m_peer->listen())
        return false;
    qputenv("MOONSHELF_AUTH_BASE", m_peer->baseUrl().toString().toUtf8());
    return true;
}

void ServerTestCase::stopServer()
{
    m_rig.reset();
    m_peer.reset();
}

bool pointAtClosedPort()
{
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost, 0))
        return false;
    const quint16 port = closed.serverPort();
    closed.close();
    qputenv("MOONSHELF_AUTH_BASE", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
    return true;
}

void writeCliAuth(const QByteArray &json)
{
    QDir().mkpath(QDir::home().filePath(QStringLiteral(".qirv")));
    QFile file(QDir::home().filePath(QStringLiteral(".qirv/auth.json")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(json);
}

QString homePath()
{
    return QDir::homePath();
}

auth::OAuthSession sampleSession(const QDateTime &expiresAt)
{
    auth::OAuthSession s;
    s.accessToken = QStringLiteral("access-1");
    s.refreshToken = QStringLiteral("refresh-1");
    s.expiresAt = expiresAt;
    s.email = QStringLiteral("ada@example.com");
    s.clientId = QStringLiteral("client-x");
    s.source = QStringLiteral("oauth");
    return s;
}

} // namespace authtest
