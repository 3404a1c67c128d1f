#include "glass/paint/HairlineRule.h"

#include "glass/look/Styles.h"

#include <QPainter>

namespace glass {

HairlineRule::HairlineRule(StyleStore &styles, Tone tone, QWidget *parent)
    : QWidget(parent), m_styles(styles), m_tone(std::move(tone))
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&m_styles, &StyleStore::changed, this, [this] { update(); });
}

void HairlineRule::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), m_tone(m_styles.styles()));
}

} // namespace glass
