#pragma once

#include "auth/Clock.h"
#include "auth/KeyringBackend.h"
#include "auth/MoonshelfAuth.h"
#include "auth/SecretsStore.h"
#include "platform/DesktopServices.h"
#include "support/OAuthServerPeer.h"
#include "support/TaskWait.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QUrl>

#include <QCoroTimer>

#include <coroutine>
#include <memory>
#include <vector>
#include <optional>

// Tokens and form bodies never reach test output: compare them without
// printing either side.
#define SECRET_EQ(actual, expected)                                                                                \
    QVERIFY2((actual) == (expected), "secret values differ: " #actual " vs " #expected " (values not printed)")

namespace authtest {

// A clock whose sleeps pass at once (or wait for release() while held) and
// move its date forward by the time slept. Held sleeps end at release(), at
// once, and when the clock goes: a sleep still held at the end of a test
// kept its sign-in task suspended for good.
class ManualClock : public QObject, public auth::Clock {
    Q_OBJECT
public:
    ~ManualClock() override;
    QDateTime current = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    QList<qint64> sleptSeconds;
    bool hold = false;

    QDateTime now() const override { return current; }
    QCoro::Task<> sleep(std::chrono::milliseconds duration) override;
    void release();

signals:
    void slept();

private:
    struct Held;
    std::vector<std::coroutine_handle<>> m_held;
};

class RecordingDesktop final : public platform::DesktopServices {
public:
    QList<QUrl> opened;
    bool browserWorks = true;
    // As a desktop's opener does, the answer can come a moment later.
    std::chrono::milliseconds answerAfter{0};
    QCoro::Task<bool> openUrl(QUrl url) override
    {
        opened.append(url);
        if (answerAfter.count() > 0)
            co_await QCoro::sleepFor(answerAfter);
        co_return browserWorks;
    }
    QCoro::Task<bool> revealFile(QString) override { co_return false; }
    QCoro::Task<bool> openTerminal(QString) override { co_return false; }
};

// A keyring in memory, for the cases a real daemon cannot be made to show.
struct FakeKeyringState {
    enum class Mode { normal, locked, refusing, absent };
    Mode mode = Mode::normal;
    std::optional<QByteArray> item;
    int writes = 0;
};

class FakeKeyring final : public auth::KeyringBackend {
public:
    explicit FakeKeyring(std::shared_ptr<FakeKeyringState> state) : m_state(std::move(state)) {}
    QCoro::Task<auth::KeyringReply> read() override;
    QCoro::Task<auth::KeyringReply> write(QByteArray secret) override;
    QCoro::Task<auth::KeyringReply> remove() override;

private:
    std::shared_ptr<FakeKeyringState> m_state;
};

// A secrets store on a fake keyring, loaded.
std::unique_ptr<auth::SecretsStore> makeSecrets(std::shared_ptr<FakeKeyringState> state);

// Everything a MoonshelfAuth under test needs.
struct AuthRig {
    std::shared_ptr<FakeKeyringState> keyring = std::make_shared<FakeKeyringState>();
    std::unique_ptr<auth::SecretsStore> secrets;
    ManualClock clock;
    RecordingDesktop desktop;
    std::unique_ptr<auth::MoonshelfAuth> auth;

    // Creates the object (restoring the file, importing as at start).
    auth::MoonshelfAuth &make();
};

// A test case against a fresh loopback authorization server that
// MOONSHELF_AUTH_BASE points at, with the rig it makes objects in.
class ServerTestCase : public QObject {
protected:
    std::unique_ptr<testsupport::OAuthServerPeer> m_peer;
    std::unique_ptr<AuthRig> m_rig;

    // From init(): clears stored state, starts the server; false if it cannot listen.
    [[nodiscard]] bool startServer();
    // From cleanup(): the object under test goes before its server.
    void stopServer();
};

// Points MOONSHELF_AUTH_BASE at a loopback port nothing listens on; false
// if no port could be found.
[[nodiscard]] bool pointAtClosedPort();

// Removes the session file, ~/.qirv and the sign-out flag.
void resetStoredState();
// Writes ~/.qirv/auth.json.
void writeCliAuth(const QByteArray &json);
QString homePath();

auth::OAuthSession sampleSession(const QDateTime &expiresAt);

using testsupport::waitForTask;

} // namespace authtest
