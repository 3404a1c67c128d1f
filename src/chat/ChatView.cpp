#include "chat/ChatView.h"

#include "app/AppViewModel.h"
#include "app/MessageListModel.h"
#include "chat/transcript/ApprovalCard.h"
#include "chat/composer/AttachmentStrip.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/DropTarget.h"
#include "chat/transcript/MessageRow.h"
#include "chat/welcome/WelcomeCard.h"
#include "chat/composer/ComposerField.h"
#include "chat/tray/ComposerTray.h"
#include "chat/tray/TrayPopoverHost.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/controls/TabStops.h"
#include "model/ChatRecords.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLayout>
#include <QPointer>
#include <QTimer>

namespace chat {

ChatView::ChatView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    setObjectName(QStringLiteral("chatView"));
    setAttribute(Qt::WA_NoSystemBackground);
    m_transcript = new TranscriptView(MessageRowContext{styles, app.background(), m_cache, &app.tellingDesktop()}, this);
    m_composer = new ComposerBar(app, styles, this);
    AttachmentStrip::install(m_composer->attachmentSlot(), app, styles);
    new DropTarget(app, styles, m_composer->card());
    WelcomeCard::install(m_transcript->welcomeSlot(), app, styles);
    auto *tray = new ComposerTray(app, styles, m_composer->traySlot());
    m_composer->traySlot()->layout()->addWidget(tray);
    // The card is placed by hand: it measures again once the tray is in.
    QCoreApplication::postEvent(m_composer, new QEvent(QEvent::LayoutRequest));
    tray->setDraftReader(m_composer->draftReader());
    tray->popovers().setFocusHome([field = QPointer<QWidget>(m_composer->field())] { return field.data(); });
    // Also called as the composer hides while this view is destroyed: it
    // must not reach into the view, only into the controller that outlives it.
    m_composer->setStopDictation([&app] { app.stopDictation(); });
    m_composer->setListening(app.isDictating());
    connect(&app, &app::AppViewModel::isDictatingChanged, m_composer,
            [this] { m_composer->setListening(m_app.isDictating()); });

    m_transcript->setActions(
        [this](const model::ChatMessage &message) { m_app.copyMessage(copyText(message)); },
        [this] { m_app.retryLastExchange(); });
    m_transcript->setApprovalAnswer(
        [this](const QString &id, bool approved, bool allowWrites) { answerApproval(id, approved, allowWrites); });
    connect(m_transcript, &TranscriptView::approvalCardShown, this, &ChatView::offerKeyboard);
    // A control of this view that goes while it has the keyboard (Retry as
    // the run it asked for starts, an attachment's Remove once sent) hands
    // it to the composer, not to whatever comes next in the window (a
    // title-bar button a typed space would press).
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (!old || !isAncestorOf(old) || old->isVisible() || (now && isAncestorOf(now)))
            return;
        if (now && now->window() != window())
            return; // another window (a sheet of its own, the settings)
        QWidget *field = m_composer->field();
        if (field->isVisible() && field->isEnabled())
            field->setFocus(Qt::OtherFocusReason);
    });
    m_transcript->setRunning(app.isRunning(), app.runConversationID());
    m_transcript->setWaitingForHistory(!app.isHistoryLoaded());
    connect(&app, &app::AppViewModel::historyLoaded, m_transcript, [this] { m_transcript->setWaitingForHistory(false); });
    m_transcript->setModel(&app.messageModel());

    // The scroll rules. What the person does (switching sessions, sending,
    // attaching) goes to the bottom; what the run brings (streamed text, its
    // messages, its end) is followed only while the list is at its bottom.
    QPointer<TranscriptView> list = m_transcript;
    auto later = [this, list](bool animated, bool onlyFollowing) {
        QTimer::singleShot(0, this, [list, animated, onlyFollowing] {
            if (!list)
                return;
            if (onlyFollowing)
                list->followBottom(animated);
            else
                list->scrollToBottom(animated);
        });
    };
    connect(m_transcript, &TranscriptView::conversationSwitched, this, [later] { later(false, false); });
    connect(m_transcript, &TranscriptView::messageCountChanged, this, [this] {
        if (m_transcript->lastMessageIsFromUser())
            m_transcript->scrollToBottom(true);
        else
            m_transcript->followBottom(true);
    });
    connect(&app, &app::AppViewModel::streamingTextChanged, this, [this] { m_transcript->followBottom(false); });
    connect(&app, &app::AppViewModel::isRunningChanged, this, [this, later] {
        m_transcript->setRunning(m_app.isRunning(), m_app.runConversationID());
        later(true, !m_app.isRunning());
    });
    int attachmentCount = int(app.attachments().size());
    connect(&app, &app::AppViewModel::attachmentsChanged, this, [this, later, attachmentCount]() mutable {
        const int now = int(m_app.attachments().size());
        if (now != attachmentCount) {
            attachmentCount = now;
            later(false, false);
        }
    });
    connect(m_composer, &ComposerBar::heightChanged, this, &ChatView::placeComposer);
}

ChatView::~ChatView()
{
    // Its children give up the keyboard as they go: not a control going.
    disconnect(m_focusWatch);
}

QWidget *ChatView::welcomeSlot() const
{
    return m_transcript->welcomeSlot();
}

QList<QWidget *> ChatView::tabStops() const
{
    ApprovalCard *card = m_transcript->approvalCard();
    const auto inCard = [card](const QWidget *w) { return card && (w == card || card->isAncestorOf(w)); };
    QList<QWidget *> cardStops;
    if (card && glass::TabStops::isStop(card))
        cardStops << card;
    if (card)
        cardStops << glass::TabStops::readingOrder(card);

    QList<QWidget *> stops;
    for (QWidget *w : glass::TabStops::readingOrder(m_transcript))
        if (!inCard(w))
            stops << w;
    for (QWidget *w : glass::TabStops::readingOrder(m_composer)) {
        stops << w;
        if (w == m_composer->field()) {
            stops << cardStops;
            cardStops.clear();
        }
    }
    return stops << cardStops; // a composer that cannot take the keyboard leaves the card last
}

QString ChatView::copyText(const model::ChatMessage &message)
{
    // The same clean-up as the row's text: a reply that quotes an
    // attachment block is copied whole, as it is shown.
    return message.content.isEmpty() ? QString() : MessageRow::bodyText(message);
}

void ChatView::answerApproval(const QString &approvalID, bool approved, bool allowWrites)
{
    // A card answers only the approval it was drawn for.
    const std::optional<model::PendingApproval> &pending = m_app.pendingApproval();
    if (!pending || pending->id != approvalID)
        return;
    m_app.resolveApproval(approved, allowWrites);
}

void ChatView::offerKeyboard(ApprovalCard *card)
{
    // The card takes the keyboard from an empty composer (or from nobody);
    // a draft being typed keeps it, and the card says how to reach it.
    ComposerField *field = m_composer->field();
    card->setTypingTarget(field);
    card->placeInTabOrderAfter(field);
    QWidget *had = window()->focusWidget();
    if ((!had || had == field) && field->toPlainText().isEmpty())
        card->takeKeyboard();
    else
        card->refreshHint();
}

void ChatView::placeComposer()
{
    const int h = m_composer->heightForWidth(width());
    m_composer->setGeometry(0, height() - h, width(), h);
    m_composer->raise();
    // On its way down, it goes on to the new bottom at its pace.
    const bool moving = m_transcript->isMovingToBottom();
    const bool wasAtBottom = moving || m_transcript->isAtBottom();
    m_transcript->setBottomInset(h);
    // Rows end at the card's top: nothing of them shows through it or in the
    // strip below it.
    m_transcript->setShownBottom(height() - h + ComposerBar::kVerticalPad);
    if (wasAtBottom)
        m_transcript->scrollToBottom(moving);
}

void ChatView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_transcript->setGeometry(rect());
    placeComposer();
}

void ChatView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_transcript->scrollToBottom(false);
    }
}

} // namespace chat
