#include "settings/BusyIndicator.h"

#include "glass/controls/SpinnerRing.h"

#include <QFontMetrics>
#include <QPainter>

namespace settings {

namespace {
constexpr int kSpinner = 14;
constexpr int kGap = 8;
} // namespace

BusyIndicator::BusyIndicator(const QString &label, QWidget *parent) : QWidget(parent), m_label(label)
{
    m_ring = new glass::SpinnerRing(this, std::chrono::milliseconds(80));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void BusyIndicator::setLook(const QFont &font, const QColor &color)
{
    m_font = font;
    m_color = color;
    updateGeometry();
    update();
}

QSize BusyIndicator::sizeHint() const
{
    const QFontMetrics metrics(m_font);
    int width = kSpinner;
    if (!m_label.isEmpty())
        width += kGap + metrics.horizontalAdvance(m_label);
    return QSize(width, std::max(kSpinner + 4, metrics.height()));
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF spinner(1, (height() - kSpinner) / 2.0 + 1, kSpinner - 2, kSpinner - 2);
    QColor track = m_color;
    track.setAlphaF(0.25f);
    m_ring->paint(p, spinner, track, m_color);
    if (m_label.isEmpty())
        return;
    p.setFont(m_font);
    p.setPen(m_color);
    p.drawText(QRectF(kSpinner + kGap, 0, width() - kSpinner - kGap, height()), Qt::AlignVCenter | Qt::AlignLeft,
               m_label);
}

} // namespace settings
