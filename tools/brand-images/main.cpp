// Draws Moonshelf's own brand images: the application icon (a crescent moon
// resting over a shelf of books) and the razevu mark (a light glyph that the
// app tints with the skin's accent). Usage: moonshelf_brand_images <resources dir>
#include <QGuiApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

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

    // A few fixed stars.
    QRandomGenerator stars(7);
    for (int i = 0; i < 46; ++i) {
        const QPointF at(tile.left() + stars.bounded(tile.width()), tile.top() + stars.bounded(tile.height() * 0.55));
        const qreal r = 2 + stars.bounded(5.0);
        p.setBrush(QColor(255, 255, 255, 60 + stars.bounded(150)));
        p.setPen(Qt::NoPen);
        p.drawEllipse(at, r, r);
    }

    // The moon's glow, then the crescent.
    const QPointF moon(610, 380);
    QRadialGradient glow(moon, 330);
    glow.setColorAt(0, QColor(255, 214, 140, 110));
    glow.setColorAt(1, QColor(255, 214, 140, 0));
    p.fillRect(tile, glow);
    QPainterPath disc;
    disc.addEllipse(moon, 190, 190);
    QPainterPath bite;
    bite.addEllipse(moon + QPointF(-95, -70), 170, 170);
    QLinearGradient gold(moon + QPointF(-190, -190), moon + QPointF(190, 190));
    gold.setColorAt(0, QColor(0xFF, 0xE7, 0xA8));
    gold.setColorAt(1, QColor(0xF2, 0x9B, 0x38));
    p.fillPath(disc.subtracted(bite), gold);

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
        {478, 62, 236, QColor(0x6C, 0x7F, 0xD8), -16},
    };
    for (const Book &b : books) {
        p.save();
        p.translate(b.x + b.w, shelfY);
        p.rotate(b.tilt);
        const QRectF spine(-b.w, -b.h, b.w, b.h);
        p.setBrush(b.c);
        p.drawRoundedRect(spine, 10, 10);
        p.setBrush(QColor(255, 255, 255, 70));
        p.drawRect(QRectF(-b.w + 12, -b.h + 36, b.w - 24, 10));
        p.drawRect(QRectF(-b.w + 12, -58, b.w - 24, 10));
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
        ok = save(icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation),
                  out.filePath(QStringLiteral("AppIcon-%1.png").arg(size)))
             && ok;
    QDir().mkpath(out.filePath(QStringLiteral("icons")));
    ok = save(razevuMark(), out.filePath(QStringLiteral("icons/razevu-mark.png"))) && ok;
    return ok ? 0 : 1;
}
