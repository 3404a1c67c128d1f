#include "AppTestKit.h"

#include "agent/files/WorkspaceManager.h"
#include "stage/BackgroundSettings.h"
#include "model/AttachmentTempStore.h"
#include "model/ConversationFile.h"
#include "model/ConversationStore.h"
#include "platform/AppPaths.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

namespace apptest {

QCoro::Task<platform::Result<QString, app::TokenFailure>> FakeSignIn::bearerToken()
{
    // Held by value: the controller (and this object) may be gone on resume.
    const std::shared_ptr<Script> script = m_script;
    ++script->calls;
    if (script->hold) {
        script->held.emplace();
        const platform::OneShot<bool> held = *script->held;
        co_await held;
    }
    if (script->failure)
        co_return platform::Result<QString, app::TokenFailure>::failure(*script->failure);
    co_return QStringLiteral("test-token");
}

LocalServices::LocalServices()
{
    m_staging = std::make_unique<model::AttachmentTempStore>(m_stagingDir.path());
    stage::BackgroundSettings::Config config;
    config.supportDirectory = m_stageDir.path();
    config.network = &m_network;
    m_background = std::make_unique<stage::BackgroundSettings>(config);
}

LocalServices::~LocalServices() = default;

app::AppServices LocalServices::services()
{
    app::AppServices services;
    services.network = &m_network;
    services.staging = m_staging.get();
    services.setClipboardText = [](const QString &) {};
    services.background = m_background.get();
    return services;
}

QList<model::Conversation> storedConversations(app::AppViewModel *vm)
{
    if (vm)
        vm->conversations().flush(); // the store writes on its own thread
    QFile file(QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("conversations.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto decoded = model::decodeConversationFile(file.readAll());
    return decoded.ok() ? decoded.value().conversations : QList<model::Conversation>{};
}

Harness::Harness()
{
    removeStoreFiles();
    m_peer = std::make_unique<testsupport::ChatServicePeer>();
    if (!m_peer->listen())
        qFatal("the chat peer could not listen");
}

Harness::~Harness()
{
    m_vm.reset();
    if (m_script->held)
        m_script->held->set(true);
    QTest::qWait(20); // let released coroutines finish
}

app::AppViewModel &Harness::make()
{
    m_vm.reset();
    auto signIn = std::make_unique<FakeSignIn>(m_script);
    m_signIn = signIn.get();
    app::AppServices services = m_local.services();
    services.signIn = std::move(signIn);
    services.endpoint = m_peer->endpoint();
    services.setClipboardText = [this](const QString &text) { m_clipboard.append(text); };
    services.historyInBackground = historyInBackground;
    m_vm = std::make_unique<app::AppViewModel>(std::move(services));
    return *m_vm;
}

app::AppViewModel &Harness::makeInProject()
{
    app::AppViewModel &vm = make();
    vm.workspace().setWorkspace(projectPath());
    return vm;
}

QString Harness::writeProjectFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = m_project.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(bytes);
    return path;
}

QList<model::Conversation> Harness::storedConversations() const
{
    return apptest::storedConversations(m_vm.get());
}

std::optional<model::Conversation> Harness::storedConversation(const QUuid &id) const
{
    for (const model::Conversation &c : storedConversations()) {
        if (c.id == id)
            return c;
    }
    return std::nullopt;
}

QList<model::ChatMessage> Harness::storedMessages(const QUuid &id) const
{
    const std::optional<model::Conversation> c = storedConversation(id);
    return c ? c->messages : QList<model::ChatMessage>{};
}

void Harness::releaseToken()
{
    if (m_script->held)
        m_script->held->set(true);
}

void Harness::removeStoreFiles()
{
    QDir support(platform::AppPaths::supportDirectory());
    for (const QString &name : support.entryList(QDir::Files))
        support.remove(name);
}

QStringList roles(const QList<model::ChatMessage> &messages)
{
    QStringList out;
    for (const model::ChatMessage &m : messages)
        out.append(model::toRaw(m.role));
    return out;
}

QByteArray pngBytes(int seed, int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(seed * 37 % 256, seed * 91 % 256, seed * 13 % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace apptest
