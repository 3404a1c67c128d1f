#include "chat/transcript/ActivityMarks.h"

#include "chat/transcript/SparkleStar.h"
#include "glass/look/QirvTheme.h"
#include "glass/sheets/ReaderAccess.h"
#include "glass/look/Styles.h"

#include <QDateTime>
#include <QPainter>

#include <cmath>

namespace chat {

const std::array<RestingActivityMark::Particle, 5> RestingActivityMark::particles{{
    {0.0, -6.5, 8.5, 0.92},
    {6.2, 1.2, 5.5, 0.75},
    {-1.0, 5.8, 6.5, 0.82},
    {-6.0, -1.4, 4.5, 0.70},
    {3.2, -3.8, 3.8, 0.65},
}};

const std::array<BreathingActivityMark::Particle, 5> BreathingActivityMark::particles{{
    {0.0, -12.5, 15.5, 0.30, 2.05, 1.55, 0.00, 0.25, 32},
    {11.5, -3.2, 10.0, 0.28, 1.92, 1.90, 1.15, 0.35, -44},
    {7.2, 10.0, 11.0, 0.29, 1.98, 1.70, 2.20, 0.30, 40},
    {-8.5, 9.2, 12.5, 0.30, 2.00, 1.65, 3.10, 0.30, 38},
    {-11.8, -2.8, 8.5, 0.26, 2.10, 2.15, 4.00, 0.40, -56},
}};

RestingActivityMark::RestingActivityMark(glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setFixedSize(22, 22);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Decoration: "Ready" beside it says the same.
    glass::hideFromReaders(this);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

QColor RestingActivityMark::tint(const stage::UISkin &skin)
{
    const QColor accent = glass::QirvTheme::color(skin.colors.accent);
    return skin.isLight() ? glass::QirvTheme::withOpacity(accent, 0.9) : QColor(Qt::white);
}

void RestingActivityMark::paintEvent(QPaintEvent *)
{
    const stage::UISkin &skin = m_styles.styles().skin;
    const bool light = skin.isLight();
    const QColor accent = glass::QirvTheme::color(skin.colors.accent);
    const QColor tint = RestingActivityMark::tint(skin);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    for (const Particle &star : particles) {
        const QRectF box(centre.x() + star.x - star.size / 2, centre.y() + star.y - star.size / 2, star.size, star.size);
        const QPainterPath path = SparkleStar::path(box);
        p.fillPath(path, glass::QirvTheme::withOpacity(tint, star.opacity));
        p.strokePath(path, QPen(glass::QirvTheme::withOpacity(accent, light ? 0.75 : 0.55), 0.7));
    }
}

BreathingActivityMark::Star BreathingActivityMark::star(int index, double t)
{
    const Particle &q = particles[index];
    Star s{};
    const double p = q.phase + t * q.speed;
    const double u = std::min((std::sin(p) * 0.5 + 0.5) * 1.15, 1.0);
    const double smooth = u * u * (3 - 2 * u);
    const double w = smooth * smooth;
    const double scale = q.minScale + (q.maxScale - q.minScale) * w;
    const double f = 1 - 0.75 * w;
    const double jx = q.jitter * std::sin(p * 0.5 + index) * f;
    const double jy = q.jitter * std::cos(p * 0.65 + index * 1.3) * f;
    const double m = 1 - 0.62 * w;
    const double px = q.x * m + jx;
    const double py = q.y * m + jy;
    const double g = std::fmod(t * 55, 360) * M_PI / 180;
    s.centre = QPointF(std::cos(g) * px - std::sin(g) * py, std::sin(g) * px + std::cos(g) * py);
    s.angle = std::fmod(t * q.spin, 360) * M_PI / 180;
    s.size = q.size * scale;
    s.w = w;
    s.opacity = 0.3 + 0.7 * w;
    s.fillOpacity = 0.78 + 0.22 * w;
    s.strokeOpacity = 0.35 + 0.65 * w;
    s.strokeWidth = 0.8 + 0.7 * w;
    s.dot = std::max(s.size * (0.12 + 0.18 * w), 1.8);
    s.dotOpacity = 0.35 + 0.65 * w;
    return s;
}

BreathingActivityMark::BreathingActivityMark(glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setFixedSize(54, 54);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Decoration: the status text beside it says the same.
    glass::hideFromReaders(this);
    m_tick.setInterval(1000 / 30);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    // With the desktop asking for less motion the stars hold still.
    connect(&styles, &glass::StyleStore::reduceMotionChanged, this, [this] {
        if (isVisible() && !m_styles.reduceMotion())
            m_tick.start();
        else
            m_tick.stop();
        update();
    });
}

bool BreathingActivityMark::isMoving() const
{
    return m_tick.isActive();
}

void BreathingActivityMark::showEvent(QShowEvent *event)
{
    if (!m_styles.reduceMotion())
        m_tick.start();
    QWidget::showEvent(event);
}

void BreathingActivityMark::hideEvent(QHideEvent *event)
{
    m_tick.stop();
    QWidget::hideEvent(event);
}

void BreathingActivityMark::paint(QPainter &p, const QSizeF &size, double t, const QColor &accent)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < int(particles.size()); ++i) {
        const Star s = star(i, t);
        const QPointF centre(size.width() / 2 + s.centre.x(), size.height() / 2 + s.centre.y());
        QTransform placed;
        placed.translate(centre.x(), centre.y());
        placed.rotateRadians(s.angle);
        placed.translate(-s.size / 2, -s.size / 2);
        const QPainterPath path = placed.map(SparkleStar::path(QRectF(0, 0, s.size, s.size)));
        p.setOpacity(s.opacity);
        p.fillPath(path, glass::QirvTheme::withOpacity(Qt::white, s.fillOpacity));
        p.strokePath(path, QPen(glass::QirvTheme::withOpacity(accent, s.strokeOpacity), s.strokeWidth));
        p.setOpacity(s.dotOpacity);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(centre, s.dot / 2, s.dot / 2);
    }
    p.restore();
}

void BreathingActivityMark::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const double t = m_styles.reduceMotion() ? kStillTime : QDateTime::currentMSecsSinceEpoch() / 1000.0;
    paint(p, size(), t, glass::QirvTheme::color(m_styles.styles().skin.colors.accent));
}

} // namespace chat
