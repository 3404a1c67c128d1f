#include "settings/SettingsButton.h"

#include "glass/controls/FocusRing.h"
#include "glass/look/SymbolIcons.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace settings {

namespace {
constexpr int kSymbol = 14;
constexpr int kGap = 6;
} // namespace

SettingsButton::SettingsButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_spin = new QTimer(this);
    m_spin->setInterval(80);
    connect(m_spin, &QTimer::timeout, this, [this] {
        m_spinAngle = (m_spinAngle + 30) % 360;
        update();
    });
}

void SettingsButton::setButtonStyle(const glass::ButtonStyle &style)
{
    m_style = style;
    setFont(style.font);
    glass::FocusRing::setShape(this, style.radius);
    updateGeometry();
    update();
}

void SettingsButton::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    // Offscreen or hidden, the spinner does not need to turn.
    if (busy && isVisible())
        m_spin->start();
    else
        m_spin->stop();
    update();
}

QSize SettingsButton::sizeHint() const
{
    const QFontMetrics metrics(m_style.font);
    int width = metrics.horizontalAdvance(text());
    if (!m_leading.isEmpty())
        width += kSymbol + kGap;
    if (!m_trailing.isEmpty())
        width += kSymbol + kGap;
    width += m_style.padding.left() + m_style.padding.right();
    return QSize(width, m_style.height);
}

void SettingsButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SettingsButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SettingsButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    QColor fill = m_style.fill;
    if (!enabled)
        fill = m_style.fillDisabled;
    else if (isDown())
        fill = m_style.fillPressed;
    else if (m_hovered)
        fill = m_style.fillHover;
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, m_style.radius, m_style.radius);
    p.fillPath(shape, fill);
    if (m_style.stroke.alpha() > 0) {
        p.setPen(QPen(m_style.stroke, 1));
        p.drawPath(shape);
    }

    const QColor ink = enabled ? m_style.text : m_style.textDisabled;
    if (m_busy) {
        const QRectF spinner(QPointF(0, 0), QSizeF(12, 12));
        QRectF placed = spinner;
        placed.moveCenter(QRectF(rect()).center());
        p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(placed, -m_spinAngle * 16, 270 * 16);
        return;
    }

    const QFontMetrics metrics(m_style.font);
    int content = metrics.horizontalAdvance(text());
    if (!m_leading.isEmpty())
        content += kSymbol + kGap;
    if (!m_trailing.isEmpty())
        content += kSymbol + kGap;
    qreal x = (width() - content) / 2.0;
    const qreal symbolTop = (height() - kSymbol) / 2.0;
    const auto drawSymbol = [&](const QString &name, qreal at, qreal opacity) {
        const QImage image = glass::SymbolIcons::render(name, QSizeF(kSymbol, kSymbol), ink, devicePixelRatioF());
        p.setOpacity(opacity);
        p.drawImage(QPointF(at, symbolTop), image);
        p.setOpacity(1);
    };
    if (!m_leading.isEmpty()) {
        drawSymbol(m_leading, x, 1.0);
        x += kSymbol + kGap;
    }
    p.setFont(m_style.font);
    p.setPen(ink);
    const int textWidth = metrics.horizontalAdvance(text());
    p.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    x += textWidth + kGap;
    if (!m_trailing.isEmpty())
        drawSymbol(m_trailing, x, 0.75);
}

} // namespace settings
