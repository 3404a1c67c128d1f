#pragma once

#include "platform/OneShot.h"
#include "app/AppViewModel.h"
#include "model/ChatRecords.h"
#include "support/ChatServicePeer.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace stage {
class BackgroundSettings;
}
namespace model {
class AttachmentTempStore;
}

namespace apptest {

// Sign-in double: answers at once with a token or a failure, or holds the
// answer until release() so a test can stop a run waiting for its token.
class FakeSignIn final : public app::SignInSource {
    Q_OBJECT
public:
    struct Script {
        bool signedIn = true;
        QString description = QStringLiteral("API key");
        std::optional<app::TokenFailure> failure;
        bool hold = false;
        int calls = 0;
        std::optional<platform::OneShot<bool>> held;
    };

    explicit FakeSignIn(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    bool isSignedIn() const override { return m_script->signedIn; }
    QString authModeDescription() const override { return m_script->description; }
    QCoro::Task<platform::Result<QString, app::TokenFailure>> bearerToken() override;
    void announce() { emit changed(); }

private:
    std::shared_ptr<Script> m_script;
};

// What every rig hands the controller besides its sign-in: a network, and
// the staging folder and stage state, each in a temporary folder of its own.
class LocalServices {
public:
    LocalServices();
    ~LocalServices();

    QNetworkAccessManager &network() { return m_network; }
    model::AttachmentTempStore &staging() { return *m_staging; }
    stage::BackgroundSettings &background() { return *m_background; }
    QString stagingPath() const { return m_stagingDir.path(); }
    // Where the stage keeps its state (user skins may go below it).
    QString stagePath() const { return m_stageDir.path(); }
    // Network, staging and background filled in; the clipboard goes nowhere.
    app::AppServices services();

private:
    QNetworkAccessManager m_network;
    QTemporaryDir m_stagingDir;
    QTemporaryDir m_stageDir;
    std::unique_ptr<model::AttachmentTempStore> m_staging;
    std::unique_ptr<stage::BackgroundSettings> m_background;
};

// conversations.json as it is on disk now (the controller's store flushed
// first when there is one).
QList<model::Conversation> storedConversations(app::AppViewModel *vm);

// One controller on the loopback service, a project folder, its own staging
// folder and stage state, and the stores in the test's HOME (emptied first).
class Harness {
public:
    Harness();
    ~Harness();

    // Makes (or remakes) the controller; keeps the stores' files.
    app::AppViewModel &make();
    // make(), with the project folder open as the workspace.
    app::AppViewModel &makeInProject();
    void destroy() { m_vm.reset(); }
    app::AppViewModel &vm() { return *m_vm; }
    testsupport::ChatServicePeer &peer() { return *m_peer; }
    FakeSignIn::Script &signIn() { return *m_script; }
    FakeSignIn *signInObject() const { return m_signIn; }
    model::AttachmentTempStore &staging() { return m_local.staging(); }
    QString projectPath() const { return m_project.path(); }
    QString writeProjectFile(const QString &name, const QByteArray &bytes) const;
    QString stagingPath() const { return m_local.stagingPath(); }
    const QStringList &clipboard() const { return m_clipboard; }

    // conversations.json as it is on disk now.
    QList<model::Conversation> storedConversations() const;
    std::optional<model::Conversation> storedConversation(const QUuid &id) const;
    QList<model::ChatMessage> storedMessages(const QUuid &id) const;
    // Ends the held token with a token.
    void releaseToken();

    static void removeStoreFiles();

    // make() reads the conversation history on a thread, as the app does.
    bool historyInBackground = false;

private:
    LocalServices m_local;
    QTemporaryDir m_project;
    std::unique_ptr<testsupport::ChatServicePeer> m_peer;
    std::shared_ptr<FakeSignIn::Script> m_script = std::make_shared<FakeSignIn::Script>();
    FakeSignIn *m_signIn = nullptr;
    QStringList m_clipboard;
    std::unique_ptr<app::AppViewModel> m_vm;
};

// Roles of the messages, as their raw texts.
QStringList roles(const QList<model::ChatMessage> &messages);
// A small PNG whose bytes depend on the seed.
QByteArray pngBytes(int seed, int size = 16);

} // namespace apptest
