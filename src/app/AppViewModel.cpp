#include "app/AppViewModel.h"
#include "app/AccountController.h"

#include "agent/AgentRuntime.h"
#include "agent/guard/PolicyEngine.h"
#include "agent/tools/ToolRouter.h"
#include "agent/files/WorkspaceManager.h"
#include "app/ItemModels.h"
#include "stage/BackgroundSettings.h"
#include "model/AttachmentTempStore.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"
#include "platform/DesktopServices.h"
#include "platform/SharedNetwork.h"

#include <QPointer>

#include <concepts>

namespace app {

template <typename T>
void AppViewModel::assign(T &field, const T &value, void (AppViewModel::*signal)())
{
    // A record without == would send a notice on every set, changed or not.
    static_assert(std::equality_comparable<T>, "give the record a defaulted operator==");
    if (field == value)
        return;
    field = value;
    emit(this->*signal)();
}

AppViewModel::AppViewModel(AppServices services, QObject *parent) : QObject(parent), m_services(std::move(services))
{
    Q_ASSERT(m_services.signIn);
    m_staging = m_services.staging ? m_services.staging : &model::AttachmentTempStore::shared();

    model::ConversationStore::Options history{model::ConversationStore::defaultFilePath()};
    history.loadInBackground = m_services.historyInBackground;
    m_conversations = std::make_unique<model::ConversationStore>(std::move(history));
    m_settingsStore = std::make_unique<model::SettingsStore>();
    m_workspace = std::make_unique<agent::WorkspaceManager>();
    m_background = m_services.background ? m_services.background : &stage::BackgroundSettings::shared();

    m_policy = std::make_unique<agent::PolicyEngine>(m_settingsStore->settings());
    m_policy->setAllowWritesForCurrentChat(false);
    m_tools = std::make_unique<agent::ToolRouter>(m_workspace.get());
    m_tools->setShellTimeout(agent::ToolRouter::kDefaultShellTimeout);
    QNetworkAccessManager &network = m_services.network ? *m_services.network : platform::sharedNetwork();
    if (m_services.endpoint.isEmpty())
        m_runtime = std::make_unique<agent::AgentRuntime>(*m_tools, *m_policy, network,
                                                          agent::OVUClient::defaultEndpoint());
    else
        m_runtime = std::make_unique<agent::AgentRuntime>(*m_tools, *m_policy, network, m_services.endpoint);

    // A run belongs to one project: it is stopped before anyone else hears
    // of a new project folder.
    connect(m_workspace.get(), &agent::WorkspaceManager::rootChanged, this, [this] {
        if (m_isRunning)
            stop();
    });
    // Likewise a run whose session is deleted: it is stopped before the
    // views hear of the deletion, and nothing more goes out for it.
    connect(m_conversations.get(), &model::ConversationStore::conversationsChanged, this,
            &AppViewModel::onConversationsChanged);
    connect(m_conversations.get(), &model::ConversationStore::historyLoaded, this, [this] {
        emit historyLoaded();
        // A send pressed before the history was there goes out now, into
        // the session it restored.
        if (std::exchange(m_sendWhenLoaded, false))
            send();
    });
    // The stores keep working in memory; the user hears once per run of
    // failed saves that quitting now would lose changes.
    connect(m_conversations.get(), &model::ConversationStore::saveFailed, this, [this](const QString &reason) {
        setErrorMessage(QStringLiteral("Could not save conversations: ") + reason);
    });
    connect(m_settingsStore.get(), &model::SettingsStore::saveFailed, this, [this](const QString &reason) {
        setErrorMessage(QStringLiteral("Could not save settings: ") + reason);
    });
    connect(m_workspace.get(), &agent::WorkspaceManager::rootChanged, this, &AppViewModel::projectRootChanged);

    // A write allowance belongs to one session.
    m_lastSelection = m_conversations->selectedConversationID();
    connect(m_conversations.get(), &model::ConversationStore::selectedConversationIDChanged, this,
            &AppViewModel::onSelectionChanged);

    wireRuntime();
    wireItemModels();
    wireDictation();

    connect(m_services.signIn.get(), &SignInSource::changed, this, &AppViewModel::mirrorSignIn);
    mirrorSignIn();

    if (!m_settingsStore->settings().hasCompletedOnboarding)
        setShowOnboarding(true);
}

AppViewModel::~AppViewModel()
{
    // From here on no run may write: it is no longer current.
    const std::optional<ActiveRun> run = std::exchange(m_run, std::nullopt);
    if (m_approvalAnswer)
        std::exchange(m_approvalAnswer, std::nullopt)->set(false);
    if (run)
        m_runtime->cancel(run->id);
    // Runs waiting on a stopped one resume and end.
    for (const Settling &settling : std::as_const(m_settling))
        settling.done.set(true);
    for (const platform::OneShot<bool> &waiter : std::as_const(m_runTasksEnded))
        waiter.set(false);
    m_runtime.reset();
}

void AppViewModel::wireRuntime()
{
    QPointer<AppViewModel> self(this);
    m_runtime->setOnStreamDelta([self](const QUuid &runId, const QString &fragment) {
        if (self)
            self->onStreamDelta(runId, fragment);
    });
    m_runtime->setOnToolLog([self](const QUuid &runId, const model::ToolLogEntry &entry) {
        if (self)
            self->onToolLog(runId, entry);
    });
    m_runtime->setOnPendingApproval([self](QUuid runId, model::PendingApproval approval) -> QCoro::Task<bool> {
        if (!self)
            return []() -> QCoro::Task<bool> { co_return false; }();
        return self->askApproval(runId, std::move(approval));
    });
    m_runtime->setOnRoundCompleted([self](const QUuid &runId, const QList<model::ChatMessage> &messagesSoFar) {
        if (self)
            self->onRoundCompleted(runId, messagesSoFar);
    });
    m_runtime->setOnCallStarted([self](const QUuid &runId, const QList<model::ChatMessage> &ifStoppedNow) {
        if (self)
            self->onCallStarted(runId, ifStoppedNow);
    });
}

void AppViewModel::mirrorSignIn()
{
    // What the last request found: a credential the service turned down is
    // not shown as connected until a request goes through with it again.
    setIsAuthenticated(m_services.signIn->isSignedIn() && !(m_account && m_account->isCredentialRefused()));
    setAuthStatusText(m_services.signIn->authModeDescription());
}

void AppViewModel::onSelectionChanged()
{
    refreshErrorMessage();
    const std::optional<QUuid> now = m_conversations->selectedConversationID();
    if (now == m_lastSelection)
        return;
    m_lastSelection = now;
    m_policy->setAllowWritesForCurrentChat(false);
}

bool AppViewModel::isHistoryLoaded() const
{
    return m_conversations->isHistoryLoaded();
}

bool AppViewModel::allowsWritesForCurrentChat() const
{
    return m_policy->allowWritesForCurrentChat();
}

std::optional<QUuid> AppViewModel::runConversationID() const
{
    if (!m_run)
        return std::nullopt;
    return m_run->conversationID;
}

void AppViewModel::newChat()
{
    m_conversations->newChat();
    // A live reply belongs to its run's session and is kept for it.
    if (!m_run)
        setStreamingText(QString());
    m_policy->setAllowWritesForCurrentChat(false);
    // Only the app's own error: another session's stays with it.
    m_appError.reset();
    refreshErrorMessage();
    // The staged files stay until the next clearAttachments().
    setAttachments({});
    m_imageHashes.clear();
    setPeekedFile(std::nullopt);
    emit newChatStarted();
}

void AppViewModel::setToolGuard(model::ToolGuardMode mode)
{
    model::AppSettings settings = m_settingsStore->settings();
    settings.toolGuardMode = mode;
    settings.policyMode = mode == model::ToolGuardMode::Yolo ? model::PolicyMode::PowerUser : model::PolicyMode::Tiered;
    settings.yoloEnabled = mode == model::ToolGuardMode::Yolo;
    m_settingsStore->setSettings(settings);
    m_policy->setSettings(settings);
    if (mode == model::ToolGuardMode::Ask)
        m_policy->setAllowWritesForCurrentChat(false);
}

// Published fields.

void AppViewModel::setDraft(const QString &text)
{
    assign(m_draft, text, &AppViewModel::draftChanged);
}

void AppViewModel::setIsRunning(bool on)
{
    assign(m_isRunning, on, &AppViewModel::isRunningChanged);
}

void AppViewModel::setStreamingText(const QString &text)
{
    assign(m_streamingText, text, &AppViewModel::streamingTextChanged);
}

void AppViewModel::setPendingApproval(const std::optional<model::PendingApproval> &approval)
{
    assign(m_pendingApproval, approval, &AppViewModel::pendingApprovalChanged);
}

void AppViewModel::setIsAuthenticated(bool on)
{
    assign(m_isAuthenticated, on, &AppViewModel::isAuthenticatedChanged);
}

void AppViewModel::setAuthStatusText(const QString &text)
{
    assign(m_authStatusText, text, &AppViewModel::authStatusTextChanged);
}

void AppViewModel::setShowSettings(bool on)
{
    assign(m_showSettings, on, &AppViewModel::showSettingsChanged);
}

void AppViewModel::openSettings(std::optional<SettingsSection> section)
{
    m_settingsSection = section;
    setShowSettings(true);
}

void AppViewModel::setShowSidebar(bool on)
{
    assign(m_showSidebar, on, &AppViewModel::showSidebarChanged);
}

void AppViewModel::setShowProjectPanel(bool on)
{
    const auto before = shownPanels();
    assign(m_showProjectPanel, on, &AppViewModel::showProjectPanelChanged);
    noteShownPanels(before);
}

void AppViewModel::setShowToolLog(bool on)
{
    const auto before = shownPanels();
    assign(m_showToolLog, on, &AppViewModel::showToolLogChanged);
    noteShownPanels(before);
}

void AppViewModel::setPanelsAside(bool projectPanel, bool toolLog)
{
    const auto before = shownPanels();
    m_projectPanelAside = projectPanel;
    m_toolLogAside = toolLog;
    noteShownPanels(before);
}

void AppViewModel::noteShownPanels(std::pair<bool, bool> before)
{
    if (shownPanels() != before)
        emit shownPanelsChanged();
}

void AppViewModel::toggleProjectPanel()
{
    if (projectPanelShown()) {
        setShowProjectPanel(false);
        return;
    }
    setShowProjectPanel(true);
    emit fileTreeRequested();
}

void AppViewModel::toggleToolLog()
{
    if (toolLogShown()) {
        setShowToolLog(false);
        return;
    }
    setShowToolLog(true);
    emit toolLogRequested();
}

void AppViewModel::setShowOnboarding(bool on)
{
    assign(m_showOnboarding, on, &AppViewModel::showOnboardingChanged);
}

void AppViewModel::setShowCommandPalette(bool on)
{
    assign(m_showCommandPalette, on, &AppViewModel::showCommandPaletteChanged);
}

void AppViewModel::setFileTreeRefresh(const QUuid &id)
{
    assign(m_fileTreeRefresh, id, &AppViewModel::fileTreeRefreshChanged);
}

void AppViewModel::setSessionSearch(const QString &text)
{
    assign(m_sessionSearch, text, &AppViewModel::sessionSearchChanged);
}

void AppViewModel::setAttachments(const QList<model::AttachedFile> &list)
{
    assign(m_attachments, list, &AppViewModel::attachmentsChanged);
}

void AppViewModel::setPeekedFile(const std::optional<model::PeekedFile> &file)
{
    assign(m_peekedFile, file, &AppViewModel::peekedFileChanged);
}

void AppViewModel::setHighlightedFilePath(const std::optional<QString> &path)
{
    assign(m_highlightedFilePath, path, &AppViewModel::highlightedFilePathChanged);
}

} // namespace app
