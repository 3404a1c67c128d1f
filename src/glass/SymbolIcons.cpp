#include "glass/SymbolIcons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace glass::SymbolIcons {

namespace {
QString pathOf(const QString &name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}
} // namespace

bool exists(const QString &name)
{
    // A symbol's name, not a path into the resources.
    return !name.isEmpty() && !name.contains(u'/') && QFile::exists(pathOf(name));
}

QImage render(const QString &name, QSizeF size, const QBrush &brush, qreal dpr)
{
    // Asked first: the renderer warns about a file it cannot open (an empty
    // or unknown name), and a view may ask for one on every paint.
    if (size.isEmpty() || !exists(name))
        return {};
    QSvgRenderer svg(pathOf(name));
    if (!svg.isValid() || size.isEmpty())
        return {};
    QImage image((size * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p, QRectF(QPointF(0, 0), size * dpr));
        // Keep the symbol's coverage, take the colour from brush (scaled to the image).
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.scale(dpr, dpr);
        p.fillRect(QRectF(QPointF(0, 0), size), brush);
    }
    image.setDevicePixelRatio(dpr);
    return image;
}

QPixmap pixmap(const QString &name, int size, const QColor &color, qreal dpr)
{
    return QPixmap::fromImage(render(name, QSizeF(size, size), color, dpr));
}

QIcon icon(const QString &name, const QColor &color, int size)
{
    QIcon result;
    for (qreal dpr : {1.0, 2.0}) {
        const QImage image = render(name, QSizeF(size, size), color, dpr);
        if (!image.isNull())
            result.addPixmap(QPixmap::fromImage(image));
    }
    return result;
}

} // namespace glass::SymbolIcons
