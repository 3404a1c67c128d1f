// Real images of every accepted kind through the recompression ladder.
#include "model/AttachmentTempStore.h"
#include "model/HeifDecoder.h"
#include "model/ImageRecompressor.h"
#include "support/TestMain.h"
#include "tst_staging_fixtures.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

using namespace model;
using Store = AttachmentTempStore;

namespace {

QImage decodeStaged(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

// Mean of a small block, so lossy encoding does not decide the test.
QColor meanAround(const QImage &image, QPoint centre)
{
    int r = 0, g = 0, b = 0, a = 0, n = 0;
    for (int y = centre.y() - 2; y <= centre.y() + 2; ++y) {
        for (int x = centre.x() - 2; x <= centre.x() + 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
            a += c.alpha();
            ++n;
        }
    }
    return QColor(r / n, g / n, b / n, a / n);
}

bool near(const QColor &c, const QColor &expected, int tolerance = 40)
{
    return qAbs(c.red() - expected.red()) <= tolerance && qAbs(c.green() - expected.green()) <= tolerance
        && qAbs(c.blue() - expected.blue()) <= tolerance;
}

QImage halves(QSize size, QColor first, QColor second, bool vertical)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(first);
    QPainter painter(&image);
    if (vertical)
        painter.fillRect(0, size.height() / 2, size.width(), size.height() - size.height() / 2, second);
    else
        painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), second);
    return image;
}

} // namespace

class TestStagingImages : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void targetSizes_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::newRow("4000x3000 to 1280x960") << QSize(4000, 3000) << QSize(1280, 960);
        QTest::newRow("800x600 kept") << QSize(800, 600) << QSize(800, 600);
        QTest::newRow("exactly 1280 kept") << QSize(1280, 7) << QSize(1280, 7);
        QTest::newRow("portrait") << QSize(3024, 4032) << QSize(960, 1280);
        QTest::newRow("thin strip keeps one row") << QSize(50000, 3) << QSize(1280, 1);
        QTest::newRow("odd ratio floors, longest side exact") << QSize(3001, 2999) << QSize(1280, 1279);
    }
    void targetSizes()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QCOMPARE(ImageRecompressor::targetSize(source), target);
    }

    // Each kind is staged upright, within 1280 px and, for photographs, 48 KiB.
    void kinds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("expectedSize");
        QTest::addColumn<QColor>("topLeft");     // expected colour near the top-left quarter
        QTest::addColumn<QColor>("bottomRight"); // and near the bottom-right quarter

        const QColor red(220, 30, 30), blue(30, 30, 220), green(30, 200, 30);
        QTest::newRow("photo 4000x3000 jpeg redrawn at 1280x960")
            << fixtures::encode(fixtures::photoLike(QSize(4000, 3000)), "jpeg", 90) << QSize(1280, 960) << QColor()
            << QColor();
        QTest::newRow("800x600 webp keeps its size")
            << fixtures::encode(halves(QSize(800, 600), red, blue, false), "webp", 90) << QSize(800, 600) << red
            << blue;
        // Orientation 6: stored landscape, shown turned 90 degrees clockwise,
        // so the stored left (red) half ends on top.
        QTest::newRow("exif-rotated jpeg comes out upright")
            << fixtures::withExifOrientation(
                   fixtures::encode(halves(QSize(2000, 1000), red, blue, false), "jpeg", 90), 6)
            << QSize(640, 1280) << red << blue;
        QImage deep = fixtures::photoLike(QSize(1600, 1200)).convertToFormat(QImage::Format_RGBA64);
        QTest::newRow("16-bit png") << fixtures::encode(deep, "png") << QSize(1280, 960) << QColor() << QColor();
        QTest::newRow("animated gif: first frame")
            << fixtures::animatedGif(QSize(300, 200), {green, red}) << QSize(300, 200) << green << green;
        QTest::newRow("tiff") << fixtures::encode(halves(QSize(1500, 1500), red, blue, true), "tiff")
                              << QSize(1280, 1280) << red << blue;
        QTest::newRow("bmp") << fixtures::encode(halves(QSize(640, 480), blue, red, true), "bmp") << QSize(640, 480)
                             << blue << red;
        const QByteArray heic = fixtures::heic(halves(QSize(1600, 1200), red, green, true));
        if (!heic.isEmpty())
            QTest::newRow("heic through libheif") << heic << QSize(1280, 960) << red << green;
        // 80 megapixels: over the whole-decode budget, but a sequential JPEG
        // decodes scaled, so a real panorama must not read as a bomb.
        QTest::newRow("sequential jpeg panorama 20000x4000") << fixtures::panoramaJpeg() << QSize(1280, 256)
                                                             << QColor() << QColor();
    }
    void kinds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, expectedSize);
        QFETCH(QColor, topLeft);
        QFETCH(QColor, bottomRight);
        QVERIFY(!bytes.isEmpty());

        const Store store(m_dir.filePath(QStringLiteral("staging")));
        const auto staged = store.stageImage(bytes, QStringLiteral("in.bin"), 0, 0);
        QVERIFY2(staged.ok(), qPrintable(staged.ok() ? QString() : staged.error().description()));
        QVERIFY2(staged->byteCount <= 49'152, qPrintable(QString::number(staged->byteCount)));
        const QImage out = decodeStaged(staged->url.toLocalFile());
        QCOMPARE(out.size(), expectedSize);
        const QByteArray format = staged->mimeType == QStringLiteral("image/webp") ? "webp" : "jpeg";
        QCOMPARE(QImageReader(staged->url.toLocalFile()).format(), format);
        if (topLeft.isValid()) {
            const QPoint a(out.width() / 4, out.height() / 4);
            const QPoint b(out.width() * 3 / 4, out.height() * 3 / 4);
            QVERIFY2(near(meanAround(out, a), topLeft), qPrintable(meanAround(out, a).name()));
            QVERIFY2(near(meanAround(out, b), bottomRight), qPrintable(meanAround(out, b).name()));
        }
    }

    void heicEncoderAvailable()
    {
        if (fixtures::heic(QImage(16, 16, QImage::Format_RGB32)).isEmpty())
            QSKIP("libheif has no HEVC encoder here; the HEIC row was not run");
        QVERIFY(HeifDecoder::recognises(fixtures::heic(fixtures::photoLike(QSize(64, 64)))));
    }

    void pngWithAlpha()
    {
        QImage image(1000, 800, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(0, 0, 500, 800, QColor(30, 30, 220));
        const auto compressed = Store::compressImage(fixtures::encode(image, "png"));
        QVERIFY(compressed);
        QVERIFY(compressed->data.size() <= 49'152);
        QBuffer buffer(const_cast<QByteArray *>(&compressed->data));
        const QImage out = QImageReader(&buffer).read();
        QCOMPARE(out.size(), QSize(1000, 800));
        const QColor clear = meanAround(out, QPoint(750, 400));
        // WebP keeps the transparency; JPEG lays it on white.
        QVERIFY2(compressed->mimeType == QStringLiteral("image/webp") ? clear.alpha() < 10
                                                                       : near(clear, Qt::white, 10),
                 qPrintable(clear.name(QColor::HexArgb)));
    }

    // Noise beats both WebP tries, so the ladder ends in JPEG: transparent
    // pixels must come out white, not black.
    void jpegFallbackLaysAlphaOnWhite()
    {
        QImage image = fixtures::noise(QSize(1200, 1200));
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(600, 0, 600, 1200, Qt::transparent);
        painter.end();
        const auto compressed = ImageRecompressor::compressDecoded(image);
        QVERIFY(compressed);
        QCOMPARE(compressed->mimeType, QStringLiteral("image/jpeg"));
        QCOMPARE(compressed->utiPreferredExtension, QStringLiteral("jpg"));
        const QImage out = QImage::fromData(compressed->data);
        QVERIFY2(near(meanAround(out, QPoint(900, 600)), Qt::white, 10),
                 qPrintable(meanAround(out, QPoint(900, 600)).name()));
        // The last rung is kept whatever its size.
        QVERIFY(compressed->data.size() > 49'152);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray png = fixtures::encode(fixtures::photoLike(QSize(300, 200)), "png");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("This is not an image, just some words.\n");
        QTest::newRow("truncated png") << png.left(200);
        QTest::newRow("png bomb 100000x100000") << fixtures::pngDeclaring(100'000, 100'000);
        QTest::newRow("png just over 64 megapixels") << fixtures::pngDeclaring(8192, 8193);
        QTest::newRow("jpeg declaring 60000x60000") << fixtures::jpegDeclaring(60'000, 60'000);
        QTest::newRow("tiny sequential jpeg declaring 12000x9000") << fixtures::jpegDeclaring(12'000, 9'000);
        // Padded past the bytes-per-pixel floor, so only the frame kind refuses it.
        QTest::newRow("progressive jpeg declaring 12000x9000")
            << fixtures::paddedTo(fixtures::jpegDeclaring(12'000, 9'000, true), 12'000'000);
        QTest::newRow("progressive jpeg just over 64 megapixels")
            << fixtures::paddedTo(fixtures::jpegDeclaring(8192, 8193, true), 12'000'000);
        QTest::newRow("sequential jpeg just over the scaled budget")
            << fixtures::paddedTo(fixtures::jpegDeclaring(16'384, 16'385), 12'000'000);
        QTest::newRow("gif declaring 65535x65535") << fixtures::gifDeclaring(65'535, 65'535);
        QTest::newRow("wbmp-like bytes") << QByteArray("\x00\x00\x20\x20", 4) + QByteArray(128, '\xAA');
        QTest::newRow("svg document")
            << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><rect width='10' "
                          "height='10'/></svg>");
        const QByteArray heic = fixtures::heic(fixtures::photoLike(QSize(64, 64)));
        if (!heic.isEmpty())
            QTest::newRow("truncated heic") << heic.left(heic.size() / 2);
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        // Our own pixel limit must hold even where Qt's allocation limit is lifted.
        const int qtLimit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(0);
        const auto restore = qScopeGuard([qtLimit] { QImageReader::setAllocationLimit(qtLimit); });
        const QString root = m_dir.filePath(QStringLiteral("refused"));
        const Store store(root);
        const auto staged = store.stageImage(bytes, QStringLiteral("x.png"), 0, 0);
        QVERIFY(!staged.ok());
        QCOMPARE(staged.error(), Store::IngestError::decodeFailed());
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Each row gives the encoder's answer per rung (-1: the encoder fails;
    // otherwise the size of what it returns) and the rung that must win.
    void ladder_data()
    {
        QTest::addColumn<QList<int>>("sizes"); // webp 55, webp 35, jpeg 55, jpeg 35
        QTest::addColumn<QString>("chosen");   // "" when nothing is returned
        QTest::addColumn<QStringList>("calls");
        const QString w55 = QStringLiteral("webp55"), w35 = QStringLiteral("webp35");
        const QString j55 = QStringLiteral("jpeg55"), j35 = QStringLiteral("jpeg35");
        QTest::newRow("webp 55 at the target is kept") << QList<int>{49'152, 1, 1, 1} << w55 << QStringList{w55};
        QTest::newRow("webp 35 tried when 55 is one byte over")
            << QList<int>{49'153, 49'152, 1, 1} << w35 << QStringList{w55, w35};
        QTest::newRow("both webp over: jpeg 55") << QList<int>{60'000, 50'000, 49'152, 1} << j55
                                                 << QStringList{w55, w35, j55};
        QTest::newRow("webp missing: straight to jpeg 55, no second webp")
            << QList<int>{-1, 1, 30'000, 1} << j55 << QStringList{w55, j55};
        QTest::newRow("second webp failing falls to jpeg") << QList<int>{60'000, -1, 40'000, 1} << j55
                                                           << QStringList{w55, w35, j55};
        QTest::newRow("jpeg 35 kept whatever its size, even larger than 55")
            << QList<int>{60'000, 60'000, 60'000, 70'000} << j35 << QStringList{w55, w35, j55, j35};
        QTest::newRow("jpeg 35 failing keeps jpeg 55") << QList<int>{60'000, 60'000, 60'000, -1} << j55
                                                       << QStringList{w55, w35, j55, j35};
        QTest::newRow("jpeg 55 failing gives nothing") << QList<int>{-1, 1, -1, 1} << QString()
                                                       << QStringList{w55, j55};
    }
    void ladder()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(QString, chosen);
        QFETCH(QStringList, calls);
        QStringList seen;
        bool jpegSawAlpha = false;
        const auto fake = [&](const QImage &image, const char *format, int quality) -> std::optional<QByteArray> {
            const QString name = QString::fromLatin1(format) + QString::number(quality);
            seen << name;
            const bool isJpeg = qstrcmp(format, "jpeg") == 0;
            jpegSawAlpha = jpegSawAlpha || (isJpeg && image.hasAlphaChannel());
            const int rung = int(isJpeg) * 2 + int(quality == ImageRecompressor::kSecondQuality);
            if (sizes[rung] < 0)
                return std::nullopt;
            // The bytes name their rung, so the test sees which one was returned.
            return name.toLatin1().leftJustified(sizes[rung], '.', true);
        };
        QImage image(40, 30, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        const auto result = ImageRecompressor::compressDecoded(image, fake);
        QCOMPARE(seen, calls);
        QVERIFY(!jpegSawAlpha);
        if (chosen.isEmpty()) {
            QVERIFY(!result);
            return;
        }
        QVERIFY(result);
        QVERIFY2(result->data.startsWith(chosen.left(qMin<int>(chosen.size(), result->data.size())).toLatin1()),
                 result->data.left(8).constData());
        const int rung = int(chosen.startsWith(QLatin1String("jpeg"))) * 2 + int(chosen.endsWith(QLatin1String("35")));
        QCOMPARE(result->data.size(), qsizetype(sizes[rung]));
        const bool isWebp = chosen.startsWith(QLatin1String("webp"));
        QCOMPARE(result->mimeType, isWebp ? QStringLiteral("image/webp") : QStringLiteral("image/jpeg"));
        QCOMPARE(result->utiPreferredExtension, isWebp ? QStringLiteral("webp") : QStringLiteral("jpg"));
    }

    void sequentialJpegFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("sequential");
        const QByteArray baseline = fixtures::jpegDeclaring(64, 48);
        QTest::newRow("baseline") << baseline << true;
        QTest::newRow("progressive") << fixtures::jpegDeclaring(64, 48, true) << false;
        QTest::newRow("exif segment before the frame") << fixtures::withExifOrientation(baseline, 6) << true;
        QTest::newRow("cut before the frame") << baseline.left(20) << false;
        QTest::newRow("png") << fixtures::encode(fixtures::photoLike(QSize(8, 8)), "png") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void sequentialJpegFrames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, sequential);
        QCOMPARE(ImageRecompressor::isSequentialJpeg(bytes), sequential);
    }

    // The content decides, never the name.
    void contentNotName()
    {
        const Store store(m_dir.filePath(QStringLiteral("named")));
        const QByteArray jpeg = fixtures::encode(fixtures::photoLike(QSize(200, 100)), "jpeg", 80);
        const QString path = m_dir.filePath(QStringLiteral("really-a-jpeg.png"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(jpeg);
        f.close();
        const auto staged = store.stageFile(QUrl::fromLocalFile(path), QStringLiteral("x"), 0, 0);
        QVERIFY(staged.ok());
        QCOMPARE(decodeStaged(staged->url.toLocalFile()).size(), QSize(200, 100));
    }
};

MOONSHELF_TEST_GUI_MAIN(TestStagingImages)
#include "tst_staging_images.moc"
