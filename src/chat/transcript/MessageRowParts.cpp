#include "chat/transcript/MessageRowParts.h"

#include "chat/transcript/MessageChrome.h"
#include "glass/paint/Backdrop.h"
#include "glass/look/Contrast.h"
#include "glass/look/Motion.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVariantAnimation>
#include <QToolTip>

#include <cmath>

namespace chat {

using glass::QirvTheme::color;
using glass::QirvTheme::withOpacity;

namespace {

// The small chrome around a bubble lies on the list's glass, held for the
// bubble's text or not at all; its own ink needs a band of its own.
struct InkOnGlass {
    bool light = false; // light glass behind it
    QColor ink;
};

// The band ink reads best on, and ink itself unless it falls short of goal
// against the band's edge under fill: then it is moved away from the glass
// (darker on light glass, lighter on dark) just far enough. The edge is the
// worst case: the held glass only lies further from the ink.
InkOnGlass inkOnGlass(const QColor &ink, const QColor &fill, double goal)
{
    using glass::Contrast::luminance;
    using glass::Contrast::over;
    using glass::Contrast::ratio;
    const auto under = [&](bool light) { return over(fill, glass::QirvTheme::materialBand(light).edge); };
    // On the wrong side of the edge, the glass behind could match the ink.
    const auto reads = [&](const QColor &c, bool light) {
        const QColor base = under(light);
        const QColor seen = over(c, base);
        return (luminance(seen) < luminance(base)) == light ? ratio(seen, base) : 1.0;
    };
    const bool light = reads(ink, true) > reads(ink, false);
    if (reads(ink, light) >= goal)
        return {light, ink};
    const QColor start = over(ink, under(light));
    const QColor target = light ? QColor(Qt::black) : QColor(Qt::white);
    const auto mix = [&](double t) {
        return QColor::fromRgbF(start.redF() + (target.redF() - start.redF()) * t,
                                start.greenF() + (target.greenF() - start.greenF()) * t,
                                start.blueF() + (target.blueF() - start.blueF()) * t);
    };
    double lo = 0, hi = 1;
    for (int i = 0; i < 20; ++i) {
        const double mid = (lo + hi) / 2;
        (reads(mix(mid), light) >= goal ? hi : lo) = mid;
    }
    return {light, mix(hi)};
}

// The held glass within shape (widget coordinates). Painted straight from
// the stage's blurred copy: the pieces are small, and a layer of their own
// in the list's backdrop sheet would cost every width change more than
// painting them does. Without a stage nothing is drawn, as there is no
// wallpaper to hold.
void paintHeldGlass(QPainter &p, const QWidget *widget, const QPainterPath &shape, bool light)
{
    const glass::BackdropLocation where = glass::locateBackdrop(widget);
    const QRect area = shape.boundingRect().toAlignedRect() & widget->rect();
    if (!where.provider || area.isEmpty())
        return;
    const MessageChrome::TurnGlass look{light, MessageChrome::materialOpacity(1), QColor(Qt::transparent)};
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(shape, Qt::IntersectClip);
    MessageChrome::paintGlass(p, QRectF(area), look, &where.provider->backdropFrame(), where.origin);
    p.restore();
}

// The copy button is drawn at this opacity while shown.
constexpr qreal kCopyOpacity = 0.72;
// A little above 3: the held glass is smoothed from a coarser grid.
constexpr qreal kSymbolGoal = 3.2;

} // namespace

MessageRowCopyButton::MessageRowCopyButton(glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles)
{
    setFixedSize(kSide, kSide);
    setCursor(Qt::PointingHandCursor);
    // Tab reaches it; the list keeps a row holding the keyboard bound to
    // its message while it scrolls away.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Copy"));
    m_fading = new QVariantAnimation(this);
    m_fading->setObjectName(QStringLiteral("copyFade"));
    m_fading->setDuration(kFadeMs);
    m_fading->setEasingCurve(glass::Motion::easeOut());
    connect(m_fading, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_fade = value.toDouble();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [this] {
        // Each click schedules its own reset; the first one clears the mark.
        m_copied = 1;
        m_hovering = true;
        fadeTo(true);
        QTimer::singleShot(1200, this, [this] {
            m_copied = 0;
            fadeTo(true);
        });
    });
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    connect(&styles, &glass::StyleStore::changed, this, &MessageRowCopyButton::applyLook);
    applyLook();
}

void MessageRowCopyButton::applyLook()
{
    // The symbol as the eye gets it through the button's opacity, over the
    // box on the held glass.
    const stage::SkinColors &c = m_styles.styles().skin.colors;
    const QColor symbol = withOpacity(color(c.textTertiary), kCopyOpacity);
    const InkOnGlass held = inkOnGlass(symbol, withOpacity(color(c.elevated2), 0.45 * kCopyOpacity), kSymbolGoal);
    m_lightGlass = held.light;
    glass::setInk(this, held.ink);
    update();
}

void MessageRowCopyButton::setHovering(bool on, bool animated)
{
    if (m_hovering == on && (animated || m_fading->state() != QAbstractAnimation::Running))
        return;
    m_hovering = on;
    fadeTo(animated);
}

void MessageRowCopyButton::setCopied(bool on)
{
    m_copied = on ? 1 : 0;
    fadeTo(false);
}

void MessageRowCopyButton::fadeTo(bool animated)
{
    // Clicks reach it exactly while it is meant to be seen, fading or not.
    setAttribute(Qt::WA_TransparentForMouseEvents, !isShown());
    const double target = isShown() ? 1 : 0;
    const int ms = animated ? glass::Motion::duration(m_styles, kFadeMs) : 0;
    if (m_fading->state() == QAbstractAnimation::Running) {
        if (m_fading->endValue().toDouble() == target && ms > 0)
            return;
        m_fading->stop();
    }
    if (ms <= 0 || m_fade == target) {
        m_fade = target;
        update();
        return;
    }
    m_fading->setStartValue(m_fade);
    m_fading->setEndValue(target);
    m_fading->start();
}

bool MessageRowCopyButton::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           isCopied() ? QStringLiteral("Copied") : QStringLiteral("Copy"), this);
        return true;
    }
    return QAbstractButton::event(event);
}

void MessageRowCopyButton::focusInEvent(QFocusEvent *event)
{
    QAbstractButton::focusInEvent(event);
    m_keyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    fadeTo(true);
}

void MessageRowCopyButton::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    m_keyboard = false;
    fadeTo(true);
}

void MessageRowCopyButton::paintEvent(QPaintEvent *)
{
    if (m_fade <= 0)
        return;
    const stage::SkinColors &c = m_styles.styles().skin.colors;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_fade);
    const QRectF box(6, 6, 24, 24);
    QPainterPath square;
    square.addRoundedRect(box, 8, 8);
    paintHeldGlass(p, this, square, m_lightGlass);
    p.setOpacity(kCopyOpacity * m_fade);
    p.setPen(QPen(withOpacity(color(c.border), 0.35), 0.5));
    p.setBrush(withOpacity(color(c.elevated2), 0.45));
    p.drawRoundedRect(box.adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
    // The palette's symbol colour has the opacity in it already.
    p.setOpacity(m_fade);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QRectF glyph = box.adjusted(7, 7, -7, -7);
    if (isCopied()) {
        QPainterPath tick;
        tick.moveTo(glyph.left(), glyph.center().y());
        tick.lineTo(glyph.left() + glyph.width() * 0.38, glyph.bottom() - 1);
        tick.lineTo(glyph.right(), glyph.top() + 1);
        p.drawPath(tick);
    } else {
        const qreal s = glyph.width() * 0.66;
        p.drawRoundedRect(QRectF(glyph.right() - s, glyph.top(), s, s), 1.5, 1.5);
        p.drawRoundedRect(QRectF(glyph.left(), glyph.bottom() - s, s, s), 1.5, 1.5);
    }
}

MessageRowTools::MessageRowTools(glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, &MessageRowTools::applyLook);
    applyLook();
}

void MessageRowTools::applyLook()
{
    const stage::SkinColors &c = m_styles.styles().skin.colors;
    const InkOnGlass held = inkOnGlass(color(c.textSecondary), withOpacity(color(c.elevated), 0.42), kSymbolGoal);
    m_lightGlass = held.light;
    glass::setInk(this, held.ink);
    update();
}

void MessageRowTools::setTools(const QList<model::ToolCallRecord> &tools)
{
    m_names.clear();
    for (const model::ToolCallRecord &tool : tools)
        m_names.append(tool.name);
    updateGeometry();
    update();
}

QFont MessageRowTools::chipFont() const
{
    QFont font = m_styles.styles().caption.font;
    font.setPixelSize(11);
    font.setWeight(QFont::Medium);
    return font;
}

qreal MessageRowTools::chipWidth(const QString &name) const
{
    return kPadX + kSymbol + kGap + QFontMetricsF(chipFont()).horizontalAdvance(name) + kPadX;
}

QRectF MessageRowTools::chipRect(int index) const
{
    if (index < 0 || index >= m_names.size())
        return {};
    const qreal h = std::ceil(QFontMetricsF(chipFont()).height()) + 2 * kPadY;
    return {0.5, index * (h + kChipSpacing) + 0.5, std::ceil(chipWidth(m_names[index])) - 1, h - 1};
}

QRectF MessageRowTools::symbolRect(int index) const
{
    const QRectF chip = chipRect(index);
    if (chip.isNull())
        return {};
    return {chip.left() - 0.5 + kPadX, chip.center().y() - kSymbol / 2, kSymbol, kSymbol};
}

QSize MessageRowTools::sizeHint() const
{
    if (m_names.isEmpty())
        return {0, 0};
    qreal widest = 0;
    for (const QString &name : m_names)
        widest = std::max(widest, std::ceil(chipWidth(name)));
    const QRectF last = chipRect(int(m_names.size()) - 1);
    return {int(widest), int(std::ceil(last.bottom() + 0.5))};
}

void MessageRowTools::paintEvent(QPaintEvent *)
{
    const stage::SkinColors &c = m_styles.styles().skin.colors;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(chipFont());
    const QColor ink = palette().color(QPalette::WindowText);
    const qreal dpr = devicePixelRatioF();
    if (m_symbol.isNull() || m_symbol.devicePixelRatio() != dpr || m_symbol.text(QStringLiteral("ink")) != ink.name(QColor::HexArgb)) {
        m_symbol = glass::SymbolIcons::render(QStringLiteral("wrench.and.screwdriver"), QSizeF(kSymbol, kSymbol), ink, dpr);
        m_symbol.setText(QStringLiteral("ink"), ink.name(QColor::HexArgb));
    }
    for (int i = 0; i < m_names.size(); ++i) {
        const QRectF chip = chipRect(i);
        const qreal radius = (chip.height() + 1) / 2;
        QPainterPath capsule;
        capsule.addRoundedRect(chip, radius, radius);
        paintHeldGlass(p, this, capsule, m_lightGlass);
        p.setPen(QPen(withOpacity(color(c.border), 0.4), 0.5));
        p.setBrush(withOpacity(color(c.elevated), 0.42));
        p.drawRoundedRect(chip, radius, radius);
        const QRectF symbol = symbolRect(i);
        p.drawImage(symbol, m_symbol);
        p.setPen(ink);
        const qreal textLeft = symbol.right() + kGap;
        p.drawText(QRectF(textLeft, chip.top(), chip.right() - textLeft, chip.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, m_names[i]);
    }
}

MessageRowRetryButton::MessageRowRetryButton(glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles)
{
    setText(QStringLiteral("Retry"));
    setToolTip(QStringLiteral("Retry"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // a row holding the keyboard is kept for its message
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, &MessageRowRetryButton::applyLook);
    applyLook();
}

void MessageRowRetryButton::applyLook()
{
    glass::setInk(this, withOpacity(color(m_styles.styles().skin.colors.text), 0.78));
    update();
}

QSize MessageRowRetryButton::sizeHint() const
{
    QFont font = m_styles.styles().caption.font;
    font.setWeight(QFont::DemiBold);
    const QFontMetrics fm(font);
    return {fm.height() + 4 + fm.horizontalAdvance(text()), fm.height()};
}

void MessageRowRetryButton::paintEvent(QPaintEvent *)
{
    QFont font = m_styles.styles().caption.font;
    font.setWeight(QFont::DemiBold);
    // Pressed: the skin's text at 0.55 instead of 0.78.
    const QColor rest = palette().color(QPalette::WindowText);
    const QColor ink = isDown() ? withOpacity(rest, 0.55 / 0.78) : rest;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(font);
    const qreal s = fm.height() * 0.72;
    const QRectF arc(1, (height() - s) / 2, s, s);
    p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arc, 90 * 16, -300 * 16);
    // The arrow head at the arc's start, pointing clockwise.
    QPainterPath head;
    head.moveTo(arc.center().x() - 1, arc.top() - 2);
    head.lineTo(arc.center().x() + 2, arc.top());
    head.lineTo(arc.center().x() - 1, arc.top() + 2);
    p.drawPath(head);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRectF(fm.height() + 4, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace chat
