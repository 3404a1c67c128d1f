#include "chat/transcript/MessageRow.h"

#include "chat/transcript/ActivityMarks.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageChrome.h"
#include "chat/transcript/MessageRowParts.h"
#include "chat/transcript/TurnFade.h"
#include "glass/marks/FelgrinMark.h"
#include "glass/sheets/ReaderAccess.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/look/TextInk.h"
#include "platform/DesktopServices.h"
#include "stage/BackgroundSettings.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QRegularExpression>

namespace chat {

namespace {

const QRegularExpression &inlineImage()
{
    static const QRegularExpression re(
        QStringLiteral(R"re(!\[[^\]]*\]\(data:image\/[a-zA-Z0-9.+-]+;base64,[A-Za-z0-9+/=\s]+\))re"));
    return re;
}

} // namespace

QString MessageRow::bodyText(const model::ChatMessage &message)
{
    QString content = message.content;
    if (content.isEmpty() && message.toolCalls)
        return QStringLiteral("Working on it\u2026");
    if (content.contains(QLatin1String("data:image")) && inlineImage().isValid())
        content.replace(inlineImage(), QString());
    // Only a composed user prompt carries the attachment block; a reply that
    // quotes one is shown whole.
    if (message.role == model::MessageRole::User)
        content = model::ChatMessage::stripAttachmentChrome(content);
    return content.trimmed();
}

MessageRow::MessageRow(MessageRowContext context, QWidget *parent)
    : QWidget(parent), m_context(context)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(14);
    m_layout = outer;

    glass::StyleStore &skins = context.styles;
    // Every part is owned by the row from the start: a row shows only some of
    // them, and the rest must go with it when the pane deletes the row.
    m_text = new MarkdownTextView(this);
    m_text->setCache(&context.cache);
    // The list reads the message itself, rows scrolled away included.
    glass::hideFromReaders(m_text);
    m_copy = new MessageRowCopyButton(context.styles, this);
    connect(m_copy, &QAbstractButton::clicked, this, [this] {
        if (m_onCopy)
            m_onCopy();
    });
    connect(m_text, &MarkdownTextView::linkActivated, this, [this](const QUrl &url) {
        if (m_context.desktop)
            m_context.desktop->openUrl(url);
    });

    m_userBubble = new BubbleFrame(BubbleFrame::Kind::User, skins, this);
    m_userBubble->setLayout(new QHBoxLayout);
    m_userBubble->layout()->setContentsMargins(14, 10, 14, 10);
    m_userBubble->layout()->setSpacing(6);
    m_userBubble->installEventFilter(this);

    m_assistantBubble = new BubbleFrame(BubbleFrame::Kind::Assistant, skins, this);
    m_assistantBubble->setLayout(new QHBoxLayout);
    m_assistantBubble->layout()->setContentsMargins(14, kAssistantTextTop, 14, 12);
    m_assistantBubble->layout()->setSpacing(kReplyCopyGutter - MessageRowCopyButton::kSide);
    static_assert(kReplyCopyGutter > MessageRowCopyButton::kSide);
    m_assistantBubble->installEventFilter(this);

    m_tools = new MessageRowTools(context.styles, this);
    // Painted chips: the list reads the tools' names with the message.
    glass::hideFromReaders(m_tools);

    // The finished chrome: mark, "Ready", the crew mark and Retry, on a chip capsule.
    m_finished = new QWidget(this);
    m_finished->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    glass::FrostShapeBackground::install(m_finished, glass::QirvTheme::FrostRole::chip, glass::FrostShape::capsule(),
                                         true, false, skins);
    m_finished->setAccessibleName(QStringLiteral("Ready for your next message"));
    auto *chrome = new QHBoxLayout(m_finished);
    chrome->setContentsMargins(10, 6, 10, 6);
    chrome->setSpacing(8);
    chrome->addWidget(new RestingActivityMark(context.styles), 0, Qt::AlignVCenter);
    auto *ready = new QLabel(QStringLiteral("Ready"));
    ready->setObjectName(QStringLiteral("ready"));
    chrome->addWidget(ready, 0, Qt::AlignVCenter);
    auto *crew = new glass::FelgrinMark(11, glass::FelgrinMark::Style::resting, skins);
    crew->setToolTip(QStringLiteral("Felgrin"));
    glass::hideFromReaders(crew);
    chrome->addWidget(crew, 0, Qt::AlignVCenter);
    m_retry = new MessageRowRetryButton(context.styles);
    connect(m_retry, &QAbstractButton::clicked, this, [this] {
        if (m_onRetry)
            m_onRetry();
    });
    chrome->addWidget(m_retry, 0, Qt::AlignVCenter);

    connect(&context.styles, &glass::StyleStore::changed, this, &MessageRow::applyLook);
    connect(&context.background, &stage::BackgroundSettings::isEnabledChanged, this, &MessageRow::applyLook);
    connect(&context.background, &stage::BackgroundSettings::overlayOpacityChanged, this, &MessageRow::applyLook);
    if (context.fade)
        connect(context.fade, &TurnFade::changed, this, &MessageRow::applyFade);
    rebuild();
}

void MessageRow::setMessage(const model::ChatMessage &message, bool isFinishedTurn)
{
    m_message = message;
    m_finishedTurn = isFinishedTurn;
    rebuild();
}

void MessageRow::setOnCopy(std::function<void()> onCopy)
{
    m_onCopy = std::move(onCopy);
    rebuild();
}

void MessageRow::setOnRetry(std::function<void()> onRetry)
{
    m_onRetry = std::move(onRetry);
    rebuild();
}

double MessageRow::bubbleVisibility() const
{
    return MessageChrome::bubbleVisibility(m_context.background.isEnabled(), m_context.background.overlayOpacity());
}

void MessageRow::rebuild()
{
    const bool user = m_message.role == model::MessageRole::User;
    const QString body = bodyText(m_message);
    // Another message's text must not be rendered again in this one's mode
    // and style while the row is put together (the same text keeps its
    // selection).
    if (m_text->text() != body)
        m_text->setFinishedText({}, {});
    // Take everything out; put back what this message shows.
    while (m_layout->count() > 0) {
        QLayoutItem *item = m_layout->takeAt(0);
        if (QLayout *inner = item->layout()) {
            while (inner->count() > 0)
                delete inner->takeAt(0);
        }
        delete item;
    }
    for (QWidget *w : std::initializer_list<QWidget *>{m_userBubble, m_assistantBubble, m_tools, m_finished})
        w->hide();
    for (BubbleFrame *bubble : {m_userBubble, m_assistantBubble}) {
        bubble->layout()->removeWidget(m_text);
        bubble->layout()->removeWidget(m_copy);
    }

    BubbleFrame *bubble = user ? m_userBubble : m_assistantBubble;
    m_text->setMode(user ? MarkdownRenderer::Mode::Plain : MarkdownRenderer::Mode::Markdown);
    m_text->setMaximumWidth(user ? 520 : QWIDGETSIZE_MAX);
    bubble->layout()->addWidget(m_text);
    if (m_onCopy) {
        bubble->layout()->addWidget(m_copy);
        bubble->layout()->setAlignment(m_copy, Qt::AlignTop);
    }
    m_copy->setVisible(bool(m_onCopy));

    if (user) {
        auto *line = new QHBoxLayout;
        line->setSpacing(8);
        line->addSpacing(72);
        line->addStretch(1);
        line->addWidget(m_userBubble, 0, Qt::AlignTop);
        m_layout->addLayout(line);
        m_userBubble->show();
    } else {
        if (!body.isEmpty()) {
            m_layout->addWidget(m_assistantBubble);
            m_assistantBubble->show();
        }
        if (m_message.toolCalls && !m_message.toolCalls->isEmpty()) {
            m_tools->setTools(*m_message.toolCalls);
            m_layout->addWidget(m_tools, 0, Qt::AlignLeft);
            m_tools->show();
        }
        if (m_finishedTurn) {
            auto *line = new QHBoxLayout;
            line->setContentsMargins(0, 4, 0, 0);
            line->addWidget(m_finished);
            line->addStretch(1);
            m_layout->addLayout(line);
            m_finished->show();
        }
    }
    m_retry->setVisible(bool(m_onRetry));
    applyLook();
    m_text->setFinishedText(m_message.id, body);
}

void MessageRow::applyLook()
{
    const glass::Styles &styles = m_context.styles.styles();
    const double v = bubbleVisibility();
    const bool user = m_message.role == model::MessageRole::User;
    const QColor ink = user ? MessageChrome::userTextColor(v, styles.skin)
                            : MessageChrome::assistantTextColor(v, styles.skin);
    m_text->setStyle(MessageChrome::markdownStyle(
        styles, ink, user ? MessageChrome::kUserLineSpacing : MessageChrome::kReplyLineSpacing));
    m_userBubble->setVisibility(v);
    m_assistantBubble->setVisibility(v);
    applyFade();
    if (auto *ready = m_finished->findChild<QLabel *>(QStringLiteral("ready"))) {
        QFont font = styles.caption.font;
        font.setWeight(QFont::DemiBold);
        ready->setFont(font);
        glass::setInk(ready, glass::QirvTheme::withOpacity(glass::QirvTheme::color(styles.skin.colors.text), 0.82));
    }
}

void MessageRow::applyFade()
{
    if (!m_context.fade)
        return;
    const TurnFade::Shown user = m_context.fade->shown(TurnFade::Turn::user);
    const TurnFade::Shown assistant = m_context.fade->shown(TurnFade::Turn::assistant);
    m_userBubble->setShown(user.look, user.next, user.mix, user.opacity);
    m_assistantBubble->setShown(assistant.look, assistant.next, assistant.mix, assistant.opacity);
}

bool MessageRow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_userBubble || watched == m_assistantBubble) {
        if (event->type() == QEvent::Enter)
            m_copy->setHovering(true);
        else if (event->type() == QEvent::Leave && !m_copy->isCopied())
            m_copy->setHovering(false);
    }
    return QWidget::eventFilter(watched, event);
}

void MessageRow::setTransientState(bool hovering, bool copied)
{
    m_copy->setCopied(copied);
    m_copy->setHovering(hovering || copied, false);
}

bool MessageRow::isCopiedShown() const
{
    return m_copy->isCopied();
}

bool MessageRow::showsBubble() const
{
    const double v = bubbleVisibility();
    const bool user = m_message.role == model::MessageRole::User;
    return v > 0.01 && (user || m_assistantBubble->isVisibleTo(this));
}

bool MessageRow::showsFinishedChrome() const
{
    return m_finished->isVisibleTo(this);
}

bool MessageRow::showsRetry() const
{
    return showsFinishedChrome() && m_retry->isVisibleTo(this);
}

bool MessageRow::showsCopy() const
{
    const bool user = m_message.role == model::MessageRole::User;
    return m_copy->isVisibleTo(this) && (user || m_assistantBubble->isVisibleTo(this));
}

int MessageRow::toolChipCount() const
{
    return m_tools->isVisibleTo(this) ? m_tools->chipCount() : 0;
}

} // namespace chat
