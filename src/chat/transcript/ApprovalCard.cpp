#include "chat/transcript/ApprovalCard.h"

#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassDecoration.h"
#include "glass/look/QirvTheme.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <cmath>

namespace chat {

namespace {

using glass::QirvTheme::withOpacity;

constexpr int kPad = 16;
constexpr int kRowGap = 12;
constexpr int kPreviewInset = 10;

// The dark well behind the preview.
class PreviewWell : public QWidget {
public:
    using QWidget::QWidget;
    bool light = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.08f), 1));
        // Over light glass a 0.35 veil turns grey and the warm shell text
        // fades on it: the well stays dark there.
        p.setBrush(QColor::fromRgbF(0, 0, 0, light ? 0.78f : 0.35f));
        p.drawRoundedRect(r, 10, 10);
    }
};

// The risk badge: the risk's name on a capsule of its colour.
class Badge : public QLabel {
public:
    using QLabel::QLabel;
    QColor tint;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(withOpacity(tint, 0.18));
        const QRectF r(rect());
        p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
        p.end();
        QLabel::paintEvent(event);
    }
};

} // namespace

ApprovalCard::ApprovalCard(const model::PendingApproval &pending, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_pending(pending), m_styles(styles)
{
    // Tab reaches the card itself first: Return and Escape answer from there.
    setFocusPolicy(Qt::StrongFocus);
    glass::FocusRing::setShape(this, 16);
    setAccessibleName(QStringLiteral("Approval required"));
    m_visible = ApprovalText::visible(pending.preview);
    // Read with the card's name and before its buttons: which tool, and
    // what it writes or runs.
    QStringList said{ApprovalText::visible(pending.name).text};
    if (pending.summary != pending.name)
        said.append(ApprovalText::visible(pending.summary).text);
    said.append(m_visible.text);
    setAccessibleDescription(said.join(u'\n').trimmed());
    m_look = ApprovalText::look(pending.risk, styles.styles());

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPad, kPad, kPad, kPad);
    column->setSpacing(kRowGap);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    m_symbol = new QLabel;
    m_title = new QLabel(QStringLiteral("Approval required"));
    m_badge = new Badge(m_look.badge);
    m_badge->setContentsMargins(8, 3, 8, 3);
    header->addWidget(m_symbol);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_badge);
    column->addLayout(header);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    m_name = new QLabel(ApprovalText::visible(pending.name).text);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setWordWrap(true);
    titles->addWidget(m_name);
    m_summary = new QLabel(ApprovalText::visible(pending.summary).text);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    titles->addWidget(m_summary);
    column->addLayout(titles);
    // Only now a child of the card: shown while still parentless, the label
    // was a window of its own for a moment, and took the keyboard's window
    // from the main window.
    m_summary->setVisible(pending.summary != pending.name);

    m_previewFrame = new PreviewWell;
    auto *well = new QVBoxLayout(m_previewFrame);
    well->setContentsMargins(kPreviewInset, kPreviewInset, kPreviewInset, kPreviewInset);
    m_preview = new QPlainTextEdit;
    m_preview->setReadOnly(true);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_preview->setFrameShape(QFrame::NoFrame);
    m_preview->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_preview->setWordWrapMode(QTextOption::WrapAnywhere);
    m_preview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_preview->viewport()->setAutoFillBackground(false);
    m_preview->setAutoFillBackground(false);
    m_preview->document()->setDocumentMargin(0);
    m_preview->setPlainText(m_visible.text);
    m_preview->setAccessibleName(QStringLiteral("Preview"));
    m_preview->setFocusPolicy(Qt::ClickFocus); // Tab goes from the card to its buttons
    well->addWidget(m_preview);
    column->addWidget(m_previewFrame);

    auto *buttons = new QHBoxLayout;
    const glass::Styles &s = styles.styles();
    m_deny = new glass::StyledButton(QStringLiteral("Deny"), s.secondaryButton);
    buttons->addWidget(m_deny);
    buttons->addStretch(1);
    if (m_look.offersAllowWrites) {
        m_allowWrites = new glass::StyledButton(QStringLiteral("Allow writes this session"), s.secondaryButton);
        buttons->addWidget(m_allowWrites);
    }
    m_approve = new glass::StyledButton(QStringLiteral("Approve"), s.primary);
    buttons->addWidget(m_approve);
    column->addLayout(buttons);
    m_hint = new QLabel(keyboardHint());
    m_hint->setObjectName(QStringLiteral("keyboardHint"));
    m_hint->setWordWrap(true);
    m_hint->hide();
    column->addWidget(m_hint);

    connect(m_deny, &QAbstractButton::clicked, this, [this] { deny(); });
    connect(m_approve, &QAbstractButton::clicked, this, [this] { approve(); });
    if (m_allowWrites)
        connect(m_allowWrites, &QAbstractButton::clicked, this, [this] { allowWrites(); });

    // Card glass, the risk-tinted border over it and its coloured shadow.
    new glass::GlassDecoration(
        this, glass::QirvTheme::FrostRole::card, glass::FrostShape::roundedRectangle(16), false, false,
        [this](QPainter &p, const QRectF &r, const stage::UISkin &) {
            p.setRenderHint(QPainter::Antialiasing);
            QLinearGradient g(r.topLeft(), r.bottomRight());
            g.setColorAt(0, withOpacity(m_look.riskColor, 0.55));
            g.setColorAt(0.5, withOpacity(m_look.riskColor, 0.2));
            g.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0.08f));
            p.setPen(QPen(QBrush(g), 1));
            p.setBrush(Qt::NoBrush);
            p.drawPath(glass::FrostShape::roundedRectangle(16).inset(r, 0.5));
        },
        glass::GlassDecoration::Shadow{withOpacity(m_look.riskColor, 0.2), 18, QPointF(0, 6)}, styles);

    connect(&styles, &glass::StyleStore::changed, this, &ApprovalCard::applyLook);
    applyLook();
    m_shown.start();
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this] {
        if (isVisible())
            refreshHint();
    });
}

ApprovalCard::~ApprovalCard()
{
    // Focus moves while the card's parts die: its handler must not run then.
    disconnect(m_focusWatch);
}

void ApprovalCard::setTypingTarget(QWidget *target)
{
    m_typingTarget = target;
}

void ApprovalCard::placeInTabOrderAfter(QWidget *before)
{
    QWidget *previous = before;
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(m_deny),
                       static_cast<QWidget *>(m_allowWrites), static_cast<QWidget *>(m_approve)}) {
        if (!w)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

void ApprovalCard::takeKeyboard()
{
    setFocus(Qt::OtherFocusReason);
    showHint(false);
}

bool ApprovalCard::holdsKeyboard() const
{
    const QWidget *focus = window()->focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

void ApprovalCard::refreshHint()
{
    showHint(!holdsKeyboard());
}

bool ApprovalCard::isHintShown() const
{
    return !m_hint->isHidden();
}

void ApprovalCard::showHint(bool shown)
{
    if (m_hint->isHidden() != shown)
        return;
    m_hint->setVisible(shown);
    updateGeometry();
}

void ApprovalCard::retire()
{
    disconnect(m_focusWatch);
    if (holdsKeyboard() && m_typingTarget && m_typingTarget->isVisible())
        m_typingTarget->setFocus(Qt::OtherFocusReason);
    hide();
    deleteLater();
}

bool ApprovalCard::allowWrites()
{
    return m_look.offersAllowWrites && answer(true, true);
}

bool ApprovalCard::isArmed() const
{
    return m_armed || m_shown.elapsed() >= kArmDelayMs;
}

QString ApprovalCard::previewText() const
{
    return m_preview->toPlainText();
}

int ApprovalCard::buttonCount() const
{
    return m_allowWrites ? 3 : 2;
}

bool ApprovalCard::answer(bool approved, bool allowWrites)
{
    if (m_done || !isArmed())
        return false;
    m_done = true;
    emit answered(m_pending.id, approved, allowWrites);
    return true;
}

void ApprovalCard::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // A focused button answers for itself; otherwise Return approves.
        if (auto *button = qobject_cast<QAbstractButton *>(focusWidget()); button && isAncestorOf(button))
            button->click();
        else
            approve();
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape) {
        deny();
        event->accept();
        return;
    }
    // A person typing on the card meant the composer: the keys go on there.
    const QString text = event->text();
    if (m_typingTarget && !text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        QWidget *target = m_typingTarget;
        target->setFocus(Qt::OtherFocusReason);
        QKeyEvent again(event->type(), event->key(), event->modifiers(), text, event->isAutoRepeat(),
                        ushort(event->count()));
        QCoreApplication::sendEvent(target, &again);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ApprovalCard::applyLook()
{
    const glass::Styles &s = m_styles.styles();
    m_look = ApprovalText::look(m_pending.risk, s);
    const QColor text = glass::QirvTheme::color(s.skin.colors.text);
    const QColor secondary = glass::QirvTheme::color(s.skin.colors.textSecondary);

    m_symbol->setPixmap(glass::SymbolIcons::pixmap(m_look.symbol, 16, m_look.riskColor, devicePixelRatioF()));
    m_symbol->setFixedSize(18, 18);
    m_title->setFont(s.headline.font);
    glass::setInk(m_title, text);

    QFont badgeFont = s.caption.font;
    badgeFont.setPixelSize(qMax(9, badgeFont.pixelSize() - 1));
    badgeFont.setBold(true);
    m_badge->setFont(badgeFont);
    static_cast<Badge *>(m_badge)->tint = m_look.riskColor;
    glass::setInk(m_badge, m_look.riskColor);

    QFont nameFont = s.body.font;
    nameFont.setPixelSize(13);
    nameFont.setWeight(QFont::DemiBold);
    m_name->setFont(nameFont);
    glass::setInk(m_name, text);
    QFont summaryFont = s.caption.font;
    summaryFont.setWeight(QFont::Medium);
    m_summary->setFont(summaryFont);
    glass::setInk(m_summary, secondary);
    m_hint->setFont(s.caption.font);
    glass::setInk(m_hint, secondary);
    m_summary->setMaximumHeight(QFontMetrics(summaryFont).lineSpacing() * 2);

    QFont mono = s.mono.font;
    mono.setPixelSize(qMax(10, s.caption.font.pixelSize()));
    m_preview->setFont(mono);
    static_cast<PreviewWell *>(m_previewFrame)->light = s.light;
    QPalette pal = m_preview->palette();
    pal.setColor(QPalette::Text, m_look.previewColor);
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Highlight, withOpacity(glass::QirvTheme::color(s.skin.colors.accent), 0.28));
    pal.setColor(QPalette::HighlightedText, text);
    m_preview->setPalette(pal);

    // The markers stand out from the text around them.
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat markFormat;
    markFormat.setBackground(withOpacity(m_look.riskColor, 0.3));
    markFormat.setForeground(text);
    for (const VisiblePreview::Mark &mark : m_visible.marks) {
        if (marks.size() >= 4096)
            break;
        QTextCursor cursor(m_preview->document());
        cursor.setPosition(mark.start);
        cursor.setPosition(mark.start + mark.length, QTextCursor::KeepAnchor);
        marks.append({cursor, markFormat});
    }
    m_preview->setExtraSelections(marks);

    for (glass::StyledButton *b : {m_deny, m_allowWrites, m_approve})
        if (b)
            b->restyle();
    fitPreview();
    update();
}

int ApprovalCard::heightForWidth(int width) const
{
    return layout()->totalHeightForWidth(width);
}

void ApprovalCard::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitPreview();
}

void ApprovalCard::fitPreview()
{
    // As tall as the text up to the risk's limit; a longer preview scrolls.
    const int available = qMax(40, width() - 2 * kPad - 2 * kPreviewInset - 4);
    const QFontMetricsF fm(m_preview->font());
    const int limit = m_look.previewHeightLimit;
    const int maxRows = int(std::ceil(limit / fm.lineSpacing())) + 1;
    int rows = 0;
    const QStringList lines = m_visible.text.split(u'\n');
    for (const QString &line : lines) {
        rows += qMax(1, int(std::ceil(fm.horizontalAdvance(line) / available)));
        if (rows > maxRows)
            break;
    }
    const int h = qMin(limit, int(std::ceil(rows * fm.lineSpacing())) + 4);
    if (m_preview->height() != h || m_preview->minimumHeight() != h) {
        m_preview->setFixedHeight(h);
        updateGeometry();
    }
}

} // namespace chat
