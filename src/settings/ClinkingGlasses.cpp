#include "settings/ClinkingGlasses.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>

namespace settings {

ClinkingGlasses::ClinkingGlasses(QWidget *parent) : QAbstractButton(parent)
{
    setText(QStringLiteral("\U0001F37B"));
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Cheers \u2014 same tip jar, more fun door."));
    // The button beside it is "Buy me a drink": a name of its own.
    setAccessibleName(QStringLiteral("Cheers"));
    setFixedSize(sizeHint());
    QFont f = font();
    f.setPixelSize(24);
    setFont(f);

    m_tiltAnimation = new QVariantAnimation(this);
    connect(m_tiltAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_tilt = value.toReal();
        update();
    });
    m_scaleAnimation = new QVariantAnimation(this);
    m_scaleAnimation->setDuration(150);
    m_scaleAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_scaleAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_scale = value.toReal();
        update();
    });

    // The tilt goes out and comes back; the action is the owner's clicked().
    connect(this, &QAbstractButton::pressed, this, [this] {
        if (m_reduceMotion)
            return;
        tiltTo(16, 140);
        QTimer::singleShot(160, this, [this] { tiltTo(0, 300); });
    });
}

void ClinkingGlasses::tiltTo(qreal degrees, int ms)
{
    m_tiltAnimation->stop();
    m_tiltAnimation->setStartValue(m_tilt);
    m_tiltAnimation->setEndValue(degrees);
    m_tiltAnimation->setDuration(ms);
    // A spring that overshoots a little.
    m_tiltAnimation->setEasingCurve(QEasingCurve::OutBack);
    m_tiltAnimation->start();
}

void ClinkingGlasses::enterEvent(QEnterEvent *event)
{
    m_scaleAnimation->stop();
    m_scaleAnimation->setStartValue(m_scale);
    m_scaleAnimation->setEndValue(1.12);
    m_scaleAnimation->start();
    QAbstractButton::enterEvent(event);
}

void ClinkingGlasses::leaveEvent(QEvent *event)
{
    m_scaleAnimation->stop();
    m_scaleAnimation->setStartValue(m_scale);
    m_scaleAnimation->setEndValue(1.0);
    m_scaleAnimation->start();
    QAbstractButton::leaveEvent(event);
}

void ClinkingGlasses::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(rect().center());
    p.rotate(m_tilt);
    p.scale(m_scale, m_scale);
    if (QFontMetrics(font()).inFontUcs4(0x1F37B)) {
        p.setFont(font());
        p.drawText(QRectF(-width() / 2.0, -height() / 2.0, width(), height()), Qt::AlignCenter, text());
        return;
    }
    // No colour emoji font: two mugs of our own, leaning together.
    const QColor beer(0xF2, 0xA9, 0x1C), foam(0xFF, 0xF8, 0xE7), rim(0x8A, 0x5A, 0x12);
    for (const int side : {-1, 1}) {
        p.save();
        p.translate(side * 6.5, 2);
        p.rotate(side * 12);
        const QRectF mug(-5, -7, 10, 14);
        p.setPen(QPen(rim, 1.2));
        p.setBrush(beer);
        p.drawRoundedRect(mug, 2, 2);
        p.setBrush(foam);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(-5.5, -9.5, 11, 4.5), 2.2, 2.2);
        p.setPen(QPen(rim, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(side * 4 - (side < 0 ? 4 : 0), -3, 4.5, 7), side < 0 ? 90 * 16 : -90 * 16, 180 * 16);
        p.restore();
    }
}

} // namespace settings
