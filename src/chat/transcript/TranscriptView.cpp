#include "chat/transcript/TranscriptView.h"

#include "app/MessageListModel.h"
#include "chat/transcript/ApprovalCard.h"
#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/TurnFade.h"
#include "glass/paint/BackdropSheet.h"
#include "glass/look/Motion.h"
#include "platform/DesktopServices.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace chat {

namespace {

using Model = app::MessageListModel;
constexpr int kCopiedMs = 1200;
// Pooled rows kept beyond those in view.
constexpr size_t kPoolSpare = 6;

} // namespace

TranscriptView::TranscriptView(MessageRowContext context, QWidget *parent)
    : QAbstractScrollArea(parent), m_context(context)
{
    // The rows and the live block share one fade of the bubbles.
    if (!m_context.fade)
        m_context.fade = new TurnFade(context.styles, context.background, this);
    setFrameShape(QFrame::NoFrame);
    // The keyboard stays in the composer (or on a card); the list scrolls by wheel and bar.
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QStringLiteral("Conversation"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    // A scroll area's viewport takes the Base role, and its children would
    // then draw labels in the Text colour instead of the WindowText their
    // rows set (dark status text on the live block's glass in light skins).
    viewport()->setBackgroundRole(QPalette::Window);
    verticalScrollBar()->setSingleStep(40);
    // The bubbles copy their glass from one backdrop behind the whole list.
    new glass::BackdropSheet(viewport());
    // The rows live in an area ending where the composer begins: a row
    // moved by a scroll step then marks nothing under the composer for
    // repainting (Qt clips a moved child's area to its parents' rects, not
    // to the viewport's mask), so the composer is not drawn again each step.
    m_shownArea = new QWidget(viewport());
    m_shownArea->setObjectName(QStringLiteral("shownArea"));
    m_shownArea->setBackgroundRole(QPalette::Window);
    m_shownArea->installEventFilter(this);

    m_welcome = new QWidget(m_shownArea);
    m_welcome->setObjectName(QStringLiteral("welcomeSlot"));
    auto *welcomeLayout = new QVBoxLayout(m_welcome);
    welcomeLayout->setContentsMargins(0, 0, 0, 0);
    m_welcome->installEventFilter(this);
    m_welcome->hide();

    m_scroll = new QVariantAnimation(this);
    m_scroll->setObjectName(QStringLiteral("bottomGlide"));
    m_scroll->setDuration(180);
    m_scroll->setEasingCurve(QEasingCurve::OutCubic);
    // Only while gliding: a stopped glide given new ends reports a value
    // too (where it stopped), which is not a scroll.
    connect(m_scroll, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        if (m_scroll->state() == QAbstractAnimation::Running)
            verticalScrollBar()->setValue(v.toInt());
    });
    connect(m_scroll, &QVariantAnimation::finished, this, [this] {
        // The content may have grown meanwhile: end on the real bottom.
        m_followBottom = true;
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    });
    m_arrival = new QVariantAnimation(this);
    m_arrival->setObjectName(QStringLiteral("replyArrival"));
    m_arrival->setEasingCurve(glass::Motion::easeOut());
    connect(m_arrival, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_arrivalOffset = v.toInt();
        place();
    });
    connect(m_arrival, &QVariantAnimation::finished, this, [this] {
        m_arrivalOffset = 0;
        m_arriving = {};
        place();
    });
    m_edgeScroll = new QTimer(this);
    m_edgeScroll->setInterval(16);
    connect(m_edgeScroll, &QTimer::timeout, this, &TranscriptView::scrollForSelection);
    m_ahead = new QTimer(this);
    m_ahead->setSingleShot(true);
    m_ahead->setInterval(kAheadDelayMs);
    connect(m_ahead, &QTimer::timeout, this, &TranscriptView::bindAhead);
    // The person scrolling (wheel, keys, the bar) ends a glide: where they
    // scroll to decides whether the bottom is followed.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { m_scroll->stop(); });
}

TranscriptView::~TranscriptView() = default;

void TranscriptView::revealControl(QWidget *control)
{
    if (!m_shownArea->isAncestorOf(control))
        return;
    const int margin = 24;
    const QRect at(control->mapTo(viewport(), QPoint(0, 0)), control->size());
    // What lies under the composer is not in view.
    const int top = 0;
    const int bottom = qMin(viewport()->height(), m_shownBottom ? *m_shownBottom - viewport()->y() : viewport()->height());
    int delta = 0;
    if (at.top() - margin < top)
        delta = at.top() - margin - top;
    else if (at.bottom() + margin > bottom)
        delta = qMin(at.bottom() + margin - bottom, at.top() - margin - top);
    if (delta == 0)
        return;
    m_scroll->stop();
    verticalScrollBar()->setValue(verticalScrollBar()->value() + delta);
}

void TranscriptView::setModel(app::MessageListModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (model) {
        connect(model, &QAbstractItemModel::modelReset, this, &TranscriptView::reload);
        connect(model, &QAbstractItemModel::rowsInserted, this, &TranscriptView::reload);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &TranscriptView::reload);
        connect(model, &QAbstractItemModel::rowsMoved, this, &TranscriptView::reload);
        connect(model, &QAbstractItemModel::layoutChanged, this, &TranscriptView::reload);
        connect(model, &QAbstractItemModel::dataChanged, this, &TranscriptView::onDataChanged);
    }
    reload();
}

void TranscriptView::setRunning(bool running, std::optional<QUuid> runConversation)
{
    if (!running)
        runConversation.reset();
    if (m_running == running && m_runConversation == runConversation)
        return;
    m_running = running;
    m_runConversation = runConversation;
    m_anchor = captureAnchor();
    relayout();
}

void TranscriptView::setWaitingForHistory(bool waiting)
{
    if (m_waitingForHistory == waiting)
        return;
    m_waitingForHistory = waiting;
    relayout();
}

void TranscriptView::setBottomInset(int inset)
{
    if (m_bottomInset == inset)
        return;
    m_bottomInset = inset;
    relayout();
}

void TranscriptView::setShownBottom(int y)
{
    if (m_shownBottom == y)
        return;
    m_shownBottom = y;
    applyShownBottom();
}

void TranscriptView::applyShownBottom()
{
    const int bottom = m_shownBottom ? *m_shownBottom - viewport()->y() : viewport()->height();
    m_shownArea->setGeometry(0, 0, viewport()->width(), std::clamp(bottom, 0, viewport()->height()));
    if (!m_shownBottom)
        return;
    if (bottom >= viewport()->height())
        viewport()->clearMask();
    else
        viewport()->setMask(QRegion(0, 0, viewport()->width(), qMax(0, bottom)));
}

void TranscriptView::setActions(CopyAction onCopy, std::function<void()> onRetry)
{
    m_onCopy = std::move(onCopy);
    m_onRetry = std::move(onRetry);
}

void TranscriptView::setApprovalAnswer(ApprovalAnswer answer)
{
    m_answer = std::move(answer);
}

bool TranscriptView::showsWelcome() const
{
    const bool runsHere = m_running && (!m_runConversation || m_runConversation == m_conversation);
    return m_messageCount == 0 && !runsHere && !m_live && !m_waitingForHistory;
}

int TranscriptView::columnWidth() const
{
    return qBound(120, viewport()->width() - 2 * kSideMargin, kColumnMaxWidth);
}

bool TranscriptView::isAtBottom() const
{
    const QScrollBar *bar = verticalScrollBar();
    return bar->value() >= bar->maximum() - 2;
}

bool TranscriptView::isMovingToBottom() const
{
    return m_scroll->state() == QAbstractAnimation::Running;
}

void TranscriptView::scrollToBottom(bool animated)
{
    // Laid out where it stands: the move to the bottom starts from there.
    m_anchorOverFollow = true;
    relayout();
    m_anchorOverFollow = false;
    QScrollBar *bar = verticalScrollBar();
    m_scroll->stop();
    m_followBottom = true;
    if (!animated || bar->value() == bar->maximum() || !isVisible()) {
        bar->setValue(bar->maximum());
        return;
    }
    m_scroll->setStartValue(bar->value());
    m_scroll->setEndValue(bar->maximum());
    m_scroll->start();
}

void TranscriptView::followBottom(bool animated)
{
    // A glide to the bottom under way goes on to the new bottom.
    if (m_followBottom)
        scrollToBottom(animated || isMovingToBottom());
}

bool TranscriptView::lastMessageIsFromUser() const
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if (it->kind == Kind::Message)
            return it->message.role == model::MessageRole::User;
    return false;
}

int TranscriptView::rowWidgetCount() const
{
    return int(m_bound.size() + m_pool.size());
}

MessageRow *TranscriptView::rowFor(const QUuid &id) const
{
    return m_bound.value(id, nullptr);
}

QRect TranscriptView::itemRect(const QUuid &id) const
{
    const int i = m_indexOf.value(id, -1);
    if (i < 0 || size_t(i) >= m_tops.size())
        return {};
    const int w = columnWidth();
    return {(viewport()->width() - w) / 2, m_tops[size_t(i)], w, m_items[size_t(i)].height};
}

QUuid TranscriptView::messageOf(const MessageRow *row) const
{
    return m_rowMessage.value(const_cast<MessageRow *>(row));
}

QRect TranscriptView::itemScreenRect(int index) const
{
    if (index < 0 || size_t(index) >= m_tops.size())
        return {};
    const int w = columnWidth();
    const QPoint topLeft((viewport()->width() - w) / 2, m_tops[size_t(index)] - verticalScrollBar()->value());
    return {viewport()->mapToGlobal(topLeft), QSize(w, m_items[size_t(index)].height)};
}

bool TranscriptView::itemInView(int index) const
{
    if (index < 0 || size_t(index) >= m_tops.size() || !isVisible())
        return false;
    const int top = m_tops[size_t(index)] - verticalScrollBar()->value();
    return top < m_shownArea->height() && top + m_items[size_t(index)].height > 0;
}

void TranscriptView::openLink(const QUrl &url) const
{
    if (m_context.desktop)
        m_context.desktop->openUrl(url);
}

size_t TranscriptView::keyOf(const model::ChatMessage &message)
{
    size_t seed = qHashMulti(0, message.content, int(message.role));
    if (message.toolCalls) {
        for (const model::ToolCallRecord &call : *message.toolCalls)
            seed = qHashMulti(seed, call.name);
    }
    return seed;
}

bool TranscriptView::finishedTurn(const Item &item) const
{
    return !m_running && item.kind == Kind::Message && item.message.role == model::MessageRole::Assistant &&
           item.id == m_lastAssistant;
}

TranscriptView::Anchor TranscriptView::captureAnchor() const
{
    // The first item reaching into view, and where it stands on screen.
    const int value = verticalScrollBar()->value();
    if (m_tops.size() != m_items.size() || m_items.empty())
        return {};
    auto it = std::upper_bound(m_tops.begin(), m_tops.end(), value);
    size_t i = it == m_tops.begin() ? 0 : size_t(it - m_tops.begin()) - 1;
    if (m_tops[i] + m_items[i].height < value && i + 1 < m_items.size())
        ++i;
    return {m_items[i].id, m_tops[i] - value};
}

void TranscriptView::reload()
{
    if (!m_anchor)
        m_anchor = captureAnchor();
    const std::optional<QUuid> conversation = m_model ? m_model->conversationID() : std::nullopt;
    const bool switched = conversation != m_conversation;
    m_conversation = conversation;
    const int oldCount = m_messageCount;
    // A reader of the reply being written (it reaches the middle of the
    // view, or the view follows it at the bottom) keeps its text where it is
    // when it becomes a finished row; at the bottom the list then moves on
    // to the row's end, as it does for any new message.
    const bool liveOnScreen = m_live && m_live->geometry().bottom() >= 0 && m_live->y() < viewport()->height();
    const bool readingLive = liveOnScreen && (m_followBottom || m_live->y() <= viewport()->height() / 2);
    const int liveTextTop = readingLive ? m_live->y() + m_live->textView()->mapTo(m_live, QPoint(0, 0)).y() : 0;
    const QHash<QUuid, int> listedBefore = readingLive ? m_indexOf : QHash<QUuid, int>();

    std::vector<Item> items;
    const int rows = m_model ? m_model->rowCount() : 0;
    items.reserve(size_t(rows));
    m_lastAssistant = {};
    for (int r = 0; r < rows; ++r) {
        const QModelIndex index = m_model->index(r);
        Item item;
        const auto kind = index.data(Model::KindRole).value<Model::RowKind>();
        item.id = index.data(Model::IdRole).toUuid();
        if (kind == Model::RowKind::Message) {
            item.message = index.data(Model::MessageRole).value<model::ChatMessage>();
            // System and tool messages are never shown.
            if (item.message.role != model::MessageRole::User && item.message.role != model::MessageRole::Assistant)
                continue;
            item.kind = Kind::Message;
            item.contentKey = keyOf(item.message);
            if (item.message.role == model::MessageRole::Assistant)
                m_lastAssistant = item.id;
        } else {
            item.kind = kind == Model::RowKind::Live ? Kind::Live : Kind::Approval;
        }
        items.push_back(std::move(item));
    }
    m_items = std::move(items);
    m_indexOf.clear();
    m_messageCount = 0;
    for (size_t i = 0; i < m_items.size(); ++i) {
        m_indexOf.insert(m_items[i].id, int(i));
        if (m_items[i].kind == Kind::Message)
            ++m_messageCount;
    }
    std::optional<Anchor> arrival;
    if (readingLive && !switched && !m_lastAssistant.isNull() && !listedBefore.contains(m_lastAssistant)) {
        m_anchor = Anchor{m_lastAssistant, liveTextTop - MessageRow::kAssistantTextTop};
        m_anchorOverFollow = m_followBottom;
        arrival = m_anchor;
    }
    // Rows whose message left go back to the pool.
    const QList<QUuid> bound = m_bound.keys();
    for (const QUuid &id : bound) {
        const int i = m_indexOf.value(id, -1);
        if (i < 0 || m_items[size_t(i)].kind != Kind::Message)
            releaseRow(id);
    }
    m_layoutWidth = columnWidth();
    applyHeights(m_layoutWidth);
    syncSingletons();
    if (switched)
        m_anchor.reset();
    relayout();
    if (arrival)
        glideIn(*arrival);
    if (QAccessible::isActive())
        emit readerItemsChanged();
    if (switched)
        emit conversationSwitched();
    else if (oldCount != m_messageCount)
        emit messageCountChanged();
}

void TranscriptView::onDataChanged(const QModelIndex &from, const QModelIndex &to)
{
    if (!m_model)
        return;
    bool messages = false;
    for (int r = from.row(); r <= to.row(); ++r) {
        const QModelIndex index = m_model->index(r);
        const auto kind = index.data(Model::KindRole).value<Model::RowKind>();
        if (kind != Model::RowKind::Message)
            continue;
        messages = true;
        const int i = m_indexOf.value(index.data(Model::IdRole).toUuid(), -1);
        if (i < 0)
            continue;
        Item &item = m_items[size_t(i)];
        item.message = index.data(Model::MessageRole).value<model::ChatMessage>();
        item.contentKey = keyOf(item.message);
        item.measured = false;
        if (item.message.role == model::MessageRole::Assistant && size_t(i) + 1 >= m_items.size())
            m_lastAssistant = item.id;
    }
    if (messages) {
        // A changed role may change what is listed at all.
        reload();
        return;
    }
    m_anchor = captureAnchor();
    syncSingletons();
    relayout();
}

void TranscriptView::syncSingletons()
{
    std::optional<QModelIndex> live, approval;
    if (m_model) {
        if (const int r = m_model->liveRow(); r >= 0)
            live = m_model->index(r);
        if (const int r = m_model->approvalRow(); r >= 0)
            approval = m_model->index(r);
    }
    if (live) {
        if (!m_live) {
            m_live = new LiveAssistantBlock(m_context, m_shownArea);
            watchSelectionDrags(m_live->textView());
            m_live->show();
        }
        m_live->setActivity(live->data(Model::LiveActivityRole).value<app::LiveActivity>());
        m_live->setStreamingText(live->data(Model::LiveTextRole).toString());
    } else if (m_live) {
        delete m_live;
        m_live = nullptr;
    }
    if (approval) {
        const auto pending = approval->data(Model::ApprovalRole).value<model::PendingApproval>();
        // A new approval always gets a new card, never the last one's buttons.
        if (!m_card || m_card->pending().id != pending.id || !(m_card->pending().preview == pending.preview)) {
            // The old card may be going from inside its own answer: later.
            if (m_card)
                m_card->retire();
            m_card = new ApprovalCard(pending, m_context.styles, m_shownArea);
            connect(m_card, &ApprovalCard::answered, this,
                    [this](const QString &id, bool approved, bool allowWrites) {
                        if (m_answer)
                            m_answer(id, approved, allowWrites);
                    });
            m_card->installEventFilter(this);
            m_card->show();
            emit approvalCardShown(m_card);
        }
    } else if (m_card) {
        m_card->retire();
        m_card = nullptr;
    }
}

int TranscriptView::estimate(const Item &item, int width) const
{
    // A guess from the text until the row is seen: about 7.6 px a character
    // of the body font and 22 px a line.
    const bool user = item.message.role == model::MessageRole::User;
    const int textWidth = user ? qMin(520, width - 72) - 28 : width - 28 - 44;
    const int perLine = qMax(8, int(textWidth / 7.6));
    int lines = 0;
    const QString &text = item.message.content;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        lines += qMax<qsizetype>(1, (end - start + perLine - 1) / perLine);
        start = end + 1;
    }
    int h = lines * 22 + (user ? 20 : 24);
    if (item.message.toolCalls && !item.message.toolCalls->isEmpty())
        h += 14 + int(item.message.toolCalls->size()) * 28;
    if (finishedTurn(item))
        h += 56;
    return h;
}

void TranscriptView::applyHeights(int width)
{
    for (Item &item : m_items) {
        if (item.kind != Kind::Message)
            continue;
        const auto cached = m_heights.constFind(HeightKey{item.id, width});
        if (cached != m_heights.constEnd() && cached->contentKey == item.contentKey && !finishedTurn(item)) {
            item.height = cached->height;
            item.measured = true;
        } else {
            item.height = estimate(item, width);
            item.measured = false;
        }
    }
}

void TranscriptView::forgetOldWidths(int width)
{
    std::erase(m_heightWidths, width);
    m_heightWidths.insert(m_heightWidths.begin(), width);
    if (m_heightWidths.size() <= size_t(kHeightWidths))
        return;
    const int oldest = m_heightWidths.back();
    m_heightWidths.pop_back();
    m_heights.removeIf([oldest](const QHash<HeightKey, CachedHeight>::iterator &it) { return it.key().width == oldest; });
}

QList<int> TranscriptView::keptHeightWidths() const
{
    QSet<int> widths;
    for (auto it = m_heights.cbegin(); it != m_heights.cend(); ++it)
        widths.insert(it.key().width);
    QList<int> sorted = widths.values();
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

void TranscriptView::recomputeOffsets()
{
    m_tops.resize(m_items.size());
    int y = kTopMargin;
    if (showsWelcome()) {
        m_welcomeHeight = measure(m_welcome, columnWidth());
        y += 24 + m_welcomeHeight + kSpacing;
    }
    for (size_t i = 0; i < m_items.size(); ++i) {
        m_tops[i] = y;
        y += m_items[i].height + kSpacing;
    }
    m_contentHeight = y + kBottomSpacer + kBottomMargin + m_bottomInset;
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, qMax(0, m_contentHeight - viewport()->height()));
}

int TranscriptView::measure(QWidget *w, int width)
{
    if (w->hasHeightForWidth())
        return qMax(0, w->heightForWidth(width));
    if (QLayout *l = w->layout(); l && l->hasHeightForWidth())
        return qMax(0, l->totalHeightForWidth(width));
    return qMax(0, w->sizeHint().height());
}

MessageRow *TranscriptView::takeRow()
{
    if (!m_pool.empty()) {
        MessageRow *row = m_pool.back();
        m_pool.pop_back();
        return row;
    }
    auto *row = new MessageRow(m_context, m_shownArea);
    watchSelectionDrags(row->textView());
    // Its text may grow after it was measured (laid out when idle or painted).
    row->installEventFilter(this);
    row->setOnCopy([this, row] {
        const QUuid id = m_rowMessage.value(row);
        const int i = m_indexOf.value(id, -1);
        if (i < 0)
            return;
        m_copiedUntil.insert(id, QDeadlineTimer(kCopiedMs));
        if (m_onCopy)
            m_onCopy(m_items[size_t(i)].message);
    });
    row->setOnRetry([this] {
        if (m_onRetry)
            m_onRetry();
    });
    return row;
}

void TranscriptView::releaseRow(const QUuid &id)
{
    MessageRow *row = m_bound.take(id);
    if (!row)
        return;
    m_rowMessage.remove(row);
    m_rowKey.remove(row);
    m_rowFinished.remove(row);
    row->hide();
    if (m_pool.size() < kPoolSpare)
        m_pool.push_back(row);
    else
        row->deleteLater();
}

void TranscriptView::bindRow(MessageRow *row, const Item &item)
{
    const bool finished = finishedTurn(item);
    row->setMessage(item.message, finished);
    m_bound.insert(item.id, row);
    m_rowMessage.insert(row, item.id);
    m_rowKey.insert(row, item.contentKey);
    m_rowFinished.insert(row, finished);
    const auto copied = m_copiedUntil.constFind(item.id);
    const bool isCopied = copied != m_copiedUntil.constEnd() && !copied->hasExpired();
    if (copied != m_copiedUntil.constEnd() && !isCopied)
        m_copiedUntil.remove(item.id);
    row->setTransientState(false, isCopied);
    // A new row shown without a size is sized to its size hint first, which
    // lays a long text out once more at a width it is never shown at.
    if (!row->testAttribute(Qt::WA_Resized))
        row->resize(columnWidth(), qMax(1, item.height));
    row->show();
}

bool TranscriptView::materialize(int value)
{
    const int width = columnWidth();
    // Rows are bound within the overscan; those bound ahead of the last
    // scroll are kept until the scrolling turns.
    const int aboveAhead = m_aheadDirection < 0 ? kAhead : 0;
    const int belowAhead = m_aheadDirection > 0 ? kAhead : 0;
    const int y0 = value - kOverscan - (m_bindingAhead ? aboveAhead : 0);
    const int y1 = value + viewport()->height() + kOverscan + (m_bindingAhead ? belowAhead : 0);
    const int keep0 = value - kOverscan - aboveAhead;
    const int keep1 = value + viewport()->height() + kOverscan + belowAhead;
    bool changed = false;
    QSet<QUuid> keep;
    if (!m_items.empty()) {
        auto it = std::upper_bound(m_tops.begin(), m_tops.end(), keep0);
        size_t i = it == m_tops.begin() ? 0 : size_t(it - m_tops.begin()) - 1;
        for (; i < m_items.size() && m_tops[i] <= keep1; ++i) {
            Item &item = m_items[i];
            int h = item.height;
            if (item.kind == Kind::Message) {
                if (m_tops[i] + item.height < keep0)
                    continue;
                MessageRow *row = m_bound.value(item.id, nullptr);
                if (!row && (m_tops[i] + item.height < y0 || m_tops[i] > y1))
                    continue;
                keep.insert(item.id);
                const bool finished = finishedTurn(item);
                if (!row) {
                    row = takeRow();
                    bindRow(row, item);
                    item.measured = false;
                } else if (m_rowKey.value(row) != item.contentKey || m_rowFinished.value(row) != finished) {
                    bindRow(row, item);
                    item.measured = false;
                }
                if (!item.measured) {
                    h = measure(row, width);
                    item.measured = true;
                    if (!finished)
                        m_heights.insert(HeightKey{item.id, width}, CachedHeight{item.contentKey, h});
                }
            } else if (item.kind == Kind::Live && m_live) {
                h = measure(m_live, width);
            } else if (item.kind == Kind::Approval && m_card) {
                h = measure(m_card, width);
            }
            if (h != item.height) {
                item.height = h;
                changed = true;
            }
        }
    }
    const QList<QUuid> bound = m_bound.keys();
    const QWidget *focus = QApplication::focusWidget();
    for (const QUuid &id : bound) {
        // A row holding the keyboard stays its message's, wherever it lies.
        MessageRow *row = m_bound.value(id);
        if (!keep.contains(id) && !(focus && row->isAncestorOf(focus)))
            releaseRow(id);
    }
    return changed;
}

void TranscriptView::bindAhead()
{
    if (m_aheadDirection == 0 || m_placing)
        return;
    m_anchor = captureAnchor();
    m_bindingAhead = true;
    relayout();
    m_bindingAhead = false;
}

void TranscriptView::relayout()
{
    if (m_placing)
        return;
    m_placing = true;
    const int width = columnWidth();
    if (width != m_layoutWidth) {
        m_layoutWidth = width;
        forgetOldWidths(width);
        applyHeights(width);
    }
    const std::optional<Anchor> anchor = std::exchange(m_anchor, std::nullopt);
    QScrollBar *bar = verticalScrollBar();
    const int oldValue = bar->value();
    const bool follow = m_followBottom && !m_scroll->state() && !std::exchange(m_anchorOverFollow, false);
    for (int pass = 0; pass < 4; ++pass) {
        recomputeOffsets();
        int value = oldValue;
        if (follow) {
            value = bar->maximum();
        } else if (anchor && !anchor->id.isNull()) {
            if (const int i = m_indexOf.value(anchor->id, -1); i >= 0)
                value = m_tops[size_t(i)] - anchor->delta;
        }
        bar->setValue(qBound(0, value, bar->maximum()));
        if (!materialize(bar->value()))
            break;
    }
    place();
    m_placing = false;
    if (QAccessible::isActive())
        emit readerViewMoved();
}

void TranscriptView::glideIn(const Anchor &wanted)
{
    // The list could not scroll far enough to keep the words in place: the
    // row starts where they were and glides to where it lies, so they never
    // jump in one frame.
    const int i = m_indexOf.value(wanted.id, -1);
    if (i < 0)
        return;
    const int offset = wanted.delta - (m_tops[size_t(i)] - verticalScrollBar()->value());
    const int ms = glass::Motion::duration(m_context.styles, kArrivalMs);
    if (offset == 0 || ms <= 0)
        return;
    m_arrival->stop();
    m_arriving = wanted.id;
    m_arrivalOffset = offset;
    m_arrival->setDuration(ms);
    m_arrival->setStartValue(offset);
    m_arrival->setEndValue(0);
    m_arrival->start();
    place();
}

void TranscriptView::place()
{
    const int width = columnWidth();
    const int x = (viewport()->width() - width) / 2;
    const int value = verticalScrollBar()->value();
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it) {
        const int i = m_indexOf.value(it.key(), -1);
        if (i >= 0)
            it.value()->setGeometry(x, m_tops[size_t(i)] - value + (it.key() == m_arriving ? m_arrivalOffset : 0), width,
                                    m_items[size_t(i)].height);
    }
    for (size_t i = 0; i < m_items.size(); ++i) {
        QWidget *single = m_items[i].kind == Kind::Live       ? static_cast<QWidget *>(m_live)
                          : m_items[i].kind == Kind::Approval ? static_cast<QWidget *>(m_card.data())
                                                              : nullptr;
        if (single)
            single->setGeometry(x, m_tops[i] - value, width, m_items[i].height);
    }
    const bool welcome = showsWelcome();
    if (welcome)
        m_welcome->setGeometry(x, kTopMargin + 24 - value, width, m_welcomeHeight);
    m_welcome->setVisible(welcome);
}

void TranscriptView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_anchor = captureAnchor();
    // A panel taking or giving back room above the list (the file peek)
    // moves its top within the window: the rows stay where they are on
    // screen rather than moving with that edge.
    const int windowTop = viewport()->mapTo(window(), QPoint(0, 0)).y();
    if (m_windowTop && *m_windowTop != windowTop && m_anchor)
        m_anchor->delta -= windowTop - *m_windowTop;
    m_windowTop = windowTop;
    applyShownBottom();
    relayout();
}

void TranscriptView::scrollContentsBy(int, int dy)
{
    if (m_placing)
        return;
    // The user's own scrolling decides whether the bottom is followed.
    if (m_scroll->state() != QAbstractAnimation::Running)
        m_followBottom = isAtBottom();
    m_anchor = captureAnchor();
    if (dy != 0)
        m_aheadDirection = dy > 0 ? -1 : 1;
    relayout();
    // Not while a selection is dragged past an edge: that scrolls on its own
    // clock, and the rows it reaches are the ones it selects.
    if (dy != 0 && !m_edgeScroll->isActive())
        m_ahead->start();
}

bool TranscriptView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::LayoutRequest) {
        m_anchor = captureAnchor();
        relayout();
    } else if (event->type() == QEvent::Resize) {
        applyShownBottom();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TranscriptView::watchSelectionDrags(QWidget *text)
{
    text->installEventFilter(this);
}

void TranscriptView::scrollForSelection()
{
    QWidget *item = m_dragText;
    while (item && item->parentWidget() != m_shownArea)
        item = item->parentWidget();
    if (!item || !m_dragText->isDragSelecting()) {
        m_edgeScroll->stop();
        return;
    }
    // The list's bottom edge is where what overlays it (the composer) begins.
    const int bottom = viewport()->height() - m_bottomInset;
    const int y = int(viewport()->mapFromGlobal(m_dragPointer).y());
    const int past = y < 0 ? y : std::max(0, y - bottom);
    if (past == 0) {
        m_edgeScroll->stop();
        return;
    }
    int step = std::clamp(std::abs(past) / 2, 2, 60) * (past < 0 ? -1 : 1);
    // Beyond the text being selected there is nothing more to select.
    const QRect shown = item->geometry();
    step = step < 0 ? std::max(step, std::min(0, shown.top()))
                    : std::min(step, std::max(0, shown.bottom() + 1 - bottom));
    QScrollBar *bar = verticalScrollBar();
    const int before = bar->value();
    bar->setValue(before + step);
    if (bar->value() != before)
        m_dragText->dragSelectionTo(m_dragText->mapFromGlobal(m_dragPointer));
}

bool TranscriptView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease) {
        if (auto *text = qobject_cast<MarkdownTextView *>(watched)) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (event->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
                m_dragText = text;
                m_dragPointer = mouse->globalPosition();
                const int y = int(viewport()->mapFromGlobal(m_dragPointer).y());
                if ((y < 0 || y > viewport()->height() - m_bottomInset) && !m_edgeScroll->isActive())
                    m_edgeScroll->start();
            } else {
                m_edgeScroll->stop();
                m_dragText = nullptr;
            }
        }
    }
    // The welcome card, the approval card or a shown message row changed size.
    if (event->type() == QEvent::LayoutRequest) {
        auto *row = qobject_cast<MessageRow *>(watched);
        const int i = row && m_rowMessage.contains(row) ? m_indexOf.value(m_rowMessage.value(row), -1) : -1;
        if (i >= 0)
            m_items[size_t(i)].measured = false;
        // The shown area hears of its children's (a row or the live reply) new size hints.
        if (i >= 0 || watched == m_welcome || watched == m_card || watched == m_shownArea) {
            m_anchor = captureAnchor();
            relayout();
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

} // namespace chat
