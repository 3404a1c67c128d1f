#include "settings/SettingsText.h"

#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QLabel>
#include <QPainter>

namespace settings {

QLabel *makeText(const QString &text, QWidget *parent, bool wrap)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(wrap);
    if (wrap)
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    return label;
}

SymbolView::SymbolView(const QString &symbol, int size, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_size(size)
{
    setFixedSize(size, size);
}

void SymbolView::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    update();
}

void SymbolView::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(QPointF(0, 0),
                glass::SymbolIcons::render(m_symbol, QSizeF(m_size, m_size), m_color, devicePixelRatioF()));
}

void ColorPane::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void ColorPane::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), m_color);
}

} // namespace settings
