#include "agent/AgentRuntime.h"

#include "agent/SystemPrompt.h"
#include "agent/calls/PreparedCall.h"
#include "agent/calls/ToolDefinitions.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/guard/PolicyEngine.h"
#include "agent/guard/ShellGuard.h"
#include "agent/stream/RequestContext.h"
#include "agent/stream/RunCancellation.h"
#include "agent/tools/ApprovalPreview.h"
#include "agent/tools/ToolRouter.h"
#include "platform/Graphemes.h"
#include "platform/OneShot.h"
#include "platform/SharedNetwork.h"

#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace agent {

using model::ChatMessage;
using model::MessageRole;
using Status = model::ToolLogEntry::Status;

namespace {

ChatMessage toolMessage(const QString &callId, const QString &content)
{
    ChatMessage message = ChatMessage::make(MessageRole::Tool, content);
    message.toolCallId = callId;
    return message;
}

// The future is a named local: g++ 12 destroys lambda temporaries of a
// co_await expression twice. Stop reaches the judging through the token, so
// the worker ends within a few checks rather than at the end of the judgement.
QCoro::Task<ShellGuard::Verdict> judgedOffThread(QString command, std::stop_token stop, QString projectRoot)
{
    QFuture<ShellGuard::Verdict> future =
        QtConcurrent::run([command, stop, projectRoot] { return ShellGuard::judge(command, stop, projectRoot); });
    ShellGuard::Verdict verdict = co_await future;
    co_return verdict;
}

model::PendingApproval pendingApproval(const PreparedCall &call, const WorkspaceManager *workspace)
{
    // A router made without a project manager has nothing more specific to
    // show than the tool's name.
    const ApprovalPreview::Built built =
        workspace ? ApprovalPreview::build(call, *workspace) : ApprovalPreview::Built{call.name, QString()};
    return {call.id, call.name, call.argumentsJSON, call.risk, built.preview, built.summary};
}

} // namespace

struct AgentRuntime::RunState {
    RunRequest request;
    std::shared_ptr<RunCancellation> cancellation;
    ChatMessage system;
    QList<ChatMessage> working;
    QString roundText;        // streamed so far in the turn in hand
    qsizetype turnIndex = -1; // the assistant turn whose calls are in hand

    bool cancelled() const { return cancellation->isCancelled(); }

    RunResult fail(const OVUClientError &error) const
    {
        RunFailure failure{error, working, roundText};
        trimUnanswered(failure.messages, failure.unfinishedText);
        return RunResult::failure(std::move(failure));
    }

    // The finished steps, then the call in hand as if a stop had just ended it.
    QList<ChatMessage> ifStoppedDuring(const QString &callId) const
    {
        QList<ChatMessage> messages = working;
        if (turnIndex >= 0 && turnIndex < messages.size()) {
            ChatMessage &turn = messages[turnIndex];
            const qsizetype answered = messages.size() - turnIndex - 1;
            turn.toolCalls = turn.toolCalls.value_or(QList<model::ToolCallRecord>()).mid(0, answered + 1);
        }
        messages.append(toolMessage(callId, AgentRuntime::stoppedCallText()));
        return messages;
    }

    QList<ChatMessage> finishedSoFar() const
    {
        QList<ChatMessage> messages = working;
        QString unfinished;
        trimUnanswered(messages, unfinished);
        return messages;
    }

    // Keep the calls that got their result, so nothing that ran is
    // forgotten and nothing unanswered is sent later.
    void trimUnanswered(QList<ChatMessage> &messages, QString &unfinishedText) const
    {
        if (turnIndex < 0 || turnIndex >= messages.size())
            return;
        ChatMessage &turn = messages[turnIndex];
        const qsizetype answered = messages.size() - turnIndex - 1;
        if (answered == 0) {
            unfinishedText = turn.content;
            messages.removeAt(turnIndex);
        } else {
            turn.toolCalls = turn.toolCalls.value_or(QList<model::ToolCallRecord>()).mid(0, answered);
            unfinishedText.clear();
        }
    }
};

namespace {

// Awaits the caller's approval task and hands its answer on; owns the task
// so it lives as long as the answer is pending.
QCoro::Task<void> forwardAnswer(QCoro::Task<bool> asked, platform::OneShot<bool> answer)
{
    answer.set(co_await std::move(asked));
}

} // namespace

QString AgentRuntime::iterationLimitText()
{
    return QStringLiteral("Stopped after maximum tool iterations. Send another message to continue.");
}

QString AgentRuntime::userDeniedText()
{
    return QStringLiteral("User denied this tool call.");
}

QString AgentRuntime::deniedByUserPreview()
{
    return QStringLiteral("Denied by user");
}

QString AgentRuntime::stoppedCallText()
{
    return QStringLiteral("Command cancelled");
}

AgentRuntime::AgentRuntime(ToolRouter &tools, PolicyEngine &policy, QNetworkAccessManager &network, QUrl endpoint,
                           QObject *parent)
    : QObject(parent), m_tools(&tools), m_policy(policy), m_client(new OVUClient(network, std::move(endpoint), this))
{
}

AgentRuntime::AgentRuntime(ToolRouter &tools, PolicyEngine &policy, QObject *parent)
    : AgentRuntime(tools, policy, platform::sharedNetwork(), OVUClient::defaultEndpoint(), parent)
{
}

AgentRuntime::~AgentRuntime()
{
    cancelAll();
}

void AgentRuntime::cancel(const QUuid &runId)
{
    if (const std::shared_ptr<RunCancellation> cancellation = m_runs.value(runId))
        cancellation->cancel();
}

void AgentRuntime::cancelAll()
{
    const auto runs = m_runs.values();
    for (const std::shared_ptr<RunCancellation> &cancellation : runs)
        cancellation->cancel();
}

void AgentRuntime::log(const RunState &state, const QUuid &logId, const QString &name,
                       const QString &argumentsPreview, Status status, const QString &resultPreview) const
{
    if (!m_onToolLog)
        return;
    model::ToolLogEntry entry;
    entry.id = logId;
    entry.timestamp = QDateTime::currentDateTimeUtc();
    entry.name = name;
    entry.argumentsPreview = argumentsPreview;
    entry.resultPreview = resultPreview;
    entry.status = status;
    m_onToolLog(state.request.runId, entry);
}

void AgentRuntime::reportFinished(const RunState &state) const
{
    if (m_onRoundCompleted)
        m_onRoundCompleted(state.request.runId, state.finishedSoFar());
}

void AgentRuntime::reportStarted(const RunState &state, const QString &callId) const
{
    if (m_onCallStarted)
        m_onCallStarted(state.request.runId, state.ifStoppedDuring(callId));
}

QCoro::Task<RunResult> AgentRuntime::run(RunRequest request)
{
    auto state = std::make_shared<RunState>();
    state->request = std::move(request);
    state->cancellation = std::make_shared<RunCancellation>();
    for (const ChatMessage &message : std::as_const(state->request.history)) {
        if (message.role != MessageRole::System)
            state->working.append(message);
    }
    state->system = ChatMessage::make(MessageRole::System, systemPrompt(state->request.workspacePath));

    const QUuid runId = state->request.runId;
    m_runs.insert(runId, state->cancellation);
    QPointer<AgentRuntime> self(this);
    RunResult result = co_await runRounds(state);
    if (self) {
        auto it = m_runs.find(runId);
        if (it != m_runs.end() && it.value() == state->cancellation)
            m_runs.erase(it);
    }
    co_return result;
}

QCoro::Task<RunResult> AgentRuntime::runRounds(std::shared_ptr<RunState> state)
{
    // Every resume checks `self`: the runtime may be gone after any await,
    // and also after a handler, which may delete it.
    QPointer<AgentRuntime> self(this);
    const auto gone = [&self, this] { return !self || !m_tools; };
    const qint64 limit = std::max<qint64>(0, state->request.maxIterations);
    if (limit == 0) {
        state->working.append(ChatMessage::make(MessageRole::Assistant, iterationLimitText()));
        co_return state->working;
    }

    for (qint64 iteration = 1; iteration <= limit; ++iteration) {
        if (gone() || state->cancelled())
            co_return state->fail(OVUClientError::cancelled());

        const QJsonArray payload =
            RequestContext::buildPayload(state->system, RequestContext::trimmedForAPI(state->working));
        state->roundText.clear();
        auto onDelta = [self, state](const QString &fragment) {
            state->roundText += fragment;
            if (self && self->m_onStreamDelta && !state->cancelled())
                self->m_onStreamDelta(state->request.runId, fragment);
        };
        // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
        const QJsonArray schemas = ToolDefinitions::schemas();
        TurnResult streamed = co_await m_client->streamComplete(state->request.bearerToken, state->request.model,
                                                                 payload, schemas, onDelta, state->cancellation);
        if (gone() || state->cancelled())
            co_return state->fail(OVUClientError::cancelled());
        if (!streamed.ok())
            co_return state->fail(streamed.error());
        const OVUAssistantTurn turn = streamed.value();
        state->roundText.clear();

        ChatMessage assistant = ChatMessage::make(MessageRole::Assistant, turn.text);
        if (turn.toolCalls.isEmpty()) {
            state->working.append(assistant);
            co_return state->working;
        }
        QList<model::ToolCallRecord> records;
        for (const OVUToolCall &call : turn.toolCalls)
            records.append({call.id, call.name, call.arguments});
        assistant.toolCalls = records;
        state->turnIndex = state->working.size();
        state->working.append(assistant);

        for (const OVUToolCall &toolCall : turn.toolCalls) {
            if (gone() || state->cancelled())
                co_return state->fail(OVUClientError::cancelled());
            PreparedCall call = PreparedCall::read(toolCall.id, toolCall.name, toolCall.arguments);
            const bool goOn = co_await takeUp(state, std::move(call));
            if (!goOn)
                co_return state->fail(OVUClientError::cancelled());
        }
        state->turnIndex = -1;

        if (state->cancelled())
            co_return state->fail(OVUClientError::cancelled());
        if (iteration == limit) {
            state->working.append(ChatMessage::make(MessageRole::Assistant, iterationLimitText()));
            co_return state->working;
        }
    }
    co_return state->working; // not reached: the last iteration returns
}

QCoro::Task<bool> AgentRuntime::takeUp(std::shared_ptr<RunState> state, PreparedCall call)
{
    // As in runRounds: the runtime may be gone after any await or handler.
    QPointer<AgentRuntime> self(this);
    const auto gone = [&self, this] { return !self || !m_tools; };
    // A call that ends without running: its tool message, then the report.
    const auto answer = [&](const QString &content) {
        state->working.append(toolMessage(call.id, content));
        if (gone())
            return false;
        reportFinished(*state);
        return true;
    };

    // A shell call's command is read once, off the UI thread (a hostile line
    // takes the reader milliseconds); the policy, the card and the run all
    // use that verdict. Paths the model writes absolute in the project are
    // the project's.
    if (call.risk == model::ToolRisk::Shell) {
        call.verdict = co_await judgedOffThread(call.commandText(), state->cancellation->stopToken(),
                                                state->request.workspacePath.value_or(QString()));
        if (gone() || state->cancelled())
            co_return false;
    }
    // Decided here, once: the policy may ask first; a command the verdict
    // blocks is refused by the router only after that.
    const PolicyDecision decision = m_policy.decide(call);
    const QUuid logId = QUuid::createUuid();
    const QString argumentsPreview = platform::Graphemes::prefix(call.argumentsJSON, kArgumentsPreviewCap);
    const auto report = [&](Status status, const QString &resultPreview) {
        log(*state, logId, call.name, argumentsPreview, status, resultPreview);
    };
    report(Status::Pending, QString());
    if (gone())
        co_return false;

    if (decision.action == PolicyDecision::Action::Deny) {
        report(Status::Denied, decision.reason);
        co_return answer(decision.reason);
    }
    if (decision.action == PolicyDecision::Action::NeedsApproval) {
        model::PendingApproval approval = pendingApproval(call, m_tools->workspace());
        const bool approved = co_await askApproval(state, std::move(approval));
        if (gone()) {
            state->working.append(toolMessage(call.id, userDeniedText()));
            co_return false;
        }
        if (!approved) {
            report(Status::Denied, deniedByUserPreview());
            co_return answer(userDeniedText());
        }
        report(Status::Approved, QString());
        if (gone())
            co_return false;
    }

    report(Status::Running, QString());
    if (gone())
        co_return false;
    m_tools->setShellTimeout(m_policy.settings().shellTimeoutSeconds);
    reportStarted(*state, call.id);
    if (gone())
        co_return false;
    // A stop from one of the handlers above reaches no command: the call is
    // not carried out, and ends as a stopped one would.
    if (state->cancelled()) {
        state->working.append(toolMessage(call.id, stoppedCallText()));
        report(Status::Failure, stoppedCallText());
        co_return false;
    }
    // A stop ends the running command; execute() then returns its result.
    const QPointer<ToolRouter> tools = m_tools;
    const QMetaObject::Connection stopShell =
        connect(state->cancellation.get(), &RunCancellation::cancelled, tools.data(), [tools] {
            if (tools)
                tools->cancelRunningCommand();
        });
    const ToolExecutionResult result = co_await tools->execute(call);
    disconnect(stopShell);
    state->working.append(toolMessage(call.id, result.output));
    if (!self)
        co_return false;
    report(result.isError ? Status::Failure : Status::Success, platform::Graphemes::prefix(result.output, kResultPreviewCap));
    if (gone())
        co_return false;
    reportFinished(*state);
    co_return true;
}

QCoro::Task<bool> AgentRuntime::askApproval(std::shared_ptr<RunState> state, model::PendingApproval approval)
{
    if (!m_onPendingApproval || state->cancelled())
        co_return false;
    platform::OneShot<bool> answer;
    // A stop answers false at once, whatever the asked side does later.
    const QMetaObject::Connection onStop = connect(state->cancellation.get(), &RunCancellation::cancelled,
                                                   state->cancellation.get(), [answer] { answer.set(false); });
    forwardAnswer(m_onPendingApproval(state->request.runId, std::move(approval)), answer);
    const bool approved = co_await answer;
    disconnect(onStop);
    co_return approved && !state->cancelled();
}

} // namespace agent
