#include "glass/stageview/VideoFrameScaler.h"
#include "support/TestMain.h"

#include <QGuiApplication>
#include <QVideoFrame>

#include <functional>
#include <vector>

using glass::VideoFrameScaler;
using Pixel = std::function<int(int x, int y)>;

Q_DECLARE_METATYPE(QVideoFrameFormat::PixelFormat)
Q_DECLARE_METATYPE(QVideoFrameFormat::ColorSpace)
Q_DECLARE_METATYPE(QVideoFrameFormat::ColorRange)

namespace {

// A frame whose luma and chroma samples come from y, u and v (chroma in
// the chroma plane's own coordinates), laid out as format lays them.
QVideoFrame makeFrame(QVideoFrameFormat::PixelFormat pixelFormat, QSize size, const Pixel &y, const Pixel &u,
                      const Pixel &v, QVideoFrameFormat::ColorSpace space = QVideoFrameFormat::ColorSpace_BT709,
                      QVideoFrameFormat::ColorRange range = QVideoFrameFormat::ColorRange_Video)
{
    QVideoFrameFormat format(size, pixelFormat);
    format.setColorSpace(space);
    format.setColorRange(range);
    QVideoFrame frame(format);
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    const int cw = (size.width() + 1) / 2;
    const int ch = (size.height() + 1) / 2;
    for (int j = 0; j < size.height(); ++j)
        for (int i = 0; i < size.width(); ++i)
            frame.bits(0)[j * frame.bytesPerLine(0) + i] = uchar(y(i, j));
    for (int j = 0; j < ch; ++j) {
        for (int i = 0; i < cw; ++i) {
            switch (pixelFormat) {
            case QVideoFrameFormat::Format_NV12:
            case QVideoFrameFormat::Format_NV21: {
                uchar *pair = frame.bits(1) + j * frame.bytesPerLine(1) + 2 * i;
                const bool nv12 = pixelFormat == QVideoFrameFormat::Format_NV12;
                pair[0] = uchar(nv12 ? u(i, j) : v(i, j));
                pair[1] = uchar(nv12 ? v(i, j) : u(i, j));
                break;
            }
            case QVideoFrameFormat::Format_YV12:
                frame.bits(1)[j * frame.bytesPerLine(1) + i] = uchar(v(i, j));
                frame.bits(2)[j * frame.bytesPerLine(2) + i] = uchar(u(i, j));
                break;
            default:
                frame.bits(1)[j * frame.bytesPerLine(1) + i] = uchar(u(i, j));
                frame.bits(2)[j * frame.bytesPerLine(2) + i] = uchar(v(i, j));
            }
        }
    }
    frame.unmap();
    return frame;
}

Pixel constant(int value)
{
    return [value](int, int) { return value; };
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
           && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}


// Planes each in an allocation of its own that ends at its last sample,
// so a read past a plane is a read past its allocation.
struct ExactPlanes {
    std::vector<std::vector<uchar>> buffers;
    VideoFrameScaler::Planes planes;

    // rowBytes and rows per plane; strides may be longer than the rows.
    ExactPlanes(QVideoFrameFormat::PixelFormat format, QSize size, QList<int> rowBytes, QList<int> rows,
                QList<int> strides, QList<uchar> fills)
    {
        planes.format = format;
        planes.size = size;
        planes.count = int(rowBytes.size());
        planes.colorSpace = QVideoFrameFormat::ColorSpace_BT709;
        planes.colorRange = QVideoFrameFormat::ColorRange_Video;
        for (qsizetype k = 0; k < rowBytes.size(); ++k) {
            buffers.emplace_back(size_t(strides[k]) * size_t(rows[k] - 1) + size_t(rowBytes[k]), fills[k]);
            planes.bits[size_t(k)] = buffers.back().data();
            planes.strides[size_t(k)] = strides[k];
        }
    }
};

} // namespace

class TestVideoFrames : public QObject {
    Q_OBJECT
private slots:
    // Colours: every layout the decoders hand over, the matrices and ranges.
    void colours_data()
    {
        QTest::addColumn<QVideoFrameFormat::PixelFormat>("format");
        QTest::addColumn<QVideoFrameFormat::ColorSpace>("space");
        QTest::addColumn<QVideoFrameFormat::ColorRange>("range");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("u");
        QTest::addColumn<int>("v");
        QTest::addColumn<QRgb>("expected");
        using F = QVideoFrameFormat;
        const auto bt709 = F::ColorSpace_BT709;
        const auto video = F::ColorRange_Video;
        QTest::newRow("video-range white") << F::Format_YUV420P << bt709 << video << 235 << 128 << 128 << qRgb(255, 255, 255);
        QTest::newRow("video-range black") << F::Format_YUV420P << bt709 << video << 16 << 128 << 128 << qRgb(0, 0, 0);
        QTest::newRow("below black clamps") << F::Format_YUV420P << bt709 << video << 0 << 128 << 128 << qRgb(0, 0, 0);
        QTest::newRow("bt709 red") << F::Format_YUV420P << bt709 << video << 63 << 102 << 240 << qRgb(255, 0, 0);
        QTest::newRow("bt709 blue") << F::Format_YUV420P << bt709 << video << 32 << 240 << 118 << qRgb(0, 0, 255);
        QTest::newRow("bt601 red") << F::Format_YUV420P << F::ColorSpace_BT601 << video << 81 << 90 << 240
                                   << qRgb(255, 0, 0);
        QTest::newRow("full-range grey") << F::Format_YUV420P << bt709 << F::ColorRange_Full << 128 << 128 << 128
                                         << qRgb(128, 128, 128);
        QTest::newRow("full-range bt709 green") << F::Format_YUV420P << bt709 << F::ColorRange_Full << 182 << 30
                                                << 12 << qRgb(0, 255, 0);
        QTest::newRow("nv12 red") << F::Format_NV12 << bt709 << video << 63 << 102 << 240 << qRgb(255, 0, 0);
        QTest::newRow("nv21 red") << F::Format_NV21 << bt709 << video << 63 << 102 << 240 << qRgb(255, 0, 0);
        QTest::newRow("yv12 blue") << F::Format_YV12 << bt709 << video << 32 << 240 << 118 << qRgb(0, 0, 255);
    }

    void colours()
    {
        QFETCH(QVideoFrameFormat::PixelFormat, format);
        QFETCH(QVideoFrameFormat::ColorSpace, space);
        QFETCH(QVideoFrameFormat::ColorRange, range);
        QFETCH(int, y);
        QFETCH(int, u);
        QFETCH(int, v);
        QFETCH(QRgb, expected);
        const QVideoFrame frame = makeFrame(format, QSize(64, 36), constant(y), constant(u), constant(v), space, range);
        VideoFrameScaler scaler;
        const QImage out = scaler.fill(frame, QSize(40, 30));
        QCOMPARE(out.size(), QSize(40, 30));
        for (QPoint at : {QPoint(0, 0), QPoint(20, 15), QPoint(39, 29)})
            QVERIFY2(near(out.pixel(at), expected, 3),
                     qPrintable(describe(out.pixel(at)) + QStringLiteral(" against ") + describe(expected)));
    }

    // The picture fills the target with its aspect kept: the overflow is
    // cropped evenly on the long side. Three vertical bands (left quarter
    // dark, middle half grey, right quarter light) and horizontal ones
    // show what is kept.
    void fillsAndCrops_data()
    {
        QTest::addColumn<bool>("vertical");   // the bands run down (else across)
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QList<int>>("greys"); // expected grey at the left (top), centre, right (bottom) edge
        QTest::newRow("same aspect, smaller: all three bands") << true << QSize(100, 50) << QList<int>{0, 128, 255};
        QTest::newRow("same aspect, larger: all three bands") << true << QSize(400, 200) << QList<int>{0, 128, 255};
        QTest::newRow("square: the sides are cut off") << true << QSize(50, 50) << QList<int>{128, 128, 128};
        QTest::newRow("wider: top and bottom cut off") << false << QSize(200, 50) << QList<int>{128, 128, 128};
        QTest::newRow("taller bands, same aspect") << false << QSize(100, 50) << QList<int>{0, 128, 255};
    }

    void fillsAndCrops()
    {
        QFETCH(bool, vertical);
        QFETCH(QSize, target);
        QFETCH(QList<int>, greys);
        const QSize size(200, 100);
        auto band = [](int at, int length) { return at < length / 4 ? 16 : (at >= length * 3 / 4 ? 235 : 126); };
        const Pixel y = vertical ? Pixel([&](int x, int) { return band(x, size.width()); })
                                 : Pixel([&](int, int yy) { return band(yy, size.height()); });
        const QVideoFrame frame = makeFrame(QVideoFrameFormat::Format_YUV420P, size, y, constant(128), constant(128));
        VideoFrameScaler scaler;
        const QImage out = scaler.fill(frame, target);
        QCOMPARE(out.size(), target);
        const QList<QPoint> points = vertical ? QList<QPoint>{QPoint(0, target.height() / 2), QPoint(target.width() / 2, target.height() / 2),
                                                               QPoint(target.width() - 1, target.height() / 2)}
                                              : QList<QPoint>{QPoint(target.width() / 2, 0), QPoint(target.width() / 2, target.height() / 2),
                                                               QPoint(target.width() / 2, target.height() - 1)};
        for (qsizetype i = 0; i < points.size(); ++i)
            QVERIFY2(near(out.pixel(points[i]), qRgb(greys[i], greys[i], greys[i]), 4),
                     qPrintable(QStringLiteral("at %1,%2: %3").arg(points[i].x()).arg(points[i].y()).arg(describe(out.pixel(points[i])))));
    }

    // Every output pixel shows the part of the frame it covers, at any
    // width (whole groups of eight, the ones left over, odd chroma): a ramp
    // across the luma (and one across the blue chroma) reads at each pixel
    // what the ramp holds at that pixel's centre.
    void rampsKeepTheirPlace_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<bool>("chroma"); // the ramp in the blue chroma, else in the luma
        for (const QSize target : {QSize(7, 3), QSize(13, 7), QSize(99, 50), QSize(100, 50), QSize(203, 101), QSize(333, 120)})
            for (const bool chroma : {false, true})
                QTest::addRow("%dx%d, %s", target.width(), target.height(), chroma ? "chroma" : "luma") << target << chroma;
    }
    void rampsKeepTheirPlace()
    {
        QFETCH(QSize, target);
        QFETCH(bool, chroma);
        const QSize size(200, 100);
        const double lumaStep = 219.0 / (size.width() - 1), chromaStep = 224.0 / (size.width() / 2 - 1);
        const Pixel flat = constant(128);
        const Pixel y = chroma ? constant(126) : Pixel([&](int x, int) { return int(std::lround(16 + x * lumaStep)); });
        const Pixel u = chroma ? Pixel([&](int x, int) { return int(std::lround(16 + x * chromaStep)); }) : flat;
        const QVideoFrame frame = makeFrame(QVideoFrameFormat::Format_YUV420P, size, y, u, flat);
        VideoFrameScaler scaler;
        const QImage out = scaler.fill(frame, target);
        QCOMPARE(out.size(), target);
        const QRectF seen = VideoFrameScaler::visibleRect(QSizeF(size), QSizeF(target));
        const int cw = (target.width() + 1) / 2;
        for (int i = 0; i < target.width(); ++i) {
            int expected = 0;
            if (chroma) {
                // Chroma at half the size: pixel i shows chroma sample i / 2.
                const double c = seen.x() / 2 + ((i / 2) + 0.5) * seen.width() / 2 / cw - 0.5;
                const double value = 16 + std::clamp(c, 0.0, size.width() / 2 - 1.0) * chromaStep;
                expected = int(std::lround((126 - 16) * 255.0 / 219 + 2 * (1 - 0.0722) * (value - 128) * 255 / 224));
            } else {
                const double c = seen.x() + (i + 0.5) * seen.width() / target.width() - 0.5;
                expected = int(std::lround(std::clamp(c, 0.0, size.width() - 1.0) * lumaStep * 255 / 219));
            }
            expected = std::clamp(expected, 0, 255);
            const QRgb shown = out.pixel(i, target.height() / 2);
            QVERIFY2(std::abs(qBlue(shown) - expected) <= 3,
                     qPrintable(QStringLiteral("column %1: %2, not %3").arg(i).arg(describe(shown)).arg(expected)));
        }
    }

    // Shrinking averages what each pixel covers: fine detail turns into its
    // mean instead of flickering between its extremes.
    void shrinkingAverages_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<int>("darkest");  // the darkest and lightest grey allowed
        QTest::addColumn<int>("lightest");
        // Every pixel covers as much black as white.
        QTest::newRow("by two") << QSize(80, 45) << 124 << 132;
        // Four of nine or five of nine.
        QTest::newRow("by three") << QSize(53, 30) << 110 << 146;
        // A quarter to three quarters, never one check alone.
        QTest::newRow("by a third") << QSize(120, 67) << 60 << 196;
    }

    void shrinkingAverages()
    {
        QFETCH(QSize, target);
        QFETCH(int, darkest);
        QFETCH(int, lightest);
        // One-pixel checks of black and white.
        const QVideoFrame frame = makeFrame(QVideoFrameFormat::Format_YUV420P, QSize(160, 90),
                                            [](int x, int y) { return (x + y) % 2 ? 235 : 16; }, constant(128),
                                            constant(128));
        VideoFrameScaler scaler;
        const QImage out = scaler.fill(frame, target);
        int light = 0, dark = 255;
        for (int j = 2; j < out.height() - 2; ++j)
            for (int i = 2; i < out.width() - 2; ++i) {
                light = std::max(light, qGreen(out.pixel(i, j)));
                dark = std::min(dark, qGreen(out.pixel(i, j)));
            }
        QVERIFY2(dark >= darkest && light <= lightest, qPrintable(QStringLiteral("%1..%2").arg(dark).arg(light)));
    }

    // The stage's colour, fade and veil come laid over the frame.
    void tint_data()
    {
        QTest::addColumn<QColor>("tint");
        QTest::addColumn<QRgb>("expected");
        QTest::newRow("none") << QColor() << qRgb(255, 255, 255);
        QTest::newRow("transparent") << QColor(0, 0, 0, 0) << qRgb(255, 255, 255);
        QTest::newRow("black at 35 %") << QColor::fromRgbF(0, 0, 0, 0.35) << qRgb(166, 166, 166);
        QTest::newRow("red at half") << QColor::fromRgbF(1, 0, 0, 0.5) << qRgb(255, 128, 128);
        QTest::newRow("opaque blue hides the picture") << QColor(0, 0, 255) << qRgb(0, 0, 255);
    }

    void tint()
    {
        QFETCH(QColor, tint);
        QFETCH(QRgb, expected);
        const QVideoFrame frame = makeFrame(QVideoFrameFormat::Format_NV12, QSize(32, 18), constant(235),
                                            constant(128), constant(128));
        VideoFrameScaler scaler;
        const QImage out = scaler.fill(frame, QSize(16, 9), tint);
        QVERIFY2(near(out.pixel(8, 4), expected, 2), qPrintable(describe(out.pixel(8, 4))));
    }

    // A frame already shown keeps its pixels while the next is made.
    void framesShownStayIntact()
    {
        VideoFrameScaler scaler;
        const QVideoFrame dark = makeFrame(QVideoFrameFormat::Format_YUV420P, QSize(32, 18), constant(16),
                                           constant(128), constant(128));
        const QVideoFrame light = makeFrame(QVideoFrameFormat::Format_YUV420P, QSize(32, 18), constant(235),
                                            constant(128), constant(128));
        const QImage first = scaler.fill(dark, QSize(16, 9));
        QList<QImage> later;
        for (int i = 0; i < 4; ++i)
            later << scaler.fill(light, QSize(16, 9));
        QCOMPARE(first.pixel(8, 4), qRgb(0, 0, 0));
        for (const QImage &image : later)
            QCOMPARE(image.pixel(8, 4), qRgb(255, 255, 255));
    }

    // Each plane is read with its own stride: chroma planes whose strides
    // differ from each other and from their rows, each ending at its last
    // sample, give the colour their samples hold.
    void planesKeepTheirOwnStrides_data()
    {
        QTest::addColumn<QVideoFrameFormat::PixelFormat>("format");
        QTest::addColumn<QList<int>>("extra"); // bytes past each plane's row
        using F = QVideoFrameFormat;
        // BT.709 red: Y 63, U 102, V 240.
        for (const auto format : {F::Format_YUV420P, F::Format_YV12}) {
            const char *name = format == F::Format_YUV420P ? "yuv420p" : "yv12";
            QTest::addRow("%s, third plane shorter", name) << format << QList<int>{40, 24, 0};
            QTest::addRow("%s, third plane longer", name) << format << QList<int>{0, 0, 32};
            QTest::addRow("%s, all exact", name) << format << QList<int>{0, 0, 0};
        }
        QTest::newRow("nv12, padded") << F::Format_NV12 << QList<int>{8, 3};
        QTest::newRow("nv21, exact") << F::Format_NV21 << QList<int>{0, 0};
    }

    void planesKeepTheirOwnStrides()
    {
        QFETCH(QVideoFrameFormat::PixelFormat, format);
        QFETCH(QList<int>, extra);
        using F = QVideoFrameFormat;
        const QSize size(37, 21);
        const int cw = 19, ch = 11;
        const bool semi = format == F::Format_NV12 || format == F::Format_NV21;
        const QList<int> rowBytes = semi ? QList<int>{37, 2 * cw} : QList<int>{37, cw, cw};
        const QList<int> rows = semi ? QList<int>{21, ch} : QList<int>{21, ch, ch};
        QList<int> strides;
        for (qsizetype k = 0; k < rowBytes.size(); ++k)
            strides << rowBytes[k] + extra[k];
        const uchar u = 102, v = 240;
        const QList<uchar> fills = format == F::Format_YUV420P ? QList<uchar>{63, u, v}
                                   : format == F::Format_YV12  ? QList<uchar>{63, v, u}
                                                               : QList<uchar>{63, 0};
        ExactPlanes frame(format, size, rowBytes, rows, strides, fills);
        if (semi) {
            const bool nv12 = format == F::Format_NV12;
            for (int j = 0; j < ch; ++j)
                for (int i = 0; i < cw; ++i) {
                    frame.buffers[1][size_t(j * strides[1] + 2 * i)] = nv12 ? u : v;
                    frame.buffers[1][size_t(j * strides[1] + 2 * i + 1)] = nv12 ? v : u;
                }
        }
        VideoFrameScaler scaler;
        for (const QSize target : {QSize(23, 13), QSize(80, 45)}) {
            const QImage out = scaler.fill(frame.planes, target);
            QCOMPARE(out.size(), target);
            for (const QPoint at : {QPoint(0, 0), QPoint(target.width() - 1, target.height() - 1)})
                QVERIFY2(near(out.pixel(at), qRgb(255, 0, 0), 3), qPrintable(describe(out.pixel(at))));
        }
    }

    // Packed RGB in every byte order gives its own colours, under a veil
    // too; a stride shorter than a row is refused rather than read past.
    void packedLayouts_data()
    {
        QTest::addColumn<QVideoFrameFormat::PixelFormat>("format");
        QTest::addColumn<QList<int>>("at"); // the byte of R, G and B in a pixel
        using F = QVideoFrameFormat;
        QTest::newRow("rgba") << F::Format_RGBA8888 << QList<int>{0, 1, 2};
        QTest::newRow("rgbx") << F::Format_RGBX8888 << QList<int>{0, 1, 2};
        QTest::newRow("bgra") << F::Format_BGRA8888 << QList<int>{2, 1, 0};
        QTest::newRow("bgra premultiplied") << F::Format_BGRA8888_Premultiplied << QList<int>{2, 1, 0};
        QTest::newRow("bgrx") << F::Format_BGRX8888 << QList<int>{2, 1, 0};
        QTest::newRow("argb") << F::Format_ARGB8888 << QList<int>{1, 2, 3};
        QTest::newRow("xrgb") << F::Format_XRGB8888 << QList<int>{1, 2, 3};
        QTest::newRow("abgr") << F::Format_ABGR8888 << QList<int>{3, 2, 1};
        QTest::newRow("xbgr") << F::Format_XBGR8888 << QList<int>{3, 2, 1};
    }

    void packedLayouts()
    {
        QFETCH(QVideoFrameFormat::PixelFormat, format);
        QFETCH(QList<int>, at);
        QVERIFY(VideoFrameScaler::handles(format));
        const QSize size(15, 9);
        const int stride = 15 * 4 + 4;
        ExactPlanes frame(format, size, {15 * 4}, {9}, {stride}, {255});
        // 200, 100, 0 in the pixel's R, G and B bytes; the rest opaque.
        for (int j = 0; j < 9; ++j)
            for (int i = 0; i < 15; ++i) {
                uchar *pixel = frame.buffers[0].data() + j * stride + i * 4;
                pixel[at[0]] = 200;
                pixel[at[1]] = 100;
                pixel[at[2]] = 0;
            }
        VideoFrameScaler scaler;
        const QImage plain = scaler.fill(frame.planes, QSize(8, 5));
        QVERIFY2(near(plain.pixel(4, 2), qRgb(200, 100, 0), 1), qPrintable(describe(plain.pixel(4, 2))));
        const QImage veiled = scaler.fill(frame.planes, QSize(31, 17), QColor::fromRgbF(0, 0, 1, 0.5));
        QVERIFY2(near(veiled.pixel(30, 16), qRgb(100, 50, 128), 1), qPrintable(describe(veiled.pixel(30, 16))));

        frame.planes.strides[0] = 15 * 4 - 1;
        QVERIFY(scaler.fill(frame.planes, QSize(8, 5)).isNull());
    }

    void formatsHandled_data()
    {
        QTest::addColumn<QVideoFrameFormat::PixelFormat>("format");
        QTest::addColumn<bool>("handled");
        using F = QVideoFrameFormat;
        QTest::newRow("yuv420p") << F::Format_YUV420P << true;
        QTest::newRow("nv12") << F::Format_NV12 << true;
        QTest::newRow("bgra") << F::Format_BGRA8888 << true;
        QTest::newRow("rgba") << F::Format_RGBA8888 << true;
        QTest::newRow("uyvy goes through Qt") << F::Format_UYVY << false;
        QTest::newRow("p010 goes through Qt") << F::Format_P010 << false;
    }

    void formatsHandled()
    {
        QFETCH(QVideoFrameFormat::PixelFormat, format);
        QFETCH(bool, handled);
        QCOMPARE(VideoFrameScaler::handles(format), handled);
    }

    void visibleRect_data()
    {
        QTest::addColumn<QSizeF>("source");
        QTest::addColumn<QSizeF>("target");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("same aspect") << QSizeF(1920, 1080) << QSizeF(1280, 720) << QRectF(0, 0, 1920, 1080);
        QTest::newRow("16:10 window") << QSizeF(1920, 1080) << QSizeF(1280, 800) << QRectF(96, 0, 1728, 1080);
        QTest::newRow("wide window") << QSizeF(1920, 1080) << QSizeF(2000, 500) << QRectF(0, 300, 1920, 480);
        QTest::newRow("nothing to fill") << QSizeF(1920, 1080) << QSizeF(0, 0) << QRectF();
    }

    void visibleRect()
    {
        QFETCH(QSizeF, source);
        QFETCH(QSizeF, target);
        QFETCH(QRectF, expected);
        QCOMPARE(VideoFrameScaler::visibleRect(source, target), expected);
    }
};

MOONSHELF_TEST_GUI_MAIN(TestVideoFrames)
#include "tst_video_frames.moc"
