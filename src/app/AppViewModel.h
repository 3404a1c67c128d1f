#pragma once

#include "platform/OneShot.h"
#include "app/AppServices.h"
#include "app/LiveActivity.h"
#include "app/SettingsSection.h"
#include "model/ChatRecords.h"
#include "model/RunRecords.h"
#include "model/SettingsRecords.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace agent {
class AgentRuntime;
class PolicyEngine;
class ToolRouter;
class WorkspaceManager;
} // namespace agent
namespace model {
class ConversationStore;
class SettingsStore;
} // namespace model
namespace platform {
class DesktopServices;
}

namespace app {

class AccountController;

class MessageListModel;
class SessionFilterModel;
class SessionListModel;
class ToolLogModel;
struct ItemModels;

// The one application controller: owns the stores and the agent engine,
// turns user actions into agent runs, approvals and attachments, and holds
// the state the windows share. Main thread only.
//
// Every published field has its own change signal; views follow the item
// models and those signals, and read the stores held through their own
// notices. The streamed text is announced at most once per frame.
class AppViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString draft READ draft WRITE setDraft NOTIFY draftChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString streamingText READ streamingText NOTIFY streamingTextChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QList<model::ToolLogEntry> toolLog READ toolLog NOTIFY toolLogChanged)
    Q_PROPERTY(std::optional<model::PendingApproval> pendingApproval READ pendingApproval NOTIFY pendingApprovalChanged)
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY isAuthenticatedChanged)
    Q_PROPERTY(QString authStatusText READ authStatusText NOTIFY authStatusTextChanged)
    Q_PROPERTY(bool showSettings READ showSettings WRITE setShowSettings NOTIFY showSettingsChanged)
    Q_PROPERTY(bool showSidebar READ showSidebar WRITE setShowSidebar NOTIFY showSidebarChanged)
    Q_PROPERTY(bool showProjectPanel READ showProjectPanel WRITE setShowProjectPanel NOTIFY showProjectPanelChanged)
    Q_PROPERTY(bool showToolLog READ showToolLog WRITE setShowToolLog NOTIFY showToolLogChanged)
    Q_PROPERTY(bool projectPanelShown READ projectPanelShown NOTIFY shownPanelsChanged)
    Q_PROPERTY(bool toolLogShown READ toolLogShown NOTIFY shownPanelsChanged)
    Q_PROPERTY(bool showOnboarding READ showOnboarding WRITE setShowOnboarding NOTIFY showOnboardingChanged)
    Q_PROPERTY(bool showCommandPalette READ showCommandPalette WRITE setShowCommandPalette NOTIFY
                   showCommandPaletteChanged)
    Q_PROPERTY(QUuid fileTreeRefresh READ fileTreeRefresh WRITE setFileTreeRefresh NOTIFY fileTreeRefreshChanged)
    Q_PROPERTY(QString sessionSearch READ sessionSearch WRITE setSessionSearch NOTIFY sessionSearchChanged)
    Q_PROPERTY(QList<model::AttachedFile> attachments READ attachments NOTIFY attachmentsChanged)
    Q_PROPERTY(std::optional<model::PeekedFile> peekedFile READ peekedFile WRITE setPeekedFile NOTIFY peekedFileChanged)
    Q_PROPERTY(std::optional<QString> highlightedFilePath READ highlightedFilePath WRITE setHighlightedFilePath NOTIFY
                   highlightedFilePathChanged)
    Q_PROPERTY(std::optional<QUuid> runConversationID READ runConversationID NOTIFY isRunningChanged)

public:
    explicit AppViewModel(AppServices services, QObject *parent = nullptr);
    // Ends a live run without writing anything of it.
    ~AppViewModel() override;

    // Published fields.
    const QString &draft() const { return m_draft; }
    void setDraft(const QString &text);
    bool isRunning() const { return m_isRunning; }
    const QString &streamingText() const { return m_streamingText; }
    // The error the window shows now: one of the app's own, else the error
    // of the selected session's last run. A run's error belongs to its
    // session: it shows there (again when the session is selected again)
    // until it is dismissed or the session runs again.
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // A text: an error of the app's own. None: dismisses the error shown.
    void setErrorMessage(const std::optional<QString> &text);
    // The session whose run failed with the error shown; none for the app's own.
    const std::optional<QUuid> &errorConversationID() const { return m_errorConversationID; }
    // The error shown is the service's or the sign-in's refusal of the
    // credentials: running again cannot help until the person signs in.
    bool errorWantsSignIn() const { return m_errorWantsSignIn; }
    const QList<model::ToolLogEntry> &toolLog() const { return m_toolLog; }
    const std::optional<model::PendingApproval> &pendingApproval() const { return m_pendingApproval; }
    bool isAuthenticated() const { return m_isAuthenticated; }
    const QString &authStatusText() const { return m_authStatusText; }
    bool showSettings() const { return m_showSettings; }
    void setShowSettings(bool on);
    // Raises showSettings, asking the window to scroll to a section.
    void openSettings(std::optional<SettingsSection> section);
    // The section the last request asked for, once.
    std::optional<SettingsSection> takeSettingsSection() { return std::exchange(m_settingsSection, std::nullopt); }
    bool showSidebar() const { return m_showSidebar; }
    void setShowSidebar(bool on);
    bool showProjectPanel() const { return m_showProjectPanel; }
    void setShowProjectPanel(bool on);
    bool showToolLog() const { return m_showToolLog; }
    void setShowToolLog(bool on);
    // What shows of the two: one kept open may stand aside for a narrow
    // chat (the window says which). Labels and toggles follow these.
    bool projectPanelShown() const { return m_showProjectPanel && !m_projectPanelAside; }
    bool toolLogShown() const { return m_showToolLog && !m_toolLogAside; }
    void setPanelsAside(bool projectPanel, bool toolLog);
    // The Files and Tools commands act on what shows: a panel that shows
    // closes; one that does not opens, or comes forward where it stood
    // aside (fileTreeRequested, toolLogRequested), the stored choices kept.
    void toggleProjectPanel();
    void toggleToolLog();
    bool showOnboarding() const { return m_showOnboarding; }
    void setShowOnboarding(bool on);
    bool showCommandPalette() const { return m_showCommandPalette; }
    void setShowCommandPalette(bool on);
    QUuid fileTreeRefresh() const { return m_fileTreeRefresh; }
    void setFileTreeRefresh(const QUuid &id);
    const QString &sessionSearch() const { return m_sessionSearch; }
    void setSessionSearch(const QString &text);
    const QList<model::AttachedFile> &attachments() const { return m_attachments; }
    const std::optional<model::PeekedFile> &peekedFile() const { return m_peekedFile; }
    void setPeekedFile(const std::optional<model::PeekedFile> &file);
    const std::optional<QString> &highlightedFilePath() const { return m_highlightedFilePath; }
    void setHighlightedFilePath(const std::optional<QString> &path);
    // The session the live run belongs to; its live reply and approval card
    // are shown only there.
    std::optional<QUuid> runConversationID() const;

    // Owned components.
    model::ConversationStore &conversations() const { return *m_conversations; }
    // False while the conversation history is still being read.
    bool isHistoryLoaded() const;
    model::SettingsStore &settingsStore() const { return *m_settingsStore; }
    agent::WorkspaceManager &workspace() const { return *m_workspace; }
    stage::BackgroundSettings &background() const { return *m_background; }
    bool allowsWritesForCurrentChat() const;

    // The lists the views show, as item models owned here.
    SessionListModel &sessionModel() const;
    SessionFilterModel &sessionFilter() const;
    SessionFilterModel &archivedFilter() const;
    MessageListModel &messageModel() const;
    ToolLogModel &toolLogModel() const;

    // Sign-in and the API key as the settings window shows them (made on
    // first use, on the services' sign-in object).
    AccountController &account();
    // Copies the sign-in state into isAuthenticated and authStatusText now.
    void refreshSignIn();

    // Sessions and the tool guard.
    void newChat();
    void setToolGuard(model::ToolGuardMode mode);

    // Runs and approvals.
    void send();
    void stop();
    // Ends the live run as stop() does and returns once every run's steps
    // have returned, or after `within` when one never answers. The app
    // quits only then: a step left waiting when the event loop ends is never
    // resumed, and keeps the prompt and the stream state it holds.
    QCoro::Task<> endRuns(std::chrono::milliseconds within);
    // Sends the last user message of a session again (the selected one when
    // none is named; a named one is selected first). False when nothing
    // was sent: a run is in flight, or there is nothing to send.
    bool retryLastExchange(std::optional<QUuid> conversationID = std::nullopt);
    void resolveApproval(bool approved, bool allowWritesForChat);
    LiveActivity liveActivity() const;

    static QString composeUserMessage(const QString &draft, const QList<model::AttachedFile> &attachments,
                                      bool inlineImages);

    // Attachments, peeking and small file actions.
    bool attachFile(const QUrl &url);
    bool attachImageData(const QByteArray &data, const QString &suggestedName);
    // The same with the staging on a worker, for drops: staging a large
    // photo takes a good part of a second. Calls are taken one at a time,
    // in call order; each ends as the one above would.
    QCoro::Task<bool> attachFileAsync(QUrl url);
    QCoro::Task<bool> attachImageDataAsync(QByteArray data, QString suggestedName);
    void removeAttachment(const QUuid &id);
    void clearAttachments();
    void peekFile(const QUrl &url);
    std::optional<QString> relativePath(const QUrl &url) const;
    static std::optional<QString> extractPath(const QString &toolName, const QString &argumentsPreview);
    void copyMessage(const QString &text);

    // The project folder as the panels see it.
    QString projectRootPath() const;
    // The file tree's attach: refused (with the error text) when the file's
    // real path lies outside the project, so a link to a secret is never sent.
    bool attachProjectFile(const QString &path);
    // The tool log's attach: a path resolving inside the project is
    // attached, anything else is revealed instead.
    void attachLoggedPath(const QString &pathOrRelative);
    // Shows the file selected in the file manager.
    void revealInFinder(const QString &path);
    // The desktop for the window's views (links, the About panel): what it
    // cannot start is told through errorMessage, with what to copy.
    platform::DesktopServices &tellingDesktop();
    // Opens the tip link in the browser; a browser that cannot open it is
    // told through errorMessage.
    void openTipJar();

    // The project folder and the session file.
    // Asks for a project folder; the file tree reloads also when cancelled.
    QCoro::Task<> pickProjectFolder();
    void revealProjectInFinder();
    QCoro::Task<> openProjectInTerminal();
    // Opens the file tree on the path and peeks it; fileTreeRequested tells
    // the window the person asked for the tree, so it shows even where room
    // is short.
    void revealInFileTree(const QString &pathOrRelative);
    // Writes the selected session as Markdown where the user chooses;
    // a failure is shown through errorMessage.
    QCoro::Task<> exportSelectedSession();

    // The sidebar's session actions (AppViewModelSessions.cpp), each one
    // call into the conversation store; an unknown id changes nothing.
    void selectSession(const QUuid &id);
    void togglePinSession(const QUuid &id);
    // Flips only the flag: the session keeps its date and its place.
    void setSessionUnread(const QUuid &id, bool unread);
    void renameSession(const QUuid &id, const QString &title);
    void forkSession(const QUuid &id);
    void archiveSession(const QUuid &id);
    void unarchiveSession(const QUuid &id);
    void deleteSession(const QUuid &id);
    // Selects the session (it stays selected), then exports it.
    QCoro::Task<> exportSession(const QUuid &id);
    // The signed-in session's e-mail, when it has one.
    std::optional<QString> accountEmail();
    // Onboarding done: the flag is saved, the sheet goes, and with
    // openSettings the settings window opens after that.
    void completeOnboarding(bool openSettings);

    // Dictation into the draft (AppViewModelDictation.cpp).
    bool isDictating() const;
    // The microphone: stops a session, or starts one from the draft as
    // draftNow reads it (the controller's draft when not given); a result is
    // written only while the draft is still what dictation last wrote. One
    // turn later a failure of the tap becomes errorMessage.
    void toggleDictation(std::function<QString()> draftNow = {});
    void stopDictation();

signals:
    // The person started a new session (not a store making one of its own).
    void newChatStarted();
    void draftChanged();
    void isRunningChanged();
    void streamingTextChanged();
    void errorMessageChanged();
    void toolLogChanged();
    void pendingApprovalChanged();
    void isAuthenticatedChanged();
    void authStatusTextChanged();
    void showSettingsChanged();
    void showSidebarChanged();
    void showProjectPanelChanged();
    void showToolLogChanged();
    void showOnboardingChanged();
    void showCommandPaletteChanged();
    void fileTreeRefreshChanged();
    void sessionSearchChanged();
    void attachmentsChanged();
    void peekedFileChanged();
    void highlightedFilePathChanged();
    void fileTreeRequested();
    void toolLogRequested();
    void shownPanelsChanged();
    void projectRootChanged();
    void isDictatingChanged();
    // The conversation history read in the background has arrived.
    void historyLoaded();

private:
    // The run in flight: what it may still write, and where.
    struct ActiveRun {
        QUuid id;
        QUuid conversationID;
        // Messages the runtime was given, system messages left out.
        qsizetype historySize = 0;
        // The last report of finished steps (history included); empty: none yet.
        QList<model::ChatMessage> finished;
        // How much of streamingText those steps already hold.
        qsizetype streamedInFinished = 0;
        // The tool call running now, answered in `finished` by a stand-in
        // result (its message id) until its real one comes.
        struct CutCall {
            QUuid resultMessageID;
            QString callID;
        };
        std::optional<CutCall> running;
    };
    // A stopped run whose cut-off tool call still waits for its real result.
    struct Settling {
        QUuid conversationID;
        ActiveRun::CutCall call;
        platform::OneShot<bool> done;
    };

    void wireRuntime();
    void wireDictation();
    dictation::SpeechCapture &speech() const;
    void wireItemModels();
    void refreshMessageRows();
    void refreshLiveRows();
    void mirrorSignIn();
    // A run's error, kept with its session (none: cleared).
    struct RunError {
        QString text;
        bool wantsSignIn = false;
    };
    void setRunError(const QUuid &conversationID, const std::optional<RunError> &error);
    // errorMessage and errorConversationID from the errors held and the selection.
    void refreshErrorMessage();
    void dropErrorsOfDeletedSessions();
    void setIsRunning(bool on);
    void setStreamingText(const QString &text);
    void setPendingApproval(const std::optional<model::PendingApproval> &approval);
    void setIsAuthenticated(bool on);
    void setAuthStatusText(const QString &text);
    void setAttachments(const QList<model::AttachedFile> &list);
    template <typename T>
    void assign(T &field, const T &value, void (AppViewModel::*signal)());
    std::pair<bool, bool> shownPanels() const { return {projectPanelShown(), toolLogShown()}; }
    void noteShownPanels(std::pair<bool, bool> before);

    // The model's form of a message with inline images, still to be
    // composed: the staged bytes are read at send(), before their files are
    // deleted; encoding them is left to a worker.
    struct PendingModelText {
        QString draft;
        QList<model::AttachedFile> attachments;
        QHash<QUrl, QByteArray> stagedBytes;
    };
    static QString composeForModel(const PendingModelText &pending);

    // Run steps.
    bool isCurrent(const QUuid &runId) const { return m_run && m_run->id == runId; }
    // With a pending model text, apiText is composed from it first.
    void startRun(const QString &storedText, const QString &apiText, std::optional<PendingModelText> pending);
    QCoro::Task<> runTask(QUuid runId, QUuid conversationID, QString storedText, QString apiText,
                          std::optional<PendingModelText> pending);
    QCoro::Task<bool> askApproval(QUuid runId, model::PendingApproval approval);
    void onToolLog(const QUuid &runId, const model::ToolLogEntry &entry);
    void onStreamDelta(const QUuid &runId, const QString &fragment);
    void onRoundCompleted(const QUuid &runId, const QList<model::ChatMessage> &messagesSoFar);
    void onCallStarted(const QUuid &runId, const QList<model::ChatMessage> &ifStoppedNow);
    // Puts the real result of a stopped run's cut-off call in place of its
    // stand-in, once the call has ended.
    void settleStopped(const QUuid &runId, const QList<model::ChatMessage> &runMessages);
    void onConversationsChanged();
    // Set once the stopped run in that session that still settles is done.
    std::optional<platform::OneShot<bool>> settlingIn(const QUuid &conversationID) const;
    void finishRun(const QUuid &runId);
    void runTaskEnded();
    // Stores what a run ending early had done: its finished steps, then the
    // text streamed after them (with the suffix); false when no text was left.
    bool keepPartial(const ActiveRun &run, const QList<model::ChatMessage> &finished, const QString &unfinished,
                     const QString &suffix);
    void answerPendingApproval(bool approved);
    void onSelectionChanged();

    qint64 attachedBytes() const;
    // Where a file to attach is taken from and the name shown for it; none
    // when it is attached already.
    struct AttachTarget {
        QUrl file;
        QString displayPath;
    };
    std::optional<AttachTarget> attachTarget(const QUrl &url) const;
    bool isImageAttached(const QByteArray &hash) const;
    void appendAttachment(const model::AttachedFile &file, const QByteArray &imageHash);
    // Whether what was staged against `count` attachments of `total` bytes
    // still fits now and its staged copy is still there.
    bool stagedStillFits(const model::StagedAttachment &staged, qint64 count, qint64 total) const;
    // Taken by each attach on a worker; set when it ends, letting the next go.
    platform::OneShot<bool> takeAttachTurn(std::optional<platform::OneShot<bool>> &previous);
    model::AttachmentTempStore &staging() const { return *m_staging; }
    platform::DesktopServices &desktop() const;
    std::unique_ptr<platform::DesktopServices> m_tellingDesktop;

    // Published fields, in this order.
    QString m_draft;
    bool m_isRunning = false;
    QString m_streamingText;
    std::optional<QString> m_errorMessage;
    QList<model::ToolLogEntry> m_toolLog;
    std::optional<model::PendingApproval> m_pendingApproval;
    bool m_isAuthenticated = false;
    QString m_authStatusText = QStringLiteral("Not signed in");
    bool m_showSettings = false;
    bool m_showSidebar = true;
    bool m_showProjectPanel = false;
    bool m_showToolLog = false;
    bool m_projectPanelAside = false;
    bool m_toolLogAside = false;
    bool m_showOnboarding = false;
    bool m_showCommandPalette = false;
    QUuid m_fileTreeRefresh = QUuid::createUuid();
    QString m_sessionSearch;
    QList<model::AttachedFile> m_attachments;
    std::optional<model::PeekedFile> m_peekedFile;
    std::optional<QString> m_highlightedFilePath;

    // Services and owned components; the runtime last, so it goes first.
    AppServices m_services;
    model::AttachmentTempStore *m_staging = nullptr;
    stage::BackgroundSettings *m_background = nullptr;
    std::unique_ptr<model::ConversationStore> m_conversations;
    bool m_sendWhenLoaded = false;
    std::unique_ptr<model::SettingsStore> m_settingsStore;
    std::unique_ptr<agent::WorkspaceManager> m_workspace;
    std::unique_ptr<agent::PolicyEngine> m_policy;
    std::unique_ptr<agent::ToolRouter> m_tools;
    std::unique_ptr<agent::AgentRuntime> m_runtime;
    AccountController *m_account = nullptr; // a child, made by account()

    // Errors: the app's own, and each session's last run's.
    std::optional<QString> m_appError;
    QHash<QUuid, RunError> m_runErrors;
    std::optional<QUuid> m_errorConversationID;
    bool m_errorWantsSignIn = false;
    std::optional<SettingsSection> m_settingsSection;

    // Run state.
    std::optional<ActiveRun> m_run;
    std::optional<platform::OneShot<bool>> m_approvalAnswer;
    QHash<QUuid, Settling> m_settling; // by run id
    // Run tasks whose frames still live, and who waits for them to end.
    int m_runTasks = 0;
    QList<platform::OneShot<bool>> m_runTasksEnded;
    std::optional<QUuid> m_lastSelection;
    // Content hashes of dropped images, by attachment id.
    QHash<QUuid, QByteArray> m_imageHashes;
    std::optional<platform::OneShot<bool>> m_attachTail;
    // Last, so the views' models go before what they read.
    std::unique_ptr<ItemModels> m_itemModels;
};

} // namespace app
