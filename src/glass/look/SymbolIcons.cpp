#include "glass/look/SymbolIcons.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QThread>
#include <QSvgRenderer>

namespace glass::SymbolIcons {

namespace {
QString pathOf(const QString &name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

QImage draw(const QString &name, QSizeF size, const QBrush &brush, qreal dpr);
} // namespace

bool exists(const QString &name)
{
    // A symbol's name, not a path into the resources.
    return !name.isEmpty() && !name.contains(u'/') && QFile::exists(pathOf(name));
}

QImage render(const QString &name, QSizeF size, const QBrush &brush, qreal dpr)
{
    // Views ask on every paint (thirty times a second over a video stage):
    // a symbol in one colour is parsed and drawn once, then kept in Qt's
    // pixmap cache, which only the GUI thread may use.
    const bool cacheable = brush.style() == Qt::SolidPattern && QCoreApplication::instance()
                           && QThread::currentThread() == QCoreApplication::instance()->thread();
    QString key;
    if (cacheable) {
        key = QStringLiteral("symbol:%1:%2x%3:%4:%5")
                  .arg(name)
                  .arg(size.width())
                  .arg(size.height())
                  .arg(brush.color().rgba64().toArgb32(), 0, 16)
                  .arg(dpr);
        if (QPixmap cached; QPixmapCache::find(key, &cached))
            return cached.toImage();
    }
    QImage image = draw(name, size, brush, dpr);
    if (cacheable && !image.isNull())
        QPixmapCache::insert(key, QPixmap::fromImage(image));
    return image;
}

namespace {
QImage draw(const QString &name, QSizeF size, const QBrush &brush, qreal dpr)
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
} // namespace

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
