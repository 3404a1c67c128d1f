#include "chat/transcript/WashedRows.h"

#include "glass/BackdropSheet.h"
#include "glass/GlassPainter.h"
#include "glass/QirvTheme.h"

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

} // namespace

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

void WashedRows::clear()
{
    m_sheet = nullptr;
    m_image = QImage();
    m_valid = QRegion();
    m_washFor = QRectF();
}

void WashedRows::paint(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &part,
                       const MessageChrome::TurnGlass &look, const Decor &decor)
{
    QWidget *host = sheet.host();
    if (!host || part.isEmpty())
        return;
    // The sheet first: it may find the stage moved and start over.
    MessageChrome::prepareFromSheet(sheet, bubble, part, look);
    const QPoint offset = bubble->mapTo(host, QPoint(0, 0));
    const QRectF bubbleRect(QPointF(offset), QSizeF(bubble->size()));
    const QRectF rows = QRectF(MessageChrome::straightRows(bubble->size()).translated(offset));
    const double spread = spreadOf(MessageChrome::assistantGradient(bubbleRect, decor.visibility, decor.skin));
    const QRgb accent = glass::QirvTheme::color(decor.skin.colors.accent).rgba();
    const QRgb border = decor.border.isValid() ? decor.border.rgba() : 0;
    const qreal dpr = host->devicePixelRatioF();
    const QRect area = host->rect() & QRect(offset.x(), 0, bubble->width(), host->height());
    // Only rows on the host are ever copied: the wash must hold there.
    const QRectF shown = rows & QRectF(area);
    const bool kept = m_sheet == &sheet && m_generation == sheet.generation() && m_look == look.key()
        && m_accent == accent && m_border == border && m_visibility == decor.visibility && m_area == area
        && m_image.devicePixelRatio() == dpr && m_washFor.left() == bubbleRect.left()
        && m_washFor.width() == bubbleRect.width()
        && washDifference(m_washFor, bubbleRect, shown, spread) <= 0.5;
    if (!kept) {
        m_sheet = &sheet;
        m_generation = sheet.generation();
        m_look = look.key();
        m_accent = accent;
        m_border = border;
        m_visibility = decor.visibility;
        m_washFor = bubbleRect;
        m_valid = QRegion();
        ++m_washes;
        if (m_area != area || m_image.devicePixelRatio() != dpr || m_image.isNull()) {
            m_area = area;
            m_image = QImage((QSizeF(area.size()) * dpr).toSize(), QImage::Format_RGB32);
            m_image.setDevicePixelRatio(dpr);
        }
    }
    const QRect wanted = part.translated(offset) & m_area;
    if (wanted.isEmpty())
        return;
    if (const QRegion missing = QRegion(wanted) - m_valid; !missing.isEmpty()) {
        // In the bubble's coordinates, as the sheet and the decoration take them.
        QPainter p(&m_image);
        p.translate(QPointF(offset - m_area.topLeft()));
        const QRectF washFor = m_washFor.translated(-QPointF(offset));
        for (const QRect &r : missing) {
            const QRect own = r.translated(-offset);
            p.save();
            p.setClipRect(own);
            MessageChrome::copyStraightFromSheet(p, sheet, bubble, own, look);
            MessageChrome::assistantDecorationStraight(p, washFor, own, decor.visibility, decor.skin);
            if (decor.border.isValid())
                glass::GlassPainter::innerBorderSides(p, washFor, own, decor.border, 1.0);
            p.restore();
        }
        m_valid += missing;
    }
    const QRectF source(QPointF(wanted.topLeft() - m_area.topLeft()) * dpr, QSizeF(wanted.size()) * dpr);
    painter.drawImage(QRectF(wanted.translated(-offset)), m_image, source);
}

} // namespace chat
