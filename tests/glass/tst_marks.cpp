#include "PaintFixture.h"

#include "glass/marks/AppIconMark.h"
#include "glass/marks/BrandImages.h"
#include "glass/marks/FelgrinMark.h"
#include "glass/look/QirvTheme.h"
#include "glass/marks/RazevuMark.h"
#include "glass/look/SymbolIcons.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QBuffer>

using namespace stage;
using namespace glass;
using painttest::Fixture;

namespace {

QImage solid(const QColor &color, int side = 32)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

void put(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(dir);
    QFile f(QDir(dir).filePath(name));
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(name));
    f.write(bytes);
}

void put(const QString &dir, const QString &name, const QImage &image)
{
    QDir().mkpath(dir);
    image.save(QDir(dir).filePath(name));
}

QImage paintMark(const std::function<void(QPainter &)> &paint, int side = 120)
{
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    paint(p);
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class MarksTest : public QObject {
    Q_OBJECT
private slots:
    // What is in the folders -> which colour the found icon has (none: no icon).
    void iconLookupChain_data()
    {
        QTest::addColumn<QStringList>("files");   // name=colour, or name=garbage
        QTest::addColumn<QStringList>("named");   // named images: name=colour
        QTest::addColumn<QString>("expected");    // colour name, or empty
        QTest::newRow("1024-png-first") << QStringList{"AppIcon-1024.png=red", "AppIcon.png=blue"} << QStringList{}
                                        << "#ff0000";
        QTest::newRow("undecodable-counts-as-missing")
            << QStringList{"AppIcon-1024.png=garbage", "AppIcon.png=blue"} << QStringList{} << "#0000ff";
        QTest::newRow("named-before-the-next-name")
            << QStringList{"AppIcon.png=blue"} << QStringList{"AppIcon-1024=lime"} << "#00ff00";
        QTest::newRow("last-png-name") << QStringList{"app-icon-final.png=blue"} << QStringList{} << "#0000ff";
        QTest::newRow("named-only") << QStringList{} << QStringList{"app-icon-final=lime"} << "#00ff00";
        QTest::newRow("nothing") << QStringList{"AppIcon.png=garbage"} << QStringList{} << QString();
    }
    void iconLookupChain()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, named);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &file : files) {
            const QString name = file.section(QLatin1Char('='), 0, 0);
            const QString what = file.section(QLatin1Char('='), 1);
            if (what == QLatin1String("garbage"))
                put(dir.path(), name, "not an image");
            else
                put(dir.path(), name, solid(QColor(what)));
        }
        BrandImages::Lookup lookup;
        lookup.resourceDirectories = {dir.filePath(QStringLiteral("missing")), dir.path()};
        lookup.namedImage = [named](const QString &name) {
            for (const QString &entry : named)
                if (entry.section(QLatin1Char('='), 0, 0) == name)
                    return solid(QColor(entry.section(QLatin1Char('='), 1)));
            return QImage();
        };
        lookup.bundlePath = dir.path(); // not an application bundle
        const QImage icon = BrandImages::loadIcon(lookup);
        if (expected.isEmpty())
            QVERIFY(icon.isNull());
        else
            QCOMPARE(QColor(icon.pixel(4, 4)).name(), expected);
    }

    void razevuLookupChain()
    {
        QTemporaryDir dir;
        BrandImages::Lookup lookup;
        lookup.resourceDirectories = {dir.path()};
        QVERIFY(BrandImages::loadRazevuMark(lookup).isNull());
        put(dir.path(), QStringLiteral("RazevuMark.png"), solid(Qt::blue));
        QCOMPARE(QColor(BrandImages::loadRazevuMark(lookup).pixel(1, 1)), QColor(Qt::blue));
        put(dir.path(), QStringLiteral("razevu-mark.png"), solid(Qt::red));
        QCOMPARE(QColor(BrandImages::loadRazevuMark(lookup).pixel(1, 1)), QColor(Qt::red));
        lookup.namedImage = [](const QString &name) {
            return name == QLatin1String("razevu-mark") ? solid(Qt::green) : QImage();
        };
        QCOMPARE(QColor(BrandImages::loadRazevuMark(lookup).pixel(1, 1)), QColor(Qt::green));
    }

    void iconFileDecodes_data()
    {
        QTest::addColumn<QByteArray>("written"); // the format of the bytes under AppIcon.png
        QTest::addColumn<bool>("found");
        QTest::newRow("png") << QByteArray("png") << true;
        QTest::newRow("jpeg under the png name") << QByteArray("jpeg") << true;
        QTest::newRow("bmp under the png name") << QByteArray("bmp") << true;
        QTest::newRow("not an image") << QByteArray() << false;
    }

    // A file is read as its name says first, and by its content when that
    // fails; one that decodes neither way counts as missing.
    void iconFileDecodes()
    {
        QFETCH(QByteArray, written);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QByteArray bytes("not an image at all");
        if (!written.isEmpty()) {
            QBuffer buffer(&bytes);
            bytes.clear();
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(solid(Qt::blue).save(&buffer, written.constData()));
        }
        put(dir.path(), QStringLiteral("AppIcon.png"), bytes);
        BrandImages::Lookup lookup;
        lookup.resourceDirectories = {dir.path()};
        const QImage icon = BrandImages::loadIcon(lookup);
        QCOMPARE(!icon.isNull(), found);
        if (found)
            QVERIFY(qAbs(QColor(icon.pixel(4, 4)).blue() - 255) < 8);
    }

    void shippedImagesAreFound()
    {
        QVERIFY(!BrandImages::appIcon().isNull());
        QVERIFY(!BrandImages::razevuMark().isNull());
        for (const char *symbol : {"hammer.fill", "star.fill", "photo.badge.plus", "film", "shuffle",
                                   "arrow.uturn.backward", "trash", "xmark.circle.fill"})
            QVERIFY2(SymbolIcons::exists(QLatin1String(symbol)), symbol);
    }

    // No icon and no mark image: the hammer, 0.85 of the size, in the accent gradient.
    void fallsBackToTheHammerInTheAccentGradient()
    {
        Fixture f;
        const UISkin skin = UISkin::duvedivOduv(); // orange gradient, easy to tell apart
        const QImage shot = paintMark([&](QPainter &p) {
            AppIconMark::paint(p, QRectF(10, 10, 100, 100), true, QImage(), QImage(), skin);
        });
        painttest::savePng(shot, QStringLiteral("mark-hammer"));
        int coloured = 0;
        QRect box;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c(shot.pixel(x, y));
                if (qAlpha(shot.pixel(x, y)) < 200)
                    continue;
                ++coloured;
                box = box.united(QRect(x, y, 1, 1));
                // Orange: the gradient runs from #FF9E38 to #F2611F.
                QVERIFY2(c.red() > 220 && c.green() > 80 && c.green() < 170 && c.blue() < 70,
                         qPrintable(c.name()));
            }
        QVERIFY(coloured > 600);
        QVERIFY(box.width() <= 86 && box.height() <= 86); // within 0.85 × 100, centred
        QVERIFY(qAbs(box.center().x() - 60) < 12);
    }

    void markImageStandsInForTheIcon()
    {
        const UISkin skin = UISkin::steel();
        const QImage mark = solid(Qt::white, 64);
        const QImage shot = paintMark([&](QPainter &p) {
            AppIconMark::paint(p, QRectF(10, 10, 100, 100), true, QImage(), mark, skin);
        });
        // The white mark multiplied by the accent #8AA4B8.
        QCOMPARE(QColor(shot.pixel(60, 60)).name(), QStringLiteral("#8aa4b8"));
    }

    void roundedOrSquareTile_data()
    {
        QTest::addColumn<bool>("rounded");
        QTest::newRow("rounded-clips-corners") << true;
        QTest::newRow("square-keeps-corners") << false;
    }
    void roundedOrSquareTile()
    {
        QFETCH(bool, rounded);
        const QImage icon = solid(QColor(40, 160, 90), 256);
        const QImage shot = paintMark([&](QPainter &p) {
            AppIconMark::paint(p, QRectF(10, 10, 100, 100), rounded, icon, QImage(), UISkin::steel());
        });
        painttest::savePng(shot, rounded ? QStringLiteral("mark-icon-rounded") : QStringLiteral("mark-icon-square"));
        const QColor corner(shot.pixel(11, 11));
        if (rounded)
            QVERIFY(corner.green() < 100); // outside the rounded corner: only shadow
        else
            QCOMPARE(corner.name(), QStringLiteral("#28a05a"));
        // The shadow is drawn either way, below the tile.
        QVERIFY(qAlpha(shot.pixel(60, 112)) > 20);
    }

    // An icon with see-through margins: the shadow follows what is drawn,
    // not the square around it.
    void iconShadowFollowsTheDrawnTile()
    {
        QImage icon(256, 256, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        {
            QPainter p(&icon);
            p.fillRect(QRect(64, 64, 128, 128), QColor(40, 160, 90));
        }
        const QImage shot = paintMark([&](QPainter &p) {
            AppIconMark::paint(p, QRectF(10, 10, 100, 100), false, icon, QImage(), UISkin::steel());
        });
        QCOMPARE(qAlpha(shot.pixel(14, 14)), 0);         // in the icon's clear margin: nothing
        QVERIFY(qAlpha(shot.pixel(60, 87 + 3)) > 20);      // just below the drawn tile: its shadow
    }

    // The shipped icon fills its square, so the rounded clip, the hairline
    // and the shadow lie on the tile's own edge.
    void shippedIconIsFullBleed()
    {
        const QImage icon = BrandImages::appIcon();
        QVERIFY(!icon.isNull());
        for (const QPoint corner : {QPoint(0, 0), QPoint(icon.width() - 1, 0), QPoint(0, icon.height() - 1),
                                    QPoint(icon.width() - 1, icon.height() - 1)})
            QCOMPARE(qAlpha(icon.pixel(corner)), 255);
    }

    // The layout sees size × size; the shadow spills out around the widget.
    void markWidgetsAreTheirSizeWithShadowAround_data()
    {
        QTest::addColumn<int>("kind"); // 0 app icon, 1 razevu accent, 2 razevu hero
        QTest::addColumn<int>("spill"); // at least this many tinted pixels below the frame
        QTest::newRow("app-icon") << 0 << 100;
        QTest::newRow("razevu-accent-small-shadow") << 1 << 1;
        QTest::newRow("razevu-hero") << 2 << 100;
    }
    void markWidgetsAreTheirSizeWithShadowAround()
    {
        QFETCH(int, kind);
        QFETCH(int, spill);
        Fixture f;
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, QColor(120, 120, 120));
        window.setPalette(pal);
        window.resize(200, 200);
        QWidget *mark = kind == 0 ? static_cast<QWidget *>(new AppIconMark(56, true, *f.styles, &window))
                                  : new RazevuMark(56, kind == 1 ? RazevuMark::Style::accent : RazevuMark::Style::hero,
                                                   *f.styles, &window);
        QCOMPARE(mark->sizeHint(), QSize(56, 56));
        QCOMPARE(mark->size(), QSize(56, 56));
        mark->move(72, 60);
        window.show();
        // Below the frame, where only the shadow reaches, the ground is tinted.
        auto tintedBelow = [&] {
            const QImage shot = window.grab().toImage();
            int tinted = 0;
            for (int y = 60 + 56; y < 60 + 56 + 6; ++y)
                for (int x = 72; x < 72 + 56; ++x)
                    tinted += shot.pixel(x, y) != QColor(120, 120, 120).rgb();
            return tinted;
        };
        const int below = tintedBelow();
        QVERIFY2(below >= spill, qPrintable(QString::number(below)));
        // Gone with its mark.
        delete mark;
        QTest::qWait(20);
        QCOMPARE(tintedBelow(), 0);
    }

    void felgrinGeometry()
    {
        Fixture f;
        FelgrinMark mark(11, FelgrinMark::Style::resting, *f.styles);
        QCOMPARE(FelgrinMark::frameSide(11), 17.6);
        QCOMPARE(FelgrinMark::haloDiameter(11), 17.05);
        QCOMPARE(mark.sizeHint(), QSize(18, 18));
        QCOMPARE(mark.accessibleName(), QStringLiteral("Felgrin"));
        QCOMPARE(mark.accessibleDescription(), QStringLiteral("Polish mark. Felgrin’s crew stamp."));
    }

    void felgrinColoursFollowTheSkinExceptHero_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("followsSkin");
        QTest::newRow("resting") << int(FelgrinMark::Style::resting) << true;
        QTest::newRow("accent") << int(FelgrinMark::Style::accent) << true;
        QTest::newRow("hero-stays-orange") << int(FelgrinMark::Style::hero) << false;
    }
    void felgrinColoursFollowTheSkinExceptHero()
    {
        QFETCH(int, style);
        QFETCH(bool, followsSkin);
        const auto s = FelgrinMark::Style(style);
        auto render = [&](const UISkin &skin) {
            return paintMark([&](QPainter &p) { FelgrinMark::paint(p, QRectF(0, 0, 64, 64), 40, s, skin); }, 64);
        };
        const QImage steel = render(UISkin::steel());
        const QImage orange = render(UISkin::duvedivOduv());
        painttest::savePng(orange, QStringLiteral("mark-felgrin-%1").arg(style));
        QCOMPARE(steel != orange, followsSkin);
        if (!followsSkin)
            QCOMPARE(FelgrinMark::starFill(s, UISkin::steel()), QColor::fromRgbF(1.0f, 0.72f, 0.28f));
        else
            QCOMPARE(FelgrinMark::halo(s, UISkin::steel()), QirvTheme::color(UISkin::steel().colors.accent));
        // The star is drawn in the middle; the halo glows around it.
        QVERIFY(qAlpha(steel.pixel(32, 34)) > 200);
        QVERIFY(qAlpha(steel.pixel(32, 4)) > 0);
    }

    void razevuStylesRecolourWithTheSkin()
    {
        const QImage mark = solid(Qt::white, 64);
        auto render = [&](RazevuMark::Style style, const UISkin &skin) {
            return paintMark([&](QPainter &p) { RazevuMark::paint(p, QRectF(30, 30, 60, 60), style, mark, skin); });
        };
        QCOMPARE(QColor(render(RazevuMark::Style::primary, UISkin::steel()).pixel(60, 60)).name(),
                 QStringLiteral("#e8ecf2")); // times the skin's text colour
        QVERIFY(render(RazevuMark::Style::accent, UISkin::steel()) !=
                render(RazevuMark::Style::accent, UISkin::duvedivOduv()));
        // Hero's warm multiply is fixed: the middle is the same in both skins.
        const QImage heroSteel = render(RazevuMark::Style::hero, UISkin::steel());
        painttest::savePng(heroSteel, QStringLiteral("mark-razevu-hero"));
        QCOMPARE(heroSteel.pixel(60, 60), render(RazevuMark::Style::hero, UISkin::duvedivOduv()).pixel(60, 60));
    }

    // The shipped marks as widgets on a dark glass-like ground, for a person to look at.
    void renderGallery()
    {
        Fixture f;
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, QColor(0x14, 0x18, 0x20));
        window.setPalette(pal);
        window.resize(760, 300);
        int x = 30;
        for (qreal size : {96.0, 48.0}) {
            for (bool rounded : {true, false}) {
                auto *icon = new AppIconMark(size, rounded, *f.styles, &window);
                icon->move(x, 20);
                x += icon->width() + 40;
            }
        }
        x = 30;
        for (auto style : {RazevuMark::Style::accent, RazevuMark::Style::primary, RazevuMark::Style::hero}) {
            auto *mark = new RazevuMark(64, style, *f.styles, &window);
            mark->move(x, 170);
            x += mark->width() + 36;
        }
        for (qreal size : {11.0, 24.0, 48.0})
            for (auto style : {FelgrinMark::Style::resting, FelgrinMark::Style::accent, FelgrinMark::Style::hero}) {
                auto *mark = new FelgrinMark(size, style, *f.styles, &window);
                mark->move(x, 180);
                x += mark->width() + 8;
            }
        window.show();
        const QImage shot = window.grab().toImage();
        painttest::savePng(shot, QStringLiteral("mark-gallery"));
        QVERIFY(!shot.isNull());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(MarksTest)
#include "tst_marks.moc"
