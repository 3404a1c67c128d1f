// Paints the first-run stage image: a night harbour under a full moon, with
// lanterns along a quay. Everything random comes from one fixed seed, so the
// same build paints the same picture.

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kHorizon = 742;

// Portable uniform numbers: mt19937 is fixed by the standard, the
// library's distributions are not.
class Dice {
public:
    explicit Dice(quint32 seed) : m_engine(seed) {}
    double unit() { return double(m_engine()) / 4294967296.0; }
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }

private:
    std::mt19937 m_engine;
};

void paintSky(QPainter &p)
{
    QLinearGradient sky(0, 0, 0, kHorizon);
    sky.setColorAt(0.0, QColor(4, 7, 20));
    sky.setColorAt(0.55, QColor(12, 20, 48));
    sky.setColorAt(0.9, QColor(34, 42, 82));
    sky.setColorAt(1.0, QColor(70, 58, 92));
    p.fillRect(0, 0, kWidth, kHorizon, sky);
}

void paintStars(QPainter &p, Dice &dice)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 1100; ++i) {
        const double x = dice.range(0, kWidth);
        const double y = dice.range(0, kHorizon - 120) * dice.unit() + dice.range(0, 40);
        const double r = 0.5 + 1.1 * dice.unit() * dice.unit();
        const int alpha = int(60 + 190 * dice.unit());
        const int warm = int(dice.range(-20, 20));
        p.setBrush(QColor(225 + warm / 2, 228, 255 - qMax(0, warm), alpha));
        p.drawEllipse(QPointF(x, y), r, r);
    }
    // A few bright ones with a soft glow.
    for (int i = 0; i < 26; ++i) {
        const QPointF c(dice.range(0, kWidth), dice.range(20, kHorizon - 260));
        QRadialGradient glow(c, 9);
        glow.setColorAt(0, QColor(255, 250, 235, 220));
        glow.setColorAt(0.25, QColor(210, 220, 255, 90));
        glow.setColorAt(1, QColor(210, 220, 255, 0));
        p.setBrush(glow);
        p.drawEllipse(c, 9, 9);
    }
}

void paintMoon(QPainter &p, Dice &dice, QPointF centre, double radius)
{
    QRadialGradient halo(centre, radius * 5.5);
    halo.setColorAt(0, QColor(240, 230, 200, 90));
    halo.setColorAt(0.3, QColor(170, 170, 210, 35));
    halo.setColorAt(1, QColor(120, 130, 190, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(centre, radius * 5.5, radius * 5.5);

    QRadialGradient face(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.3);
    face.setColorAt(0, QColor(252, 247, 230));
    face.setColorAt(1, QColor(218, 210, 186));
    p.setBrush(face);
    p.drawEllipse(centre, radius, radius);

    p.setBrush(QColor(190, 180, 160, 70));
    for (int i = 0; i < 9; ++i) {
        const double a = dice.range(0, 6.283);
        const double d = dice.range(0, radius * 0.7);
        const double r = dice.range(radius * 0.06, radius * 0.2);
        p.drawEllipse(centre + QPointF(std::cos(a) * d, std::sin(a) * d), r, r);
    }
}

// A ridge line across the picture: midpoint displacement from a fixed seed.
QPainterPath ridge(Dice &dice, double base, double roughness, double bottom)
{
    QVector<double> h(257);
    h[0] = base + dice.range(-roughness, roughness);
    h[256] = base + dice.range(-roughness, roughness);
    double spread = roughness;
    for (int step = 128; step >= 1; step /= 2) {
        for (int i = step; i < 256; i += step * 2)
            h[i] = (h[i - step] + h[i + step]) / 2 + dice.range(-spread, spread);
        spread *= 0.55;
    }
    QPainterPath path(QPointF(0, bottom));
    for (int i = 0; i <= 256; ++i)
        path.lineTo(kWidth * i / 256.0, h[i]);
    path.lineTo(kWidth, bottom);
    path.closeSubpath();
    return path;
}

void paintHills(QPainter &p, Dice &dice)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(26, 30, 62));
    p.drawPath(ridge(dice, kHorizon - 150, 70, kHorizon + 1));
    p.setBrush(QColor(17, 20, 44));
    p.drawPath(ridge(dice, kHorizon - 80, 45, kHorizon + 1));
    p.setBrush(QColor(10, 12, 28));
    p.drawPath(ridge(dice, kHorizon - 28, 18, kHorizon + 1));
}

void paintWater(QPainter &p, Dice &dice, double moonX)
{
    QLinearGradient water(0, kHorizon, 0, kHeight);
    water.setColorAt(0, QColor(22, 28, 60));
    water.setColorAt(1, QColor(3, 5, 14));
    p.fillRect(0, kHorizon, kWidth, kHeight - kHorizon, water);

    // The moon's path on the water: short strokes, wider and fainter towards us.
    for (int i = 0; i < 520; ++i) {
        const double t = dice.unit();
        const double y = kHorizon + 4 + t * (kHeight - kHorizon);
        const double spread = 18 + 170 * t;
        const double x = moonX + dice.range(-spread, spread) * dice.unit();
        const double len = 8 + 60 * t * dice.unit();
        const int alpha = int((1.0 - 0.7 * t) * dice.range(60, 200));
        p.setPen(QPen(QColor(240, 230, 200, alpha), 1.2 + 1.6 * t));
        p.drawLine(QPointF(x - len / 2, y), QPointF(x + len / 2, y));
    }
    // Faint ripples everywhere.
    for (int i = 0; i < 700; ++i) {
        const double y = dice.range(kHorizon + 2, kHeight);
        const double x = dice.range(0, kWidth);
        const double len = dice.range(10, 70);
        p.setPen(QPen(QColor(120, 140, 200, int(dice.range(8, 28))), 1.0));
        p.drawLine(QPointF(x, y), QPointF(x + len, y));
    }
}

void paintLantern(QPainter &p, QPointF at, Dice &dice)
{
    QRadialGradient glow(at, 34);
    glow.setColorAt(0, QColor(255, 196, 110, 170));
    glow.setColorAt(0.2, QColor(255, 150, 60, 70));
    glow.setColorAt(1, QColor(255, 120, 40, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(at, 34, 34);
    p.setBrush(QColor(255, 226, 160));
    p.drawEllipse(at, 3.2, 3.2);

    // Its broken reflection below the quay.
    const double waterline = kHorizon + 96;
    for (int i = 0; i < 14; ++i) {
        const double y = waterline + 6 + i * dice.range(5, 9);
        const double w = dice.range(4, 16);
        p.setBrush(QColor(255, 170, 80, int(120 - i * 8)));
        p.drawRoundedRect(QRectF(at.x() - w / 2 + dice.range(-3, 3), y, w, 2.2), 1, 1);
    }
}

void paintQuay(QPainter &p, Dice &dice)
{
    const QColor shadow(6, 7, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    // The quay wall, then a row of warehouses and a crane on it.
    p.drawRect(QRectF(0, kHorizon + 60, 760, 36));
    double x = 0;
    while (x < 700) {
        const double w = dice.range(70, 140);
        const double h = dice.range(70, 170);
        QPainterPath house;
        house.moveTo(x, kHorizon + 61);
        house.lineTo(x, kHorizon + 61 - h);
        house.lineTo(x + w / 2, kHorizon + 61 - h - dice.range(10, 40));
        house.lineTo(x + w, kHorizon + 61 - h);
        house.lineTo(x + w, kHorizon + 61);
        house.closeSubpath();
        p.drawPath(house);
        // Lit windows.
        for (int i = 0; i < 3; ++i) {
            if (dice.unit() < 0.45) {
                p.setBrush(QColor(255, 190, 110, int(dice.range(120, 220))));
                p.drawRect(QRectF(x + dice.range(10, w - 22), kHorizon + 61 - h + dice.range(16, h - 30), 8, 11));
                p.setBrush(shadow);
            }
        }
        x += w + dice.range(4, 18);
    }
    p.setPen(QPen(shadow, 6));
    p.drawLine(QPointF(560, kHorizon + 60), QPointF(600, kHorizon - 230));
    p.drawLine(QPointF(600, kHorizon - 230), QPointF(820, kHorizon - 200));
    p.setPen(QPen(shadow, 2));
    p.drawLine(QPointF(800, kHorizon - 203), QPointF(800, kHorizon - 90));

    for (int i = 0; i < 7; ++i)
        paintLantern(p, QPointF(50 + i * 105 + dice.range(-10, 10), kHorizon + 52), dice);
}

void paintBoat(QPainter &p)
{
    const QColor shadow(8, 9, 20);
    QPainterPath hull;
    hull.moveTo(1180, kHorizon + 150);
    hull.lineTo(1340, kHorizon + 150);
    hull.lineTo(1315, kHorizon + 172);
    hull.lineTo(1200, kHorizon + 172);
    hull.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawPath(hull);
    p.setPen(QPen(shadow, 3));
    p.drawLine(QPointF(1262, kHorizon + 150), QPointF(1262, kHorizon + 40));
    QPainterPath sail;
    sail.moveTo(1266, kHorizon + 46);
    sail.lineTo(1330, kHorizon + 142);
    sail.lineTo(1266, kHorizon + 142);
    sail.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(14, 16, 34));
    p.drawPath(sail);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: stage-image <output.webp>\n");
        return 2;
    }
    Dice dice(20261207u);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF moon(1390, 250);
    paintSky(p);
    paintStars(p, dice);
    paintMoon(p, dice, moon, 66);
    paintHills(p, dice);
    paintWater(p, dice, moon.x());
    paintQuay(p, dice);
    paintBoat(p);
    p.end();

    QImageWriter writer(QString::fromLocal8Bit(argv[1]), "webp");
    writer.setQuality(86);
    if (!writer.write(image)) {
        std::fprintf(stderr, "stage-image: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
