#pragma once

// Helpers for tests that paint widgets and check pictures (the including
// test links Qt Widgets).

#include <algorithm>
#include <cstdlib>

#include <QDirIterator>
#include <QEvent>
#include <QFileInfo>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegion>
#include <QStringList>
#include <QWidget>

namespace testsupport {

// Paints of the widgets it watches, gathered (in each one's coordinates).
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QRegion *painted) : m_painted(painted) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            *m_painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private:
    QRegion *m_painted;
};

// The ids of the skin files in a folder, sorted.
inline QStringList skinIds(const QString &folder)
{
    QStringList ids;
    QDirIterator it(folder, {QStringLiteral("*.json")});
    while (it.hasNext())
        ids << QFileInfo(it.next()).completeBaseName();
    ids.sort();
    return ids;
}

// The widget painted band by band, as exposure after scrolling paints it;
// a band as tall as the widget paints it whole.
inline QImage renderInBands(QWidget &widget, int band)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    for (int y = 0; y < widget.height(); y += band)
        widget.render(&image, QPoint(0, y), QRegion(0, y, widget.width(), band));
    return image;
}

// Colour bands from left to right (three stops) under a fine white checker
// of the given opacity: hard detail where blur and tints are easy to see.
inline QImage checkeredBands(const QColor &left, const QColor &middle, const QColor &right, int checkerAlpha,
                             QSize size = QSize(1280, 800))
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, size.width(), 0);
    g.setColorAt(0, left);
    g.setColorAt(0.5, middle);
    g.setColorAt(1, right);
    p.fillRect(image.rect(), g);
    for (int y = 0; y < size.height(); y += 8)
        for (int x = (y / 8) % 2 * 8; x < size.width(); x += 16)
            p.fillRect(x, y, 8, 8, QColor(255, 255, 255, checkerAlpha));
    return image;
}

// Saturated blobs of every hue at every size, with fine bright stripes:
// the worst a photo can do to glass.
inline QImage busyPhoto()
{
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(QColor(20, 120, 60));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(1313);
    for (int i = 0; i < 260; ++i) {
        const int r = 20 + int(rng.bounded(160));
        const QColor c = QColor::fromHsv(int(rng.bounded(360)), 200 + int(rng.bounded(56)), 120 + int(rng.bounded(136)));
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(rng.bounded(1280), rng.bounded(800)), r, r * (0.5 + rng.bounded(1.0)));
    }
    for (int x = 0; x < 1280; x += 24)
        p.fillRect(x, 0, 3, 800, QColor(255, 255, 230, 140));
    return image;
}

// The most levels by which two pictures of one size differ in any channel
// of any pixel.
inline int largestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return largest;
}

} // namespace testsupport
