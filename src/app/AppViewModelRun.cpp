#include "app/AppViewModel.h"

#include "agent/AgentRuntime.h"
#include "agent/guard/PolicyEngine.h"
#include "agent/tools/ToolRouter.h"
#include "agent/files/WorkspaceManager.h"
#include "app/AccountController.h"
#include "app/MessageComposer.h"
#include "app/PartialReply.h"
#include "model/AttachmentTempStore.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"

#include <QCoroFuture>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace app {

using model::ChatMessage;
using model::MessageRole;
using Status = model::ToolLogEntry::Status;

void AppViewModel::send()
{
    const QString draft = m_draft.trimmed();
    const QList<model::AttachedFile> attachments = m_attachments;
    const QString storedText = composeUserMessage(draft, attachments, false);
    if (storedText.isEmpty())
        return;
    // Nowhere to put the message: keep the draft rather than lose it; while
    // the history is on its way, send it once it is there.
    if (!m_conversations->selectedConversation()) {
        m_sendWhenLoaded = !m_conversations->isHistoryLoaded();
        return;
    }

    // The model's text inlines staged images: their bytes are read now,
    // while the files exist (clearAttachments() below deletes them); the
    // recompression and encoding run on a worker when the run starts.
    std::optional<PendingModelText> pending;
    for (const model::AttachedFile &a : attachments) {
        if (!MessageComposer::mayInline(a))
            continue;
        if (!pending)
            pending = PendingModelText{draft, attachments, {}};
        if (!pending->stagedBytes.contains(a.url)) {
            if (std::optional<QByteArray> bytes = MessageComposer::readStaged(a.url))
                pending->stagedBytes.insert(a.url, *bytes);
        }
    }

    if (m_isRunning)
        stop();
    setDraft(QString());
    clearAttachments();
    // Without images to inline both forms are the same text.
    startRun(storedText, storedText, std::move(pending));
}

void AppViewModel::startRun(const QString &storedText, const QString &apiText, std::optional<PendingModelText> pending)
{
    setStreamingText(QString());
    // Named before isRunning turns true, so a view sees the run's session
    // together with the running state.
    const QUuid conversationID = *m_conversations->selectedConversationID();
    // A new run clears the app's error and its session's.
    m_appError.reset();
    setRunError(conversationID, std::nullopt);
    const QUuid runId = QUuid::createUuid();
    m_run = ActiveRun{runId, conversationID, 0, {}, 0, std::nullopt};
    setIsRunning(true);

    m_conversations->appendMessage(conversationID, ChatMessage::make(MessageRole::User, storedText));

    const model::AppSettings settings = m_settingsStore->settings();
    m_policy->setSettings(settings);
    m_tools->setShellTimeout(settings.shellTimeoutSeconds);

    runTask(runId, conversationID, storedText, apiText, std::move(pending));
}

QCoro::Task<> AppViewModel::runTask(QUuid runId, QUuid conversationID, QString storedText, QString apiText,
                                    std::optional<PendingModelText> pending)
{
    // The controller may be gone, or the run stopped, after every await.
    QPointer<AppViewModel> self(this);
    ++m_runTasks;
    const auto ended = qScopeGuard([self] {
        if (self)
            self->runTaskEnded();
    });
    if (!isCurrent(runId))
        co_return;
    if (pending) {
        // Made outside the co_await expression: g++ 12 mishandles lambda
        // temporaries there. The worker holds its own copy of the bytes.
        const QFuture<QString> composing =
            QtConcurrent::run([job = std::move(*pending)] { return AppViewModel::composeForModel(job); });
        apiText = co_await composing;
        if (!self || !self->isCurrent(runId))
            co_return;
    }
    const platform::Result<QString, TokenFailure> token = co_await m_services.signIn->bearerToken();
    if (!self || !self->isCurrent(runId))
        co_return;
    self->mirrorSignIn();
    if (!token.ok()) {
        self->setRunError(conversationID, RunError{token.error().message, token.error().isSignInFailure});
        if (token.error().isSignInFailure)
            self->openSettings(SettingsSection::signIn);
        self->finishRun(runId);
        co_return;
    }

    // A command stopped in this session may still be ending: its real
    // result goes in first, so the model is told what really happened, and
    // no new command starts while the old one still runs.
    while (const std::optional<platform::OneShot<bool>> settling = self->settlingIn(conversationID)) {
        co_await *settling;
        if (!self || !self->isCurrent(runId))
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
    if (!self)
        co_return;
    if (!self->isCurrent(runId)) {
        self->settleStopped(runId, result.ok() ? result.value() : result.error().messages);
        co_return;
    }
    if (result.ok()) {
        if (self->m_account)
            self->m_account->noteCredentialAccepted();
        self->m_conversations->replaceMessages(conversationID, ChatMessage::sanitizeForStorage(result.value()));
    } else if (!result.error().isCancellation()) {
        const agent::RunFailure &failure = result.error();
        // The service turned the credential down: the way to sign in again.
        const bool refused = failure.error.kind == agent::OVUClientError::Kind::HttpStatus
            && failure.error.statusCode == 401;
        self->setRunError(conversationID, RunError{failure.error.description(), refused});
        if (refused) {
            self->account().noteCredentialRefused();
            self->openSettings(SettingsSection::signIn);
        }
        self->keepPartial(*self->m_run, failure.messages, failure.unfinishedText, PartialReply::incompleteMark());
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

void AppViewModel::runTaskEnded()
{
    if (--m_runTasks > 0)
        return;
    for (const platform::OneShot<bool> &waiter : std::exchange(m_runTasksEnded, {}))
        waiter.set(true);
}

QCoro::Task<> AppViewModel::endRuns(std::chrono::milliseconds within)
{
    stop();
    if (m_runTasks == 0)
        co_return;
    const platform::OneShot<bool> ended;
    m_runTasksEnded.append(ended);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [ended] { ended.set(false); });
    deadline.start(within);
    co_await ended;
}

bool AppViewModel::keepPartial(const ActiveRun &run, const QList<ChatMessage> &finished, const QString &unfinished,
                               const QString &suffix)
{
    // Steps that really happened are stored, so the model is never asked
    // to repeat an action it does not know it took.
    if (finished.size() > run.historySize)
        m_conversations->replaceMessages(run.conversationID, ChatMessage::sanitizeForStorage(finished));
    const std::optional<QString> kept = PartialReply::marked(unfinished, suffix);
    if (kept)
        m_conversations->appendMessage(run.conversationID, ChatMessage::make(MessageRole::Assistant, *kept));
    return kept.has_value();
}

std::optional<platform::OneShot<bool>> AppViewModel::settlingIn(const QUuid &conversationID) const
{
    for (const Settling &settling : m_settling) {
        if (settling.conversationID == conversationID)
            return settling.done;
    }
    return std::nullopt;
}

void AppViewModel::settleStopped(const QUuid &runId, const QList<ChatMessage> &runMessages)
{
    const auto it = m_settling.constFind(runId);
    if (it == m_settling.cend())
        return;
    const Settling settling = it.value();
    m_settling.erase(it);

    std::optional<QString> result;
    for (qsizetype i = runMessages.size() - 1; i >= 0 && !result; --i) {
        const ChatMessage &m = runMessages.at(i);
        if (m.role == MessageRole::Tool && m.toolCallId == settling.call.callID)
            result = m.content;
    }
    const std::optional<model::Conversation> conversation = m_conversations->conversation(settling.conversationID);
    if (result && conversation) {
        QList<ChatMessage> messages = conversation->messages;
        for (ChatMessage &m : messages) {
            if (m.id != settling.call.resultMessageID)
                continue;
            if (m.content != *result) {
                m.content = *result;
                m_conversations->replaceMessages(settling.conversationID, messages);
            }
            break;
        }
    }
    settling.done.set(true);
}

void AppViewModel::stop()
{
    const std::optional<ActiveRun> run = std::exchange(m_run, std::nullopt);
    if (run) {
        // Kept before the run is cancelled: it may end inside cancel(), and
        // a call cut off keeps its stand-in result until the real one comes.
        const bool textKept =
            keepPartial(*run, run->finished, m_streamingText.mid(run->streamedInFinished), PartialReply::stopMark());
        // Stopped between its steps (a tool running, an approval waiting, the
        // next round not yet writing), the turn ends with the mark alone, so
        // it never reads as a finished one.
        if (!textKept && run->finished.size() > run->historySize)
            m_conversations->appendMessage(run->conversationID,
                                           ChatMessage::make(MessageRole::Assistant, PartialReply::stopMark().trimmed()));
        if (run->running)
            m_settling.insert(run->id, Settling{run->conversationID, *run->running, {}});
        m_runtime->cancel(run->id);
    }
    answerPendingApproval(false);
    setStreamingText(QString());
    setIsRunning(false);
}

bool AppViewModel::retryLastExchange(std::optional<QUuid> conversationID)
{
    if (m_isRunning)
        return false;
    if (conversationID && m_conversations->selectedConversationID() != conversationID) {
        if (!m_conversations->conversation(*conversationID))
            return false;
        selectSession(*conversationID);
    }
    const std::optional<model::Conversation> conversation = m_conversations->selectedConversation();
    if (!conversation)
        return false;
    const QList<ChatMessage> &messages = conversation->messages;
    qsizetype last = messages.size() - 1;
    while (last >= 0 && messages[last].role != MessageRole::User)
        --last;
    if (last < 0)
        return false;
    // Sent again as stored (trimmed, as send() would); the draft and the
    // staged attachments are the user's next message and stay as they are.
    const QString text = messages[last].content.trimmed();
    // Nothing to send again: the exchange is kept rather than dropped.
    if (text.isEmpty())
        return false;
    m_conversations->replaceMessages(conversation->id, messages.mid(0, last));
    startRun(text, text, std::nullopt);
    return true;
}

QCoro::Task<bool> AppViewModel::askApproval(QUuid runId, model::PendingApproval approval)
{
    // A stale run, or a second request while one waits, is denied at once.
    if (!isCurrent(runId) || m_approvalAnswer)
        co_return false;
    const platform::OneShot<bool> answer;
    m_approvalAnswer = answer;
    setPendingApproval(approval);
    // Nothing of the controller is touched after this: it may be gone.
    co_return co_await answer;
}

void AppViewModel::answerPendingApproval(bool approved)
{
    const std::optional<platform::OneShot<bool>> handle = std::exchange(m_approvalAnswer, std::nullopt);
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
    // long reply quadratic. The stream hands text on at most once per frame,
    // so the views hear each handing at once.
    m_streamingText += fragment;
    emit streamingTextChanged();
}

void AppViewModel::onToolLog(const QUuid &runId, const model::ToolLogEntry &entry)
{
    const auto found = std::find_if(m_toolLog.cbegin(), m_toolLog.cend(),
                                     [&entry](const model::ToolLogEntry &e) { return e.id == entry.id; });
    const bool known = found != m_toolLog.cend();
    // A stopped run may still settle the lines it began (a denial, a
    // cancelled command), so none stays "running"; it starts no new ones.
    if (!known && !isCurrent(runId))
        return;
    // Changed in place: a long log is neither copied nor compared whole.
    if (!known) {
        m_toolLog.prepend(entry);
        emit toolLogChanged();
    } else if (!(*found == entry)) {
        m_toolLog[found - m_toolLog.cbegin()] = entry;
        emit toolLogChanged();
    }
    if (entry.status == Status::Success || entry.status == Status::Failure)
        setFileTreeRefresh(QUuid::createUuid());
}

void AppViewModel::onRoundCompleted(const QUuid &runId, const QList<ChatMessage> &messagesSoFar)
{
    if (!isCurrent(runId))
        return;
    m_run->finished = messagesSoFar;
    m_run->streamedInFinished = m_streamingText.size();
    m_run->running.reset();
}

void AppViewModel::onCallStarted(const QUuid &runId, const QList<ChatMessage> &ifStoppedNow)
{
    if (!isCurrent(runId) || ifStoppedNow.isEmpty() || !ifStoppedNow.last().toolCallId)
        return;
    m_run->finished = ifStoppedNow;
    m_run->streamedInFinished = m_streamingText.size();
    m_run->running = ActiveRun::CutCall{ifStoppedNow.last().id, *ifStoppedNow.last().toolCallId};
}

void AppViewModel::onConversationsChanged()
{
    if (m_run && !m_conversations->conversation(m_run->conversationID))
        stop();
    dropErrorsOfDeletedSessions();
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
