#pragma once

#include "chat/transcript/ApprovalCard.h"
#include "chat/transcript/MessageRowContext.h"
#include "glass/controls/FocusInView.h"
#include "model/ChatRecords.h"
#include "model/RunRecords.h"

#include <QAbstractScrollArea>
#include <QDeadlineTimer>
#include <QHash>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <vector>

class QTimer;
class QVariantAnimation;

namespace app {
class MessageListModel;
}

namespace chat {

class LiveAssistantBlock;
class MarkdownTextView;
class MessageRow;

// The conversation column: the welcome slot, finished rows, the live reply
// and the approval card, read from the message list model. Only the rows
// near the viewport exist as widgets, taken from a small pool as the user
// scrolls; a row's height is kept per (message id, width) once measured and
// estimated from its text before. Hover and "copied" are kept per message
// id, never in a reused widget.
class TranscriptView : public QAbstractScrollArea, public glass::RevealsControls {
    Q_OBJECT
public:
    static constexpr int kColumnMaxWidth = 720;
    static constexpr int kSideMargin = 50;
    static constexpr int kTopMargin = 36;
    static constexpr int kBottomMargin = 12;
    static constexpr int kSpacing = 34;
    static constexpr int kBottomSpacer = 8;
    static constexpr int kOverscan = 240;
    // Past the overscan, in the direction the list was last scrolled: rows
    // bound there once the scrolling rests, so that the next step finds
    // them laid out instead of laying them out before its frame.
    static constexpr int kAhead = 360;
    static constexpr int kAheadDelayMs = 30;
    // A finished reply gliding from where its live block showed its words.
    static constexpr int kArrivalMs = 220;

    explicit TranscriptView(MessageRowContext context, QWidget *parent = nullptr);
    ~TranscriptView() override;

    void setModel(app::MessageListModel *model);
    // No finished-turn chrome while a run is in flight; no welcome card in
    // the session it runs in (an empty session elsewhere keeps its card).
    // A run without a known session counts as this one's.
    void setRunning(bool running, std::optional<QUuid> runConversation = std::nullopt);
    // No welcome card while the history is still on its way: it is not an
    // empty conversation, only one not yet shown.
    void setWaitingForHistory(bool waiting);
    // Room kept free under the content for what overlays the list's bottom.
    void setBottomInset(int inset);
    // Rows are drawn down to this line (in the list's coordinates) and no
    // further: what lies below is the composer's.
    void setShownBottom(int y);
    int bottomInset() const { return m_bottomInset; }

    using CopyAction = std::function<void(const model::ChatMessage &)>;
    void setActions(CopyAction onCopy, std::function<void()> onRetry);
    using ApprovalAnswer = std::function<void(const QString &approvalID, bool approved, bool allowWrites)>;
    void setApprovalAnswer(ApprovalAnswer answer);

    // Shown instead of a conversation while nothing is listed and no run
    // goes on in it. It holds nothing until the welcome card is put into its layout.
    QWidget *welcomeSlot() const { return m_welcome; }
    bool showsWelcome() const;

    // A row's control the keyboard reached (Copy, Retry) comes into view,
    // clear of the composer.
    void revealControl(QWidget *control) override;

    // Goes to the bottom and follows it from there on.
    void scrollToBottom(bool animated);
    // Goes to the bottom only while the list follows it: a person who
    // scrolled up to read stays where they are until they scroll down again.
    void followBottom(bool animated);
    bool isFollowingBottom() const { return m_followBottom; }
    bool isAtBottom() const;
    // The animated move to the bottom is under way.
    bool isMovingToBottom() const;
    bool lastMessageIsFromUser() const;
    int visibleMessageCount() const { return m_messageCount; }
    std::optional<QUuid> conversationID() const { return m_conversation; }

    // What exists now (for the pane, tests and the benchmark).
    int rowWidgetCount() const; // message rows alive, bound or pooled
    MessageRow *rowFor(const QUuid &id) const;
    LiveAssistantBlock *liveBlock() const { return m_live; }
    ApprovalCard *approvalCard() const { return m_card; }
    int columnWidth() const;
    // Where an item lies in content coordinates (by message id or the
    // model's live/approval row id); null when it is not listed.
    QRect itemRect(const QUuid &id) const;
    // The column widths measured heights are kept for, ascending (at most
    // kHeightWidths of them).
    QList<int> keptHeightWidths() const;
    // A window resized, or panels shown and hidden, passes many widths:
    // heights are kept for the last few only.
    static constexpr int kHeightWidths = 4;

    // What a screen reader lists, in screen order (rows not bound included).
    enum class Kind { Message, Live, Approval };
    int itemCount() const { return int(m_items.size()); }
    Kind itemKind(int index) const { return m_items[size_t(index)].kind; }
    QUuid itemId(int index) const { return m_items[size_t(index)].id; }
    const model::ChatMessage &itemMessage(int index) const { return m_items[size_t(index)].message; }
    int itemIndex(const QUuid &id) const { return m_indexOf.value(id, -1); }
    // The message a bound row shows; the messages of the rows bound.
    QUuid messageOf(const MessageRow *row) const;
    QList<QUuid> boundMessages() const { return m_bound.keys(); }
    // Where an item lies on the screen, and whether any of it is in view.
    QRect itemScreenRect(int index) const;
    bool itemInView(int index) const;
    void openLink(const QUrl &url) const;

signals:
    // A new approval card is up (the keyboard decides whether it goes there).
    void approvalCardShown(ApprovalCard *card);
    // A message row appeared or went (not the live or approval rows).
    void messageCountChanged();
    // Another conversation is shown.
    void conversationSwitched();
    // Only while a screen reader is active: the items listed changed; the
    // list was laid out or scrolled (messages may have come into view).
    void readerItemsChanged();
    void readerViewMoved();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Item {
        Kind kind = Kind::Message;
        QUuid id;
        model::ChatMessage message;
        size_t contentKey = 0;
        int height = 0;
        bool measured = false;
    };
    struct HeightKey {
        QUuid id;
        int width = 0;
        friend bool operator==(const HeightKey &, const HeightKey &) = default;
        friend size_t qHash(const HeightKey &k, size_t seed = 0) { return qHashMulti(seed, k.id, k.width); }
    };
    struct CachedHeight {
        size_t contentKey = 0;
        int height = 0;
    };

    struct Anchor {
        QUuid id;
        int delta = 0;
    };
    Anchor captureAnchor() const;
    void glideIn(const Anchor &wanted);
    // A text selection dragged past the list's top or bottom edge scrolls
    // it, faster the further past, as far as that text reaches.
    void watchSelectionDrags(QWidget *text);
    void scrollForSelection();
    bool materialize(int value);
    void bindAhead();
    void reload();
    void onDataChanged(const QModelIndex &from, const QModelIndex &to);
    void syncSingletons();
    void relayout();
    void place();
    int estimate(const Item &item, int width) const;
    void recomputeOffsets();
    void applyHeights(int width);
    void forgetOldWidths(int width);
    bool finishedTurn(const Item &item) const;
    MessageRow *takeRow();
    void releaseRow(const QUuid &id);
    void bindRow(MessageRow *row, const Item &item);
    int measure(QWidget *w, int width);
    static size_t keyOf(const model::ChatMessage &message);

    MessageRowContext m_context;
    QPointer<app::MessageListModel> m_model;
    std::vector<Item> m_items;
    std::vector<int> m_tops;
    QHash<QUuid, int> m_indexOf;
    QHash<HeightKey, CachedHeight> m_heights;
    std::vector<int> m_heightWidths; // the widths m_heights holds, the latest first
    QHash<QUuid, MessageRow *> m_bound;
    QHash<MessageRow *, QUuid> m_rowMessage;
    QHash<MessageRow *, size_t> m_rowKey;
    QHash<MessageRow *, bool> m_rowFinished;
    std::vector<MessageRow *> m_pool;
    QHash<QUuid, QDeadlineTimer> m_copiedUntil;
    QUuid m_hovered;
    QUuid m_lastAssistant;
    std::optional<QUuid> m_conversation;
    int m_messageCount = 0;
    bool m_running = false;
    std::optional<QUuid> m_runConversation;
    bool m_waitingForHistory = false;
    int m_bottomInset = 0;
    int m_contentHeight = 0;
    int m_welcomeHeight = 0;
    int m_layoutWidth = 0;
    bool m_placing = false;
    bool m_followBottom = true;
    std::optional<Anchor> m_anchor;
    // The next layout keeps the anchor even while the bottom is followed.
    bool m_anchorOverFollow = false;
    // Where the viewport's top stood in the window at the last resize.
    std::optional<int> m_windowTop;
    std::optional<int> m_shownBottom;
    void applyShownBottom();
    CopyAction m_onCopy;
    std::function<void()> m_onRetry;
    ApprovalAnswer m_answer;

    QWidget *m_shownArea = nullptr; // the rows' parent, above the composer
    QWidget *m_welcome = nullptr;
    LiveAssistantBlock *m_live = nullptr;
    QPointer<ApprovalCard> m_card;
    QVariantAnimation *m_scroll = nullptr;
    // A finished reply whose words could not be kept where the live block
    // showed them (the list too short to scroll there) glides from there.
    QVariantAnimation *m_arrival = nullptr;
    QUuid m_arriving;
    int m_arrivalOffset = 0;
    QTimer *m_edgeScroll = nullptr;
    QTimer *m_ahead = nullptr;
    int m_aheadDirection = 0; // -1 up, 1 down, 0 not scrolled
    bool m_bindingAhead = false;
    QPointer<MarkdownTextView> m_dragText;
    QPointF m_dragPointer; // global
};

} // namespace chat
