#include "chat/transcript/LiveAssistantBlock.h"

#include "chat/transcript/ActivityMarks.h"
#include "chat/transcript/CrossFadeLabel.h"
#include "chat/transcript/LiveGlass.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageChrome.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/TurnFade.h"
#include "glass/look/Motion.h"
#include "glass/sheets/ReaderAccess.h"
#include "glass/look/Styles.h"
#include "glass/look/TextInk.h"
#include "platform/DesktopServices.h"
#include "stage/BackgroundSettings.h"

#include <QAccessible>
#include <QBoxLayout>
#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>

#include <algorithm>

namespace chat {

QString LiveAssistantBlock::statusText(const app::LiveActivity &activity)
{
    switch (activity.kind) {
    case app::LiveActivity::Kind::Thinking:
        return QStringLiteral("Thinking\u2026");
    case app::LiveActivity::Kind::Writing:
        return QStringLiteral("Writing\u2026");
    case app::LiveActivity::Kind::WaitingApproval:
        return QStringLiteral("Waiting for approval\u2026");
    case app::LiveActivity::Kind::Working:
        return QStringLiteral("Working \u00B7 ") + QString(activity.tool).replace(u'_', u' ') + QStringLiteral("\u2026");
    }
    return {};
}

LiveAssistantBlock::LiveAssistantBlock(MessageRowContext context, QWidget *parent)
    : QWidget(parent), m_context(context)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_bubble = new LiveGlass(context.styles);
    outer->addWidget(m_bubble);

    auto *column = new QVBoxLayout(m_bubble);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(12);
    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    m_mark = new BreathingActivityMark(context.styles);
    header->addWidget(m_mark, 0, Qt::AlignVCenter);
    // The status takes the rest of the line, so an old text fading out is not cut.
    m_status = new CrossFadeLabel;
    m_status->setText(statusText(app::LiveActivity::thinking()));
    header->addWidget(m_status, 1, Qt::AlignVCenter);
    column->addLayout(header);
    m_text = new MarkdownTextView;
    m_text->hide();
    // Read as the block's own text.
    glass::hideFromReaders(m_text);
    // Where its layout goes when the reply finishes (a streaming text is never cached).
    m_text->setCache(&context.cache);
    // The finished row puts its copy button beside the text: the same room
    // is kept free here, so the reply does not wrap anew when it finishes.
    auto *textLine = new QHBoxLayout;
    textLine->setContentsMargins(0, 0, MessageRow::kReplyCopyGutter, 0);
    textLine->addWidget(m_text);
    column->addLayout(textLine);
    connect(m_text, &MarkdownTextView::linkActivated, this, [this](const QUrl &url) {
        if (m_context.desktop)
            m_context.desktop->openUrl(url);
    });

    connect(&context.styles, &glass::StyleStore::changed, this, &LiveAssistantBlock::applyLook);
    connect(&context.background, &stage::BackgroundSettings::isEnabledChanged, this, &LiveAssistantBlock::applyLook);
    connect(&context.background, &stage::BackgroundSettings::overlayOpacityChanged, this,
            &LiveAssistantBlock::applyLook);
    if (context.fade)
        connect(context.fade, &TurnFade::changed, this, &LiveAssistantBlock::applyFade);
    m_tellLater.setSingleShot(true);
    connect(&m_tellLater, &QTimer::timeout, this, &LiveAssistantBlock::tellReaders);
    applyLook();
}

void LiveAssistantBlock::setActivity(const app::LiveActivity &activity)
{
    const QString text = statusText(activity);
    const QScopeGuard seen([this] { m_activitySet = true; });
    if (m_status->text() != text) {
        // The first status of a new block shows at once.
        m_status->setFadeDuration(m_activitySet ? glass::Motion::duration(m_context.styles, kStatusFadeMs) : 0);
        m_status->setTextFaded(text);
        m_status->setAccessibleName(text);
    }
}

void LiveAssistantBlock::setStreamingText(const QString &text)
{
    m_text->setVisible(!text.isEmpty());
    m_text->setStreamingText(text);
    // A reader hears the reply grow in steps a few times a second, not at
    // every frame: reading a long reply again costs its length.
    if (QAccessible::isActive() && !m_tellLater.isActive())
        m_tellLater.start(int(std::max<qint64>(kReaderStepMs, 4 * m_tellCost / 1'000'000)));
}

QString LiveAssistantBlock::readerText() const
{
    return m_reader.update(m_text->text());
}

void LiveAssistantBlock::tellReaders()
{
    QElapsedTimer cost;
    cost.start();
    // What the bus was told last, whatever a reader asked for meanwhile.
    const QString before = std::exchange(m_told, m_reader.update(m_text->text()));
    m_tellCost = cost.nsecsElapsed();
    const QString &after = m_told;
    if (after == before)
        return;
    // Mostly the text only grows; a Markdown mark closing can change what
    // was read just before the end.
    const qsizetype common = std::mismatch(before.cbegin(), before.cend(), after.cbegin(), after.cend()).first -
                             before.cbegin();
    if (common == before.size()) {
        QAccessibleTextInsertEvent event(this, int(common), after.mid(common));
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextUpdateEvent event(this, int(common), before.mid(common), after.mid(common));
        QAccessible::updateAccessibility(&event);
    }
}

QString LiveAssistantBlock::status() const
{
    return m_status->text();
}

double LiveAssistantBlock::visibility() const
{
    return MessageChrome::liveBubbleVisibility(m_context.background.isEnabled(),
                                               m_context.background.overlayOpacity());
}

void LiveAssistantBlock::applyLook()
{
    const glass::Styles &styles = m_context.styles.styles();
    const double e = visibility();
    applyFade();
    QFont font = styles.body.font;
    font.setPixelSize(12);
    font.setWeight(QFont::DemiBold);
    m_status->setFont(font);
    // Light glass takes the skin's checked text colours; the dark glass keeps the bubbles' light text.
    const bool lightGlass = e > 0.01 && m_bubble->isLight();
    glass::setInk(m_status, lightGlass ? styles.textSecondary : MessageChrome::assistantSecondaryColor(e, styles.skin));
    m_text->setStyle(MessageChrome::markdownStyle(
        styles, lightGlass ? styles.text : MessageChrome::assistantTextColor(e, styles.skin)));
}

void LiveAssistantBlock::applyFade()
{
    const TurnFade::Shown shown = m_context.fade ? m_context.fade->shown(TurnFade::Turn::live)
                                                 : TurnFade::settled(visibility());
    // The live glass keeps one look; it only moves while the veil is
    // thinner than its floor, which is rare.
    m_bubble->setVisibility(shown.blended());
    m_bubble->setOpacity(shown.opacity);
}

} // namespace chat
