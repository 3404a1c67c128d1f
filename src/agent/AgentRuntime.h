#pragma once

#include "agent/stream/OVUClient.h"
#include "agent/stream/OVUClientError.h"
#include "model/ChatRecords.h"
#include "model/RunRecords.h"
#include "platform/Result.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace agent {

class PolicyEngine;
struct PreparedCall;
class RunCancellation;
class ToolRouter;

// What one run is given.
struct RunRequest {
    QUuid runId; // the caller's identifier; every callback of the run carries it
    QString bearerToken;
    QString model;
    std::optional<QString> workspacePath; // absent or empty: no project open
    QList<model::ChatMessage> history;    // oldest first, ending with the user's new message
    qint64 maxIterations = 25;            // model turns at most; below 0 counts as 0
};

// Why a run ended early, and what it had done by then, so a stopped or
// failed run never loses an action that really happened.
struct RunFailure {
    OVUClientError error;
    // The history without system messages, then every finished step of the
    // run: whole rounds, and of the round in hand the assistant turn with
    // just the calls that got their result (and those results).
    QList<model::ChatMessage> messages;
    // Text the model streamed in a turn that is not part of `messages`.
    QString unfinishedText;

    bool isCancellation() const { return error.isCancellation(); }
};

using RunResult = platform::Result<QList<model::ChatMessage>, RunFailure>;

// Carries out agent runs: sends the conversation to the model, lets it call
// tools through the tool guard, feeds the results back, and repeats until
// the model answers without tools or the iteration limit is reached.
//
// A run is one coroutine on the main thread. It suspends on the stream, on an
// approval and on a shell command; cancel() reaches all three at once. The
// runtime may be destroyed during a run, also from inside one of its
// handlers: the run then ends as cancelled and touches nothing of the
// runtime. The tool router and the policy must outlive the runtime.
class AgentRuntime : public QObject {
    Q_OBJECT
public:
    using ToolLogHandler = std::function<void(const QUuid &runId, const model::ToolLogEntry &entry)>;
    using StreamDeltaHandler = std::function<void(const QUuid &runId, const QString &fragment)>;
    // Answers true to let the call run. Parameters by value: the answer may
    // come much later.
    using ApprovalHandler = std::function<QCoro::Task<bool>(QUuid runId, model::PendingApproval approval)>;
    // What the run has finished so far, as a failure at this moment would
    // carry it: the history without system messages, whole rounds, and of
    // the round in hand the turn with just its answered calls and their
    // results. Lets a caller that stops the run keep those at once.
    using RoundCompletedHandler =
        std::function<void(const QUuid &runId, const QList<model::ChatMessage> &messagesSoFar)>;
    // What a stop would leave as a tool call starts running: the finished
    // steps, then the turn with its answered calls and this one, answered by
    // stoppedCallText() until its real result comes. A started call may
    // have changed files, so a stop must not forget it.
    using CallStartedHandler =
        std::function<void(const QUuid &runId, const QList<model::ChatMessage> &ifStoppedNow)>;

    static constexpr qsizetype kArgumentsPreviewCap = 500;
    static constexpr qsizetype kResultPreviewCap = 2'000;

    static QString iterationLimitText();
    static QString userDeniedText();     // the tool message of a denied call
    static QString deniedByUserPreview(); // the log's result preview of a denied call
    // The result a running call ends with when its run is stopped (what the
    // tool router answers a cancelled command).
    static QString stoppedCallText();

    AgentRuntime(ToolRouter &tools, PolicyEngine &policy, QNetworkAccessManager &network, QUrl endpoint,
                 QObject *parent = nullptr);
    // With the process-wide network and the service's endpoint.
    AgentRuntime(ToolRouter &tools, PolicyEngine &policy, QObject *parent = nullptr);
    // Cancels every live run.
    ~AgentRuntime() override;

    OVUClient &client() { return *m_client; }

    // Installed once, before the first run.
    void setOnToolLog(ToolLogHandler handler) { m_onToolLog = std::move(handler); }
    void setOnStreamDelta(StreamDeltaHandler handler) { m_onStreamDelta = std::move(handler); }
    void setOnPendingApproval(ApprovalHandler handler) { m_onPendingApproval = std::move(handler); }
    // Called after each tool result is added.
    void setOnRoundCompleted(RoundCompletedHandler handler) { m_onRoundCompleted = std::move(handler); }
    // Called right before a tool call is carried out.
    void setOnCallStarted(CallStartedHandler handler) { m_onCallStarted = std::move(handler); }

    // Returns the history without system messages, followed by every message
    // the run added.
    QCoro::Task<RunResult> run(RunRequest request);

    // Stops a live run: aborts its stream, answers its waiting approval with
    // false and ends its running shell command. Unknown ids are ignored.
    void cancel(const QUuid &runId);
    void cancelAll();
    bool isRunning(const QUuid &runId) const { return m_runs.contains(runId); }

private:
    struct RunState;
    QCoro::Task<RunResult> runRounds(std::shared_ptr<RunState> state);
    // Decides, asks about and carries out one call of the turn in hand, and
    // appends its tool message. False: the run ends as cancelled, and the
    // runtime may be gone.
    QCoro::Task<bool> takeUp(std::shared_ptr<RunState> state, PreparedCall call);
    QCoro::Task<bool> askApproval(std::shared_ptr<RunState> state, model::PendingApproval approval);
    void reportFinished(const RunState &state) const;
    void reportStarted(const RunState &state, const QString &callId) const;
    void log(const RunState &state, const QUuid &logId, const QString &name, const QString &argumentsPreview,
             model::ToolLogEntry::Status status, const QString &resultPreview) const;

    QPointer<ToolRouter> m_tools;
    PolicyEngine &m_policy;
    OVUClient *m_client;
    ToolLogHandler m_onToolLog;
    StreamDeltaHandler m_onStreamDelta;
    ApprovalHandler m_onPendingApproval;
    RoundCompletedHandler m_onRoundCompleted;
    CallStartedHandler m_onCallStarted;
    QHash<QUuid, std::shared_ptr<RunCancellation>> m_runs;
};

} // namespace agent
