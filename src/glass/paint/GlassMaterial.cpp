#include "glass/paint/GlassMaterial.h"
#include "glass/paint/PaintBands.h"

#include "glass/look/Contrast.h"
#include "glass/look/QirvTheme.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace glass::GlassMaterial {

namespace {

// Luminance back to the sRGB grey value that has it (0 to 255).
double greyOf(double luminance)
{
    const double c = luminance <= 0.0031308 ? luminance * 12.92 : 1.055 * std::pow(luminance, 1 / 2.4) - 0.055;
    return std::clamp(c, 0.0, 1.0) * 255;
}

// A few grey levels inside the edge, so the tints laid over the held glass
// and rounding cannot carry it out again.
constexpr double kInside = 4;

double edgeGrey(bool light)
{
    return greyOf(Contrast::luminance(QirvTheme::materialBand(light).edge)) + (light ? kInside : -kInside);
}

struct Tables {
    std::array<double, 256> linear{};        // sRGB channel -> linear light
    std::array<quint8, 4096> alphaByY{};     // luminance in 4096 steps -> first guess of the mix, 0..255
};

const Tables &tables(bool light)
{
    static const auto make = [](bool isLight) {
        Tables t;
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t.linear[size_t(i)] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        for (int i = 0; i < 4096; ++i)
            t.alphaByY[size_t(i)] = quint8(std::lround(holdOpacity(i / 4095.0, isLight) * 255));
        return t;
    };
    static const Tables dark = make(false);
    static const Tables bright = make(true);
    return light ? bright : dark;
}

} // namespace

double holdOpacity(double luminance, bool light)
{
    // For a grey pixel: mixing grey towards black (or white) by a reaches
    // the edge at a = 1 - edge / grey (or (edge - grey) / (255 - grey)).
    const double edge = edgeGrey(light);
    const double grey = greyOf(luminance);
    if (light ? grey >= edge : grey <= edge)
        return 0;
    return std::clamp(light ? (edge - grey) / (255 - grey) : 1 - edge / grey, 0.0, 1.0);
}

void holdInBand(QImage &image, bool light)
{
    if (image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const Tables &t = tables(light);
    const double edge = Contrast::luminance(QColor::fromRgbF(float(edgeGrey(light) / 255), float(edgeGrey(light) / 255),
                                                             float(edgeGrey(light) / 255)));
    const int towards = light ? 255 : 0;
    const auto lumOf = [&t](int r, int g, int b) {
        return 0.2126 * t.linear[size_t(r)] + 0.7152 * t.linear[size_t(g)] + 0.0722 * t.linear[size_t(b)];
    };
    const auto inside = [&](double lum) { return light ? lum >= edge : lum <= edge; };
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const quint32 p = row[x];
            const int a = int(p >> 24);
            if (a == 0)
                continue;
            // Un-premultiply to read the colour, mix, premultiply again.
            const int r = std::min(255, int(((p >> 16) & 0xff) * 255 / a));
            const int g = std::min(255, int(((p >> 8) & 0xff) * 255 / a));
            const int b = std::min(255, int((p & 0xff) * 255 / a));
            if (inside(lumOf(r, g, b)))
                continue;
            // Towards black (dark) or white (light), so the hue stays: the
            // grey estimate first, then the least amount that really lands inside.
            const auto mixed = [&](int c, double k) { return int(std::lround(c + (towards - c) * k)); };
            double lo = 0, hi = 1;
            double k = t.alphaByY[size_t(std::lround(lumOf(r, g, b) * 4095))] / 255.0;
            if (inside(lumOf(mixed(r, k), mixed(g, k), mixed(b, k))))
                hi = k;
            else
                lo = k;
            for (int i = 0; i < 7; ++i) {
                const double mid = (lo + hi) / 2;
                (inside(lumOf(mixed(r, mid), mixed(g, mid), mixed(b, mid))) ? hi : lo) = mid;
            }
            const auto pre = [&](int c) { return quint32(mixed(c, hi) * a / 255); };
            row[x] = (quint32(a) << 24) | (pre(r) << 16) | (pre(g) << 8) | pre(b);
        }
    }
}

void paintHeld(QPainter &painter, const QPainterPath &clip, bool light, const std::function<void(QPainter &)> &layers)
{
    const QRectF area = clip.boundingRect();
    if (area.isEmpty())
        return;
    // Held at a quarter of the painter's resolution: what lies behind is the
    // stage's blurred copy, itself a quarter of the stage's size, under flat
    // tints and gradients, so nothing finer is lost; holding costs per pixel.
    // The clip below keeps the shape's edge at full resolution.
    constexpr qreal kCoarse = 4;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const qreal scale = dpr * std::max(std::abs(painter.worldTransform().m11()), 1e-3) / kCoarse;
    const QSize pixels(std::max(1, int(std::ceil(area.width() * scale))),
                       std::max(1, int(std::ceil(area.height() * scale))));
    QImage layer(pixels, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        // The area fills the image exactly, so no pixel of it is half covered
        // (a half-covered edge would show as a seam once scaled up).
        QPainter p(&layer);
        p.setRenderHints(painter.renderHints() | QPainter::SmoothPixmapTransform);
        p.scale(pixels.width() / area.width(), pixels.height() / area.height());
        p.translate(-area.topLeft());
        layers(p);
    }
    holdInBand(layer, light);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipPath(clip, Qt::IntersectClip);
    paintInBands(painter, area.toAlignedRect(), [&](const QRect &) { painter.drawImage(area, layer); }, kPathBandRows);
    painter.restore();
}

} // namespace glass::GlassMaterial
