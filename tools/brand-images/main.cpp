// Draws Moonshelf's own brand images: the application icon (a crescent moon
// resting over a shelf of books) and the razevu mark (a light glyph that the
// app tints with the skin's accent). Usage: moonshelf_brand_images <resources dir>
#include <QGuiApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>

namespace {

// The in-app mark (fullBleed) fills its whole square: the view that shows it
// rounds the corners, draws the hairline and casts the shadow, so they lie on
// the tile's own edge. The desktop's icons are a rounded tile inset like
// desktop icons are.
QImage appIcon(bool fullBleed)
{
    const int S = 1024;
    QImage img(S, S, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // The tile: a deep night gradient.
    const QRectF tile = fullBleed ? QRectF(0, 0, S, S) : QRectF(64, 64, S - 128, S - 128);
    QPainterPath tilePath;
    if (fullBleed)
        tilePath.addRect(tile);
    else
        tilePath.addRoundedRect(tile, 200, 200);
    QLinearGradient sky(tile.topLeft(), tile.bottomLeft());
    sky.setColorAt(0, QColor(0x23, 0x35, 0x5E));
    sky.setColorAt(0.6, QColor(0x14, 0x1C, 0x36));
    sky.setColorAt(1, QColor(0x0B, 0x0F, 0x1F));
    p.fillPath(tilePath, sky);
    p.setClipPath(tilePath);

    // The moon's place: clear of the books' tops.
    const QPointF moon(640, 330);
    const qreal moonRadius = 168;

    // A few fixed stars, whole: inside the tile with room to spare (the
    // in-app view rounds the full-bleed square's corners), and off the moon.
    const QRectF skyArea = tile.adjusted(96, 96, -96, 0);
    QRandomGenerator stars(7);
    int placed = 0;
    while (placed < 34) {
        const QPointF at(skyArea.left() + stars.bounded(skyArea.width()),
                         skyArea.top() + stars.bounded(tile.height() * 0.42));
        const qreal r = 2 + stars.bounded(5.0);
        const QPointF fromMoon = at - moon;
        if (std::hypot(fromMoon.x(), fromMoon.y()) < moonRadius + 60)
            continue;
        // Clear of the rounded corners too.
        const qreal cx = std::min(at.x() - tile.left(), tile.right() - at.x());
        const qreal cy = at.y() - tile.top();
        if (cx < 230 && cy < 230 && std::hypot(230 - cx, 230 - cy) > 230 - 40)
            continue;
        p.setBrush(QColor(255, 255, 255, 60 + stars.bounded(150)));
        p.setPen(Qt::NoPen);
        p.drawEllipse(at, r, r);
        ++placed;
    }

    QPainterPath disc;
    disc.addEllipse(moon, moonRadius, moonRadius);
    QPainterPath bite;
    bite.addEllipse(moon + QPointF(-84, -62), moonRadius * 0.9, moonRadius * 0.9);
    const QPainterPath crescent = disc.subtracted(bite);

    // The moon's glow: the crescent's own light, softened and added to the
    // sky (screened, so the blue turns warm rather than grey), hugging the
    // lit side instead of filling the bite with a disc.
    {
        QImage halo(S / 16, S / 16, QImage::Format_ARGB32_Premultiplied);
        halo.fill(Qt::transparent);
        {
            QPainter h(&halo);
            h.setRenderHint(QPainter::Antialiasing);
            h.scale(1.0 / 16, 1.0 / 16);
            h.setPen(QPen(QColor(255, 200, 110), 70));
            h.setBrush(QColor(255, 200, 110));
            h.drawPath(crescent);
        }
        // Down and up again, twice: a cheap wide blur.
        for (int i = 0; i < 2; ++i)
            halo = halo.scaled(halo.size() / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .scaled(halo.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_Screen);
        p.setOpacity(0.55);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(0, 0, S, S), halo);
        p.restore();
    }
    QLinearGradient gold(moon - QPointF(moonRadius, moonRadius), moon + QPointF(moonRadius, moonRadius));
    gold.setColorAt(0, QColor(0xFF, 0xE7, 0xA8));
    gold.setColorAt(1, QColor(0xF2, 0x9B, 0x38));
    p.fillPath(crescent, gold);

    // The shelf and its books.
    const qreal shelfY = 742;
    QLinearGradient wood(QPointF(0, shelfY), QPointF(0, shelfY + 44));
    wood.setColorAt(0, QColor(0xC9, 0x8A, 0x4B));
    wood.setColorAt(1, QColor(0x7A, 0x4A, 0x22));
    p.setPen(Qt::NoPen);
    p.setBrush(wood);
    p.drawRoundedRect(QRectF(190, shelfY, 644, 44), 14, 14);
    struct Book { qreal x, w, h; QColor c; qreal tilt; };
    const Book books[] = {
        {240, 70, 250, QColor(0x3F, 0xA7, 0x9E), 0},
        {318, 58, 214, QColor(0xE8, 0x6A, 0x5C), 0},
        {384, 76, 268, QColor(0xF0, 0xE3, 0xC8), 0},
        // Leaning left against its neighbour, resting on its lower left corner.
        {521, 62, 236, QColor(0x6C, 0x7F, 0xD8), -16},
    };
    for (const Book &b : books) {
        p.save();
        // Each book turns about the corner it stands on, so none dips into the shelf.
        p.translate(b.tilt < 0 ? b.x : b.x + b.w, shelfY);
        p.rotate(b.tilt);
        const QRectF spine(b.tilt < 0 ? 0 : -b.w, -b.h, b.w, b.h);
        p.setBrush(b.c);
        p.drawRoundedRect(spine, 10, 10);
        p.setBrush(QColor(255, 255, 255, 70));
        p.drawRect(QRectF(spine.left() + 12, -b.h + 36, b.w - 24, 10));
        p.drawRect(QRectF(spine.left() + 12, -58, b.w - 24, 10));
        p.restore();
    }

    // A soft rim of light along the top edge.
    p.setClipping(false);
    if (fullBleed)
        return img;
    QLinearGradient rim(tile.topLeft(), tile.bottomLeft());
    rim.setColorAt(0, QColor(255, 255, 255, 70));
    rim.setColorAt(0.5, QColor(255, 255, 255, 0));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rim), 4));
    p.drawPath(tilePath);
    return img;
}

// The icon for 16 to 32 pixels: fewer, larger shapes that survive the
// scale: the tile, a big crescent, three upright books on a thick shelf.
// Drawn at 8 times the size and scaled down once.
QImage smallAppIcon(int size)
{
    const int S = size * 8;
    QImage img(S, S, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = S / 16.0; // one pixel of the 16 pixel icon
    const QRectF tile(0.5 * u, 0.5 * u, S - u, S - u);
    QPainterPath tilePath;
    tilePath.addRoundedRect(tile, 3.4 * u, 3.4 * u);
    QLinearGradient sky(tile.topLeft(), tile.bottomLeft());
    sky.setColorAt(0, QColor(0x2A, 0x3F, 0x70));
    sky.setColorAt(1, QColor(0x10, 0x16, 0x2C));
    p.fillPath(tilePath, sky);
    p.setClipPath(tilePath);
    p.setPen(Qt::NoPen);

    // The crescent, upper right, large.
    const QPointF moon(11.0 * u, 4.7 * u);
    QPainterPath disc;
    disc.addEllipse(moon, 3.5 * u, 3.5 * u);
    QPainterPath bite;
    bite.addEllipse(moon + QPointF(-1.8 * u, -1.4 * u), 3.0 * u, 3.0 * u);
    p.setBrush(QColor(0xFF, 0xC8, 0x5A));
    p.drawPath(disc.subtracted(bite));

    // Shelf and books.
    const qreal shelfY = 12.2 * u;
    p.setBrush(QColor(0xD0, 0x8E, 0x4C));
    p.drawRect(QRectF(2.0 * u, shelfY, 12.0 * u, 1.5 * u));
    struct Book { qreal x, w, h; QColor c; };
    const Book books[] = {
        {2.8, 2.0, 6.2, QColor(0x4C, 0xC4, 0xB8)},
        {5.1, 1.8, 4.9, QColor(0xF0, 0x74, 0x66)},
        {7.2, 2.0, 5.4, QColor(0xF4, 0xEA, 0xD4)},
    };
    for (const Book &b : books) {
        p.setBrush(b.c);
        p.drawRect(QRectF(b.x * u, shelfY - b.h * u, b.w * u, b.h * u));
    }
    p.end();
    return img.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QImage razevuMark()
{
    const int S = 512;
    QImage img(S, S, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A light glyph, shaded a little so a colour multiply keeps some depth:
    // an anvil-like base under a four-pointed spark.
    QLinearGradient shade(QPointF(0, 40), QPointF(0, 470));
    shade.setColorAt(0, QColor(255, 255, 255));
    shade.setColorAt(1, QColor(205, 205, 205));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);

    QPainterPath spark;
    const QPointF c(256, 190);
    spark.moveTo(c + QPointF(0, -150));
    spark.quadTo(c + QPointF(22, -22), c + QPointF(120, 0));
    spark.quadTo(c + QPointF(22, 22), c + QPointF(0, 150));
    spark.quadTo(c + QPointF(-22, 22), c + QPointF(-120, 0));
    spark.quadTo(c + QPointF(-22, -22), c + QPointF(0, -150));
    p.drawPath(spark);

    QPainterPath anvil;
    anvil.moveTo(86, 372);
    anvil.lineTo(426, 372);
    anvil.quadTo(426, 404, 392, 410);
    anvil.lineTo(330, 410);
    anvil.lineTo(352, 462);
    anvil.lineTo(160, 462);
    anvil.lineTo(182, 410);
    anvil.lineTo(120, 410);
    anvil.quadTo(86, 404, 86, 372);
    p.drawPath(anvil);
    return img;
}

bool save(const QImage &image, const QString &path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources dir>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = save(appIcon(true), out.filePath(QStringLiteral("AppIcon-1024.png")));
    const QImage icon = appIcon(false);
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512})
        ok = save(size <= 32 ? smallAppIcon(size)
                             : icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation),
                  out.filePath(QStringLiteral("AppIcon-%1.png").arg(size)))
             && ok;
    QDir().mkpath(out.filePath(QStringLiteral("icons")));
    ok = save(razevuMark(), out.filePath(QStringLiteral("icons/razevu-mark.png"))) && ok;
    return ok ? 0 : 1;
}
