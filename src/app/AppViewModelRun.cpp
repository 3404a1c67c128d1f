#include "app/AppViewModel.h"

#include "agent/AgentRuntime.h"
#include "agent/PolicyEngine.h"
#include "agent/ToolRouter.h"
#include "agent/WorkspaceManager.h"
#include "model/AttachmentTempStore.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace app {

using model::ChatMessage;
using model::MessageRole;
using Status = model::ToolLogEntry::Status;

namespace {

QString stopMark()
{
    return QStringLiteral("\n\n*(stopped)*");
}

QFuture<QString> composeForModel(const QString &draft, const QList<model::AttachedFile> &attachments)
{
    return QtConcurrent::run(
        [draft, attachments] { return AppViewModel::composeUserMessage(draft, attachments, true); });
}

} // namespace

void AppViewModel::send()
{
    const QString draft = m_draft.trimmed();
    const QList<model::AttachedFile> attachments = m_attachments;
    const QString storedText = composeUserMessage(draft, attachments, false);
    if (storedText.isEmpty())
        return;
    // Nowhere to put the message: keep the draft rather than lose it.
    if (!m_conversations->selectedConversation())
        return;
    if (m_isRunning)
        stop();
    setDraft(QString());

    // Inlining images reads and may recompress them: that is done on a
    // worker, and their staged files live until it is done.
    const bool readsImages = std::any_of(attachments.cbegin(), attachments.cend(),
                                         [](const model::AttachedFile &a) { return a.isImage && a.isOwnedTemp; });
    if (!readsImages) {
        const QString apiText = composeUserMessage(draft, attachments, true);
        clearAttachments();
        startRun(storedText, apiText, {}, {});
        return;
    }
    setAttachments({});
    m_imageHashes.clear();
    startRun(storedText, QString(), draft, attachments);
}

void AppViewModel::startRun(const QString &storedText, const QString &apiText, const QString &draft,
                            const QList<model::AttachedFile> &toCompose)
{
    setErrorMessage(std::nullopt);
    setStreamingText(QString());

    const QUuid conversationID = *m_conversations->selectedConversationID();
    m_conversations->appendMessage(conversationID, ChatMessage::make(MessageRole::User, storedText));

    const model::AppSettings settings = m_settingsStore->settings();
    m_policy->setSettings(settings);
    m_tools->setShellTimeout(settings.shellTimeoutSeconds);

    const QUuid runId = QUuid::createUuid();
    m_run = ActiveRun{runId, conversationID, 0, {}, 0};
    setIsRunning(true);
    runTask(runId, conversationID, storedText, apiText, draft, toCompose);
}

QCoro::Task<> AppViewModel::runTask(QUuid runId, QUuid conversationID, QString storedText, QString apiText,
                                    QString draft, QList<model::AttachedFile> toCompose)
{
    // The controller may be gone, or the run stopped, after every await.
    QPointer<AppViewModel> self(this);
    if (!toCompose.isEmpty()) {
        // Made outside the co_await expression: g++ 12 mishandles lambda
        // temporaries there.
        const QFuture<QString> composing = composeForModel(draft, toCompose);
        apiText = co_await composing;
        if (!self)
            co_return; // the staging folder is emptied at the next start
        for (qsizetype i = 0; i < toCompose.size(); ++i)
            self->staging().deleteOwned(toCompose.at(i).toStaged());
        if (!self->isCurrent(runId))
            co_return;
    }
    const platform::Result<QString, TokenFailure> token = co_await m_services.signIn->bearerToken();
    if (!self || !self->isCurrent(runId))
        co_return;
    self->mirrorSignIn();
    if (!token.ok()) {
        self->setErrorMessage(token.error().message);
        if (token.error().isSignInFailure)
            self->setShowSettings(true);
        self->finishRun(runId);
        co_return;
    }

    // A session deleted meanwhile gets nothing sent on its behalf.
    const std::optional<model::Conversation> conversation = self->m_conversations->conversation(conversationID);
    if (!conversation) {
        self->finishRun(runId);
        co_return;
    }
    QList<ChatMessage> history = conversation->messages;
    if (apiText != storedText && !history.isEmpty() && history.last().role == MessageRole::User)
        history.last().content = apiText;
    self->m_run->historySize = std::count_if(history.cbegin(), history.cend(), [](const ChatMessage &m) {
        return m.role != MessageRole::System;
    });

    const model::AppSettings settings = self->m_settingsStore->settings();
    agent::RunRequest request;
    request.runId = runId;
    request.bearerToken = token.value();
    request.model = settings.model;
    if (self->m_workspace->hasRoot())
        request.workspacePath = self->m_workspace->rootPath();
    request.history = std::move(history);
    request.maxIterations = settings.maxAgentIterations;

    const agent::RunResult result = co_await self->m_runtime->run(std::move(request));
    if (!self || !self->isCurrent(runId))
        co_return;
    if (result.ok()) {
        self->m_conversations->replaceMessages(conversationID, ChatMessage::sanitizeForStorage(result.value()));
    } else if (!result.error().isCancellation()) {
        const agent::RunFailure &failure = result.error();
        self->setErrorMessage(failure.error.description());
        self->keepPartial(*self->m_run, failure.messages, failure.unfinishedText, QString());
    }
    self->finishRun(runId);
}

void AppViewModel::finishRun(const QUuid &runId)
{
    if (!isCurrent(runId))
        return;
    m_run.reset();
    setIsRunning(false);
    setStreamingText(QString());
}

void AppViewModel::keepPartial(const ActiveRun &run, const QList<ChatMessage> &finished, const QString &unfinished,
                               const QString &suffix)
{
    // Steps that really happened are stored, so the model is never asked
    // to repeat an action it does not know it took.
    if (finished.size() > run.historySize)
        m_conversations->replaceMessages(run.conversationID, ChatMessage::sanitizeForStorage(finished));
    if (!unfinished.isEmpty())
        m_conversations->appendMessage(run.conversationID, ChatMessage::make(MessageRole::Assistant, unfinished + suffix));
}

void AppViewModel::stop()
{
    const std::optional<ActiveRun> run = std::exchange(m_run, std::nullopt);
    if (run)
        m_runtime->cancel(run->id);
    answerPendingApproval(false);
    if (run)
        keepPartial(*run, run->finished, m_streamingText.mid(run->streamedInFinished), stopMark());
    setStreamingText(QString());
    setIsRunning(false);
}

void AppViewModel::retryLastExchange()
{
    if (m_isRunning)
        return;
    const std::optional<model::Conversation> conversation = m_conversations->selectedConversation();
    if (!conversation)
        return;
    const QList<ChatMessage> &messages = conversation->messages;
    qsizetype last = messages.size() - 1;
    while (last >= 0 && messages[last].role != MessageRole::User)
        --last;
    if (last < 0)
        return;
    // Sent again as stored; the draft and the staged attachments are the
    // user's next message and stay as they are.
    const QString text = messages[last].content;
    m_conversations->replaceMessages(conversation->id, messages.mid(0, last));
    startRun(text, text, {}, {});
}

QCoro::Task<bool> AppViewModel::askApproval(QUuid runId, model::PendingApproval approval)
{
    // A stale run, or a second request while one waits, is denied at once.
    if (!isCurrent(runId) || m_approvalAnswer)
        co_return false;
    const agent::OneShot<bool> answer;
    m_approvalAnswer = answer;
    setPendingApproval(approval);
    // Nothing of the controller is touched after this: it may be gone.
    co_return co_await answer;
}

void AppViewModel::answerPendingApproval(bool approved)
{
    const std::optional<agent::OneShot<bool>> handle = std::exchange(m_approvalAnswer, std::nullopt);
    setPendingApproval(std::nullopt);
    if (handle)
        handle->set(approved);
}

void AppViewModel::resolveApproval(bool approved, bool allowWritesForChat)
{
    if (allowWritesForChat)
        m_policy->setAllowWritesForCurrentChat(true);
    answerPendingApproval(approved);
}

void AppViewModel::onStreamDelta(const QUuid &runId, const QString &fragment)
{
    if (!isCurrent(runId) || fragment.isEmpty())
        return;
    // Appended in place: comparing the whole text per fragment would make a
    // long reply quadratic.
    m_streamingText += fragment;
    emit streamingTextChanged();
    emit changed();
}

void AppViewModel::onToolLog(const QUuid &runId, const model::ToolLogEntry &entry)
{
    qsizetype at = -1;
    for (qsizetype i = 0; i < m_toolLog.size() && at < 0; ++i) {
        if (m_toolLog.at(i).id == entry.id)
            at = i;
    }
    // A stopped run may still settle the lines it began (a denial, a
    // cancelled command), so none stays "running"; it starts no new ones.
    if (at < 0 && !isCurrent(runId))
        return;
    QList<model::ToolLogEntry> log = m_toolLog;
    if (at >= 0)
        log[at] = entry;
    else
        log.prepend(entry);
    setToolLog(log);
    if (entry.status == Status::Success || entry.status == Status::Failure)
        setFileTreeRefresh(QUuid::createUuid());
}

void AppViewModel::onRoundCompleted(const QUuid &runId, const QList<ChatMessage> &messagesSoFar)
{
    if (!isCurrent(runId))
        return;
    m_run->finished = messagesSoFar;
    m_run->streamedInFinished = m_streamingText.size();
}

LiveActivity AppViewModel::liveActivity() const
{
    if (m_pendingApproval)
        return LiveActivity::waitingApproval();
    for (const model::ToolLogEntry &entry : m_toolLog) {
        if (entry.status == Status::Pending || entry.status == Status::Approved || entry.status == Status::Running)
            return LiveActivity::working(entry.name);
    }
    return m_streamingText.isEmpty() ? LiveActivity::thinking() : LiveActivity::writing();
}

} // namespace app
