#include "glass/look/TextInk.h"

#include <QPalette>
#include <QWidget>

namespace glass {

void setInk(QWidget *widget, const QColor &ink)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ink);
    palette.setColor(QPalette::Text, ink);
    widget->setPalette(palette);
}

void setTextStyle(QWidget *widget, const QFont &font, const QColor &ink)
{
    widget->setFont(font);
    setInk(widget, ink);
}

} // namespace glass
