#include "window/SlidePicture.h"

#include <QPainter>

namespace window {

SlidePicture::SlidePicture(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void SlidePicture::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void SlidePicture::clear()
{
    hide();
    m_picture = QPixmap();
}

void SlidePicture::setPlacement(QPoint offset, qreal opacity)
{
    if (offset == m_offset && opacity == m_opacity)
        return;
    m_offset = offset;
    m_opacity = opacity;
    update();
}

void SlidePicture::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull() || m_opacity <= 0)
        return;
    QPainter p(this);
    p.setOpacity(qMin<qreal>(m_opacity, 1));
    p.drawPixmap(m_offset, m_picture);
}

} // namespace window
