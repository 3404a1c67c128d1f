#include "chat/welcome/ConnectEmberCapsule.h"

#include "glass/paint/Backdrop.h"
#include "glass/paint/BackdropBlur.h"
#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassPainter.h"
#include "glass/paint/GlassSurface.h"
#include "glass/paint/PaintBands.h"
#include "glass/paint/ShadowCache.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"

#include <QEasingCurve>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace chat {

namespace {

// The ember colours are the capsule's own, whatever the skin.
const QColor kWarmLight(0xFF, 0xC9, 0xA3);
const QColor kEmberDeep(0xF2, 0x61, 0x1F);
const QColor kEmberWarm(0xFF, 0x9E, 0x38);

constexpr int kPadX = 14;
constexpr int kPadY = 9;
constexpr int kSymbol = 13;
constexpr int kGap = 6;
constexpr int kGlowReach = 28;
// A frame while the pointer eases; a slow tick while only the breath moves.
constexpr int kFrameMs = 16;
constexpr int kBreathTickMs = 100;

QColor alpha(QColor c, qreal opacity)
{
    return glass::QirvTheme::withOpacity(c, opacity);
}

QFont labelFont(const glass::Styles &s)
{
    QFont f = s.body.font;
    f.setPixelSize(12);
    f.setWeight(QFont::DemiBold);
    return f;
}

} // namespace

ConnectEmberCapsule::ConnectEmberCapsule(const QString &title, const QString &symbol, glass::StyleStore &styles,
                                         QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_symbol(symbol)
{
    setObjectName(QStringLiteral("connectEmberCapsule"));
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // a click leaves the keyboard where it was
    glass::FocusRing::setShape(this, -1);
    setAttribute(Qt::WA_Hover);
    setAttribute(Qt::WA_NoSystemBackground);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    m_clock.start();
    m_ticker.setTimerType(Qt::CoarseTimer);
    connect(&m_ticker, &QTimer::timeout, this, &ConnectEmberCapsule::tick);
    m_glow = glass::paintAround(this, kGlowReach, [this](QPainter &p, const QRectF &host) {
        paintGlow(p, host.adjusted(kMargin, kMargin, -kMargin, -kMargin));
    });
    connect(&styles, &glass::StyleStore::changed, this, [this] {
        updateGeometry();
        update();
    });
    setReduceMotion(styles.reduceMotion());
    connect(&styles, &glass::StyleStore::reduceMotionChanged, this, &ConnectEmberCapsule::setReduceMotion);
}

double ConnectEmberCapsule::bloomTopOpacity(bool reduceMotion, double breath, double hover)
{
    const double base = reduceMotion ? 0.28 : 0.22 + 0.12 * breath;
    return base + 0.1 * hover;
}

double ConnectEmberCapsule::glowOpacity(bool reduceMotion, double breath, double hover)
{
    const double base = reduceMotion ? 0.25 : 0.2 + 0.1 * breath;
    return base + 0.08 * hover;
}

double ConnectEmberCapsule::breathAt(qint64 ms)
{
    const double phase = double(((ms % kBreathPeriodMs) + kBreathPeriodMs) % kBreathPeriodMs) / kBreathPeriodMs;
    const double x = phase < 0.5 ? phase * 2 : (1 - phase) * 2;
    return (1 - std::cos(std::numbers::pi * x)) / 2;
}

double ConnectEmberCapsule::bloomTopOpacity() const
{
    return bloomTopOpacity(m_reduceMotion, m_breath, m_hover);
}

double ConnectEmberCapsule::glowOpacity() const
{
    return glowOpacity(m_reduceMotion, m_breath, m_hover);
}

double ConnectEmberCapsule::scale() const
{
    // Held: 0.985; else hovering: 1.012; eased between.
    const double resting = 1.0 + 0.012 * m_hover;
    return resting + (0.985 - resting) * m_press;
}

void ConnectEmberCapsule::setReduceMotion(bool on)
{
    if (m_reduceMotion == on)
        return;
    m_reduceMotion = on;
    m_breath = 0;
    if (isVisible())
        startTicking();
    update();
    m_glow->update();
}

QSize ConnectEmberCapsule::sizeHint() const
{
    const QFontMetrics fm(labelFont(m_styles.styles()));
    const int content = qMax(fm.height(), kSymbol);
    const int width = kPadX + kSymbol + kGap + fm.horizontalAdvance(text()) + kPadX;
    return {width + 2 * kMargin, content + 2 * kPadY + 2 * kMargin};
}

QSize ConnectEmberCapsule::minimumSizeHint() const
{
    const QFontMetrics fm(labelFont(m_styles.styles()));
    const int shortest = std::min(fm.horizontalAdvance(text().left(3) + QChar(0x2026)), fm.horizontalAdvance(text()));
    return {kPadX + kSymbol + kGap + shortest + kPadX + 2 * kMargin, sizeHint().height()};
}

QRectF ConnectEmberCapsule::capsuleRect() const
{
    return QRectF(rect()).adjusted(kMargin, kMargin, -kMargin, -kMargin);
}

bool ConnectEmberCapsule::hitButton(const QPoint &pos) const
{
    return glass::FrostShape::capsule().path(capsuleRect()).contains(QPointF(pos));
}

void ConnectEmberCapsule::easeTo(Ease &ease, double current, double target, int duration)
{
    ease = Ease{current, target, m_clock.elapsed(), duration};
    startTicking();
}

double ConnectEmberCapsule::easeValue(const Ease &ease, qint64 now)
{
    if (ease.duration <= 0 || now >= ease.start + ease.duration)
        return ease.to;
    static const QEasingCurve out(QEasingCurve::OutQuad);
    const double t = double(now - ease.start) / ease.duration;
    return ease.from + (ease.to - ease.from) * out.valueForProgress(t);
}

void ConnectEmberCapsule::startTicking()
{
    tick();
}

void ConnectEmberCapsule::tick()
{
    const qint64 now = m_clock.elapsed();
    m_breath = m_reduceMotion ? 0 : breathAt(now);
    m_hover = easeValue(m_hoverEase, now);
    m_press = easeValue(m_pressEase, now);
    const bool easing = now < m_hoverEase.start + m_hoverEase.duration || now < m_pressEase.start + m_pressEase.duration;

    // Repaint by visible steps only: half an 8-bit level of the breathing
    // opacities is below what the eye (or the display) tells apart.
    const int level = int(std::lround(bloomTopOpacity() * 128)) * 1'000'000 +
                      int(std::lround(glowOpacity() * 128)) * 10'000 + int(std::lround(m_hover * 50)) * 100 +
                      int(std::lround(m_press * 50));
    if (level != m_shownLevel && isVisible() && !visibleRegion().isEmpty()) {
        m_shownLevel = level;
        update();
        m_glow->update();
    }

    if (!isVisible()) {
        m_ticker.stop();
        return;
    }
    const int interval = easing ? kFrameMs : (m_reduceMotion ? 0 : kBreathTickMs);
    if (interval == 0)
        m_ticker.stop();
    else if (!m_ticker.isActive() || m_ticker.interval() != interval)
        m_ticker.start(interval);
}

void ConnectEmberCapsule::showEvent(QShowEvent *event)
{
    QAbstractButton::showEvent(event);
    // Each appearance starts the breath at rest.
    m_clock.restart();
    m_hoverEase = {m_hover, m_hover, 0, 0};
    m_pressEase = {m_press, m_press, 0, 0};
    m_shownLevel = -1;
    startTicking();
}

void ConnectEmberCapsule::hideEvent(QHideEvent *event)
{
    QAbstractButton::hideEvent(event);
    m_ticker.stop();
}

void ConnectEmberCapsule::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateGeometry();
}

void ConnectEmberCapsule::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    m_hovering = true;
    easeTo(m_hoverEase, m_hover, 1, 180);
}

void ConnectEmberCapsule::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    m_hovering = false;
    easeTo(m_hoverEase, m_hover, 0, 180);
}

void ConnectEmberCapsule::mousePressEvent(QMouseEvent *event)
{
    QAbstractButton::mousePressEvent(event);
    if (isDown())
        easeTo(m_pressEase, m_press, 1, 100);
}

void ConnectEmberCapsule::mouseReleaseEvent(QMouseEvent *event)
{
    // Eased back before the click runs its action (which may hide us).
    easeTo(m_pressEase, m_press, 0, 180);
    QAbstractButton::mouseReleaseEvent(event);
}

ConnectEmberCapsule::SoftLight ConnectEmberCapsule::softLight(QSizeF capsule, QPointF unitCentre, qreal endRadius,
                                                              qreal blur, const QColor &color, qreal dpr)
{
    SoftLight soft;
    soft.margin = glass::BackdropBlur::softMargin(blur);
    const QSizeF logical = capsule + QSizeF(2 * soft.margin, 2 * soft.margin);
    soft.image = QImage((logical * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (soft.image.isNull())
        return soft;
    soft.image.fill(Qt::transparent);
    {
        QPainter p(&soft.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr, dpr);
        p.translate(soft.margin, soft.margin);
        const QRectF box(QPointF(0, 0), capsule);
        QRadialGradient g(QPointF(unitCentre.x() * box.width(), unitCentre.y() * box.height()), endRadius);
        g.setColorAt(0, color);
        g.setColorAt(1, alpha(color, 0));
        p.fillPath(glass::FrostShape::capsule().path(box), g);
    }
    glass::BackdropBlur::boxBlur(soft.image, int(std::lround(blur * dpr)));
    soft.image.setDevicePixelRatio(dpr);
    return soft;
}

const ConnectEmberCapsule::SoftLight &ConnectEmberCapsule::bloom(QSizeF capsule, qreal dpr)
{
    if (capsule != m_lightsFor || dpr != m_lightsDpr) {
        m_lightsFor = capsule;
        m_lightsDpr = dpr;
        // Full strength here; the breathing opacity is applied as it is drawn.
        m_bloom = softLight(capsule, QPointF(0.5, -0.35), 240, 8, kWarmLight, dpr);
        m_ember = softLight(capsule, QPointF(0.5, 1.35), 200, 10, kEmberDeep, dpr);
    }
    return m_bloom;
}

const ConnectEmberCapsule::SoftLight &ConnectEmberCapsule::ember(QSizeF capsule, qreal dpr)
{
    bloom(capsule, dpr);
    return m_ember;
}

void ConnectEmberCapsule::paintGlow(QPainter &p, const QRectF &capsule)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    glass::ShadowCache &cache = glass::ShadowCache::forStyles(m_styles);
    const glass::FrostShape shape = glass::FrostShape::capsule();
    const QPointF centre = capsule.center();
    p.save();
    p.translate(centre);
    p.scale(scale(), scale());
    p.translate(-centre);
    const auto draw = [&](const QColor &color, qreal radius, QPointF offset, qreal opacity) {
        if (opacity <= 0)
            return;
        const QImage image = cache.shadow(capsule.size(), shape, color, radius, dpr);
        const qreal margin = glass::BackdropBlur::softMargin(radius * dpr) / dpr;
        p.setOpacity(opacity);
        p.drawImage(QRectF(capsule.topLeft() + offset - QPointF(margin, margin), QSizeF(image.size()) / dpr), image);
    };
    // The ember glow tightens while held: the two radii cross-fade.
    const double glow = glowOpacity();
    draw(kEmberDeep, 14, QPointF(0, 4), glow * (1 - m_press));
    draw(kEmberDeep, 10, QPointF(0, 4), glow * m_press);
    draw(QColor(0, 0, 0), 8, QPointF(0, 2), 0.3);
    p.restore();
}

void ConnectEmberCapsule::paintEvent(QPaintEvent *event)
{
    ++m_paints;
    QPainter p(this);
    QImage symbol;
    // In bands: its shaped fills and rims make several spans a row, and the
    // raster engine would share each out to its thread pool, with every
    // frame of a video stage.
    glass::paintInBands(p, event->rect() & rect(), [&](const QRect &) { paintCapsule(p, symbol); },
                        glass::kPathBandRows);
}

void ConnectEmberCapsule::paintCapsule(QPainter &p, QImage &symbol)
{
    const glass::Styles &s = m_styles.styles();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF capsule = capsuleRect();
    const QPointF centre = capsule.center();
    p.translate(centre);
    p.scale(scale(), scale());
    p.translate(-centre);

    const glass::FrostShape shape = glass::FrostShape::capsule();
    const QPainterPath path = shape.path(capsule);
    const qreal h = capsule.height();

    p.save();
    // Within the band being painted: a clip replaced would paint the whole
    // body again for every band.
    p.setClipPath(path, Qt::IntersectClip);
    const glass::BackdropLocation where = glass::locateBackdrop(this);
    const glass::BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
    glass::GlassPainter::frostShape(p, capsule, shape, glass::QirvTheme::FrostRole::field, false, false, s.skin, frame,
                                    where.origin);
    p.fillPath(path, alpha(glass::QirvTheme::color(s.skin.colors.elevated), 0.32));
    // On light glass the white label needs a dark ground: the dark glass
    // tone, under the ember light.
    if (s.light)
        p.fillPath(path, alpha(glass::QirvTheme::materialBand(false).tone, 0.9));

    // The warm bloom above the top edge and the deep glow below the bottom,
    // each blurred (so they melt away towards the rim), then clipped.
    const qreal dpr = devicePixelRatioF();
    const auto light = [&](const SoftLight &soft, qreal opacity) {
        p.setOpacity(opacity);
        p.drawImage(QRectF(capsule.topLeft() - QPointF(soft.margin, soft.margin),
                           QSizeF(soft.image.size()) / soft.image.devicePixelRatio()),
                    soft.image);
        p.setOpacity(1);
    };
    light(bloom(capsule.size(), dpr), bloomTopOpacity());
    light(ember(capsule.size(), dpr), 0.18);

    p.fillPath(path, alpha(glass::GlassPainter::fillMaterialTint(glass::QirvTheme::FillMaterial::ultraThin, false), 0.3));
    QLinearGradient sheen(capsule.topLeft(), QPointF(capsule.left(), centre.y()));
    sheen.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.1f));
    sheen.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    p.fillPath(path, sheen);
    QLinearGradient shade(QPointF(capsule.left(), centre.y()), capsule.bottomLeft());
    shade.setColorAt(0, QColor::fromRgbF(0, 0, 0, 0));
    shade.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0.15f));
    p.fillPath(path, shade);
    p.restore();

    // The rim: a white edge brighter at the top, and a thin ember line.
    QLinearGradient rim(capsule.topLeft(), capsule.bottomLeft());
    rim.setColorAt(0, QColor::fromRgbF(1, 1, 1, float(0.45 + 0.1 * m_hover)));
    rim.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0.06f));
    glass::GlassPainter::innerBorder(p, capsule, shape, rim, 1);
    glass::GlassPainter::innerBorder(p, capsule, shape, alpha(kEmberWarm, 0.18), 0.6);

    // The label with its warm glow.
    const QFont font = labelFont(s);
    const QFontMetricsF fm(font);
    const QString label = fm.elidedText(text(), Qt::ElideRight, capsule.width() - (kPadX + kSymbol + kGap + kPadX) + 0.5);
    const qreal textWidth = fm.horizontalAdvance(label);
    const qreal left = centre.x() - (kSymbol + kGap + textWidth) / 2;
    const QRectF symbolBox(left, centre.y() - kSymbol / 2.0, kSymbol, kSymbol);
    const QRectF textBox(left + kSymbol + kGap, capsule.top(), textWidth + 1, h);
    p.setFont(font);
    p.setPen(alpha(kEmberWarm, 0.22));
    for (const QPointF d : {QPointF(0, 1), QPointF(0, -1), QPointF(1, 0), QPointF(-1, 0)})
        p.drawText(textBox.translated(d), Qt::AlignLeft | Qt::AlignVCenter, label);
    if (symbol.isNull())
        symbol = glass::SymbolIcons::render(m_symbol, symbolBox.size(), QColor(Qt::white), dpr);
    p.drawImage(symbolBox, symbol);
    p.setPen(Qt::white);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, label);
}

} // namespace chat
