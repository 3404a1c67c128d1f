#include "chat/transcript/WashedRows.h"

#include "glass/paint/BackdropSheet.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassPainter.h"
#include "glass/look/QirvTheme.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace chat {

namespace {

// Where a point lies along a gradient from rect's top left to its bottom right.
double along(const QRectF &rect, QPointF point)
{
    const QPointF d = rect.bottomRight() - rect.topLeft();
    const double length = QPointF::dotProduct(d, d);
    return length > 0 ? QPointF::dotProduct(point - rect.topLeft(), d) / length : 0;
}

double spreadOf(const QLinearGradient &gradient)
{
    const QGradientStops stops = gradient.stops();
    return stops.size() < 2 ? 0 : 255 * std::abs(stops.first().second.alphaF() - stops.last().second.alphaF());
}

QRect hostArea(const QWidget *host, const QWidget *bubble, QPoint offset)
{
    return host->rect() & QRect(offset.x(), 0, bubble->width(), host->height());
}

} // namespace

void WashedRows::Decor::paintStraight(QPainter &p, const QRectF &rect, const QRect &part) const
{
    MessageChrome::assistantDecorationStraight(p, rect, part, visibility, skin);
    if (border.isValid())
        glass::GlassPainter::innerBorderSides(p, rect, part, border, 1.0);
}

void WashedRows::Decor::paintShaped(QPainter &p, const QRectF &rect, const QRectF &drawn) const
{
    MessageChrome::assistantDecoration(p, rect, visibility, skin, drawn);
    if (border.isValid())
        glass::GlassPainter::innerBorder(p, drawn, glass::FrostShape::roundedRectangle(MessageChrome::kBubbleRadius),
                                         border, 1.0);
}

double WashedRows::washDifference(const QRectF &a, const QRectF &b, const QRectF &area, double spread)
{
    // Along a gradient is affine in the point, and so is the difference of
    // two: it is largest at a corner. The gradient pads past its ends,
    // which brings two values no further apart.
    double most = 0;
    for (const QPointF corner : {area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight()})
        most = std::max(most, std::abs(along(a, corner) - along(b, corner)));
    return most * spread;
}

bool WashedRows::suits(qreal devicePixelRatio)
{
    return devicePixelRatio == std::floor(devicePixelRatio);
}

void WashedRows::clear()
{
    m_key = Key();
    m_image = QImage();
    m_valid = QRegion();
    m_washFor = QRectF();
    m_top = m_bottom = End();
}

QPoint WashedRows::keep(glass::BackdropSheet &sheet, const QWidget *bubble, const MessageChrome::TurnGlass &look,
                        const Decor &decor)
{
    QWidget *host = sheet.host();
    const QPoint offset = bubble->mapTo(host, QPoint(0, 0));
    const QRectF bubbleRect(QPointF(offset), QSizeF(bubble->size()));
    const double spread = spreadOf(MessageChrome::assistantGradient(bubbleRect, decor.visibility, decor.skin));
    const QRect area = hostArea(host, bubble, offset);
    const Key key{&sheet,
                  sheet.generation(),
                  look.key(),
                  glass::QirvTheme::color(decor.skin.colors.accent).rgba(),
                  decor.border.isValid() ? decor.border.rgba() : 0,
                  decor.visibility,
                  area,
                  host->devicePixelRatioF(),
                  bubbleRect.left(),
                  bubbleRect.width()};
    // Only what lies on the host is ever copied: the wash must hold there.
    if (key == m_key && washDifference(m_washFor, bubbleRect, bubbleRect & QRectF(area), spread) <= 0.5)
        return offset;
    if (key.area != m_key.area || key.dpr != m_key.dpr || m_image.isNull()) {
        m_image = QImage((QSizeF(area.size()) * key.dpr).toSize(), QImage::Format_RGB32);
        m_image.setDevicePixelRatio(key.dpr);
    }
    m_key = key;
    m_washFor = bubbleRect;
    m_valid = QRegion();
    m_top = m_bottom = End();
    ++m_washes;
    return offset;
}

void WashedRows::paintStraight(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble,
                               const QRect &rows, const MessageChrome::TurnGlass &look, const Decor &decor)
{
    if (!sheet.host() || rows.isEmpty())
        return;
    // The sheet first: it may find the stage moved and start over.
    MessageChrome::prepareFromSheet(sheet, bubble, rows, look);
    const QPoint offset = keep(sheet, bubble, look, decor);
    const QRect wanted = rows.translated(offset) & m_key.area;
    if (wanted.isEmpty())
        return;
    const qreal dpr = m_image.devicePixelRatio();
    if (const QRegion missing = QRegion(wanted) - m_valid; !missing.isEmpty()) {
        // In the bubble's coordinates, as the sheet and the decoration take them.
        QPainter p(&m_image);
        p.translate(QPointF(offset - m_key.area.topLeft()));
        const QRectF washFor = m_washFor.translated(-QPointF(offset));
        for (const QRect &r : missing) {
            const QRect own = r.translated(-offset);
            p.save();
            p.setClipRect(own);
            MessageChrome::copyStraightFromSheet(p, sheet, bubble, own, look);
            decor.paintStraight(p, washFor, own);
            p.restore();
        }
        m_valid += missing;
    }
    const QRectF source(QPointF(wanted.topLeft() - m_key.area.topLeft()) * dpr, QSizeF(wanted.size()) * dpr);
    painter.drawImage(QRectF(wanted.translated(-offset)), m_image, source);
}

bool WashedRows::paintEnd(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &rows,
                          const MessageChrome::TurnGlass &look, const Decor &decor)
{
    const QRect straight = MessageChrome::straightRows(bubble->size());
    if (!sheet.host() || straight.isEmpty())
        return false;
    if (rows.isEmpty())
        return true;
    const bool top = rows.bottom() < straight.top();
    const QRect endRows = top ? QRect(0, 0, bubble->width(), straight.top())
                              : QRect(0, straight.bottom() + 1, bubble->width(), bubble->height() - straight.bottom() - 1);
    MessageChrome::prepareFromSheet(sheet, bubble, endRows, look);
    const QPoint offset = keep(sheet, bubble, look, decor);
    End &end = top ? m_top : m_bottom;
    const int edge = top ? offset.y() : offset.y() + bubble->height();
    const qreal dpr = m_image.devicePixelRatio();
    if (end.image.isNull() || end.edge != edge || end.image.size() != (QSizeF(endRows.size()) * dpr).toSize()) {
        end.edge = edge;
        end.image = QImage((QSizeF(endRows.size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        end.image.setDevicePixelRatio(dpr);
        end.image.fill(Qt::transparent);
        QPainter p(&end.image);
        p.translate(0, -endRows.top());
        const QRectF rect(bubble->rect());
        const QRectF drawn = MessageChrome::shapeInView(rect, QRectF(endRows));
        MessageChrome::paintFromSheet(p, sheet, bubble, endRows, drawn, look);
        // The shape is the bubble's; the wash is the one kept for the rows between.
        decor.paintShaped(p, m_washFor.translated(-QPointF(offset)), drawn);
    }
    const QRectF source(QPointF(rows.topLeft() - endRows.topLeft()) * dpr, QSizeF(rows.size()) * dpr);
    painter.drawImage(QRectF(rows), end.image, source);
    return true;
}

} // namespace chat
