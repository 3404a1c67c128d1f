#include "panels/ActivitySpinner.h"

#include "glass/controls/SpinnerRing.h"
#include "glass/look/Styles.h"

#include <QPainter>

namespace panels {

ActivitySpinner::ActivitySpinner(glass::StyleStore &styles, QWidget *parent) : QWidget(parent), m_styles(styles)
{
    setFixedSize(16, 16);
    m_ring = new glass::SpinnerRing(this, std::chrono::milliseconds(50));
}

void ActivitySpinner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    QColor track = s.textTertiary;
    track.setAlphaF(0.3f);
    m_ring->paint(p, QRectF(rect()).adjusted(2, 2, -2, -2), track, s.textSecondary);
}

} // namespace panels
