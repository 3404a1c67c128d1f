#include "window/TitleButton.h"

#include "glass/controls/FocusRing.h"
#include "glass/look/SymbolIcons.h"

#include <QKeyEvent>
#include <QPainter>

namespace window {

namespace {
constexpr int kSymbolSize = 16;
}

TitleButton::TitleButton(const QString &symbol, QWidget *parent) : QAbstractButton(parent), m_symbol(symbol)
{
    // Tab reaches it; a click leaves the keyboard where it was.
    setFocusPolicy(Qt::TabFocus);
    glass::FocusRing::setShape(this, 7);
    setAttribute(Qt::WA_Hover);
}

void TitleButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        if (isEnabled())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TitleButton::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void TitleButton::setOpacity(qreal opacity)
{
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

void TitleButton::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void TitleButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool active = (m_hover || isDown()) && isEnabled();
    if (active) {
        QColor fill = m_destructiveHover ? QColor(0xE8, 0x45, 0x3C) : m_color;
        fill.setAlphaF(m_destructiveHover ? (isDown() ? 0.95f : 0.85f) : (isDown() ? 0.2f : 0.11f));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 7, 7);
    }
    QColor color = m_color;
    color.setAlphaF(static_cast<float>(active ? qMin<qreal>(1.0, m_opacity + 0.25) : m_opacity));
    if (m_destructiveHover && active)
        color = Qt::white;
    const QImage image =
        glass::SymbolIcons::render(m_symbol, QSizeF(kSymbolSize, kSymbolSize), color, devicePixelRatioF());
    p.drawImage(QPointF((width() - kSymbolSize) / 2.0, (height() - kSymbolSize) / 2.0), image);
}

void TitleButton::enterEvent(QEnterEvent *event)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TitleButton::leaveEvent(QEvent *event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace window
