#include "PaintFixture.h"

#include "glass/paint/BackdropBlur.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/GlassDecoration.h"
#include "glass/paint/GlassPainter.h"
#include "glass/paint/ShadowCache.h"
#include "glass/paint/SidebarGlassBackground.h"
#include "glass/stageview/StageBackground.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

using namespace stage;
using namespace glass;
using painttest::Fixture;
using Role = QirvTheme::FrostRole;

namespace {

// A window with the stage filling it; glass goes on top.
struct Scene {
    QWidget window;
    StageBackground *stage;

    Scene(Fixture &f, QSize size = QSize(960, 600))
    {
        f.bg->setAnimateKenBurns(false); // a still pose, so pixels can be compared
        window.resize(size);
        stage = new StageBackground(*f.bg, *f.styles, &window);
        stage->setGeometry(window.rect());
        window.show();
    }
    bool ready() const { return stage->isBackdropReady(); }
    QImage grab() { return window.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// Average colour of a block.
QRgb mean(const QImage &image, const QRect &r)
{
    qint64 red = 0, green = 0, blue = 0, n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            red += qRed(p);
            green += qGreen(p);
            blue += qBlue(p);
            ++n;
        }
    return qRgb(int(red / n), int(green / n), int(blue / n));
}

double redness(QRgb p)
{
    return qRed(p) - (qGreen(p) + qBlue(p)) / 2.0;
}

} // namespace

class GlassTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(painttest::stageImagePath()), "the shipped stage image is missing");
    }

    // Between the rounded corners the sides of an inner border are drawn
    // alone (a tall bubble repaints a few rows at a time): they must give
    // the pixels the whole outline gives there.
    void innerBorderSidesMatchTheOutline_data()
    {
        QTest::addColumn<qreal>("width");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("faint rim") << 0.6 << QColor::fromRgbF(1, 1, 1, 0.085f) << QRectF(0, 0, 240, 300);
        QTest::newRow("dark hairline") << 1.0 << QColor(0, 0, 0, 40) << QRectF(0, 0, 240, 300);
        QTest::newRow("odd width") << 0.6 << QColor(255, 255, 255, 200) << QRectF(0, 0, 241, 300);
    }
    void innerBorderSidesMatchTheOutline()
    {
        QFETCH(qreal, width);
        QFETCH(QColor, ink);
        QFETCH(QRectF, rect);
        const FrostShape shape = FrostShape::roundedRectangle(18);
        const QRect rows(0, 19, int(std::ceil(rect.width())), 300 - 38);
        const auto paint = [&](bool sidesOnly) {
            QImage image(rect.size().toSize(), QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor(40, 60, 90));
            QPainter p(&image);
            if (sidesOnly) {
                GlassPainter::innerBorderSides(p, rect, rows, ink, width);
            } else {
                p.setClipRect(rows);
                GlassPainter::innerBorder(p, rect, shape, ink, width);
            }
            return image;
        };
        const QImage outline = paint(false);
        QVERIFY(outline.pixel(0, 150) != QColor(40, 60, 90).rgb()); // the rim is there at all
        QCOMPARE(paint(true), outline);
    }

    void rolesTintAsTheirWashSays()
    {
        Fixture f;
        f.skins->select(QStringLiteral("redwash")); // elevated pure red: the wash is the red
        Scene scene(f);
        QTRY_VERIFY(scene.ready());
        const QRect area(380, 200, 200, 120);
        QHash<int, double> red;
        const QList<Role> roles{Role::sidebar, Role::panel, Role::field, Role::chip, Role::card};
        for (Role role : roles) {
            auto *glass = new FrostShapeBackground(role, FrostShape::roundedRectangle(12), false, false,
                                                   *f.styles, &scene.window);
            glass->setGeometry(area);
            glass->show();
            const QImage shot = scene.grab();
            red[int(role)] = redness(mean(shot, area.adjusted(20, 20, -20, -20)));
            painttest::savePng(shot, QStringLiteral("glass-role-%1").arg(int(role)));
            delete glass;
        }
        for (Role a : roles)
            for (Role b : roles)
                if (QirvTheme::washOpacity(a) > QirvTheme::washOpacity(b) + 0.03)
                    QVERIFY2(red[int(a)] > red[int(b)],
                             qPrintable(QStringLiteral("role %1 (%2) should tint more than role %3 (%4)")
                                            .arg(int(a)).arg(red[int(a)]).arg(int(b)).arg(red[int(b)])));
        // A field's wash (0.26) is more than twice a chip's (0.12).
        QVERIFY(red[int(Role::field)] - red[int(Role::chip)] > 20);
    }

    void strokeFollowsItsFlags_data()
    {
        QTest::addColumn<bool>("stroke");
        QTest::addColumn<bool>("strong");
        QTest::addColumn<int>("edgeLift"); // brightness added at the top edge: 0 none, 1 some, 2 more
        QTest::newRow("off") << false << false << 0;
        QTest::newRow("off-ignores-strong") << false << true << 0;
        QTest::newRow("hairline") << true << false << 1;
        QTest::newRow("strong-hairline") << true << true << 2;
    }
    void strokeFollowsItsFlags()
    {
        QFETCH(bool, stroke);
        QFETCH(bool, strong);
        QFETCH(int, edgeLift);
        Fixture f;
        Scene scene(f, QSize(400, 240));
        QTRY_VERIFY(scene.ready());
        auto render = [&](bool withStroke, bool withStrong) {
            FrostShapeBackground glass(Role::chip, FrostShape::rectangle(), withStroke, withStrong, *f.styles,
                                       &scene.window);
            glass.setGeometry(100, 60, 200, 120);
            glass.show();
            return scene.grab();
        };
        const QImage plain = render(false, false);
        const QImage shot = render(stroke, strong);
        const QImage normal = render(true, false);
        const QPoint edge(200, 60); // the top row of the glass
        const int lift = qGray(shot.pixel(edge)) - qGray(plain.pixel(edge));
        if (edgeLift == 0)
            QCOMPARE(shot, plain); // not one pixel of border, whatever strong says
        else
            QVERIFY2(lift >= 8, qPrintable(QString::number(lift)));
        if (edgeLift == 2)
            QVERIFY(qGray(shot.pixel(edge)) > qGray(normal.pixel(edge)));
        // Inside, away from the border, the stroke changes nothing.
        QCOMPARE(shot.pixel(200, 120), plain.pixel(200, 120));
    }

    void glassIsFrostedWallpaperNotFlatGrey()
    {
        Fixture f(painttest::colourfulWallpaper());
        Scene scene(f);
        QTRY_VERIFY(scene.ready());
        auto *panel = new FrostPanelBackground(Role::panel, *f.styles, &scene.window);
        panel->setGeometry(0, 380, 960, 160);
        panel->show();
        const QImage shot = scene.grab();
        painttest::savePng(shot, QStringLiteral("glass-frosted-panel"));
        const double sharp = painttest::roughness(shot, QRect(40, 40, 880, 300));
        const double frosted = painttest::roughness(shot, QRect(40, 400, 880, 120));
        QVERIFY2(frosted * 8 < sharp, qPrintable(QStringLiteral("%1 vs %2").arg(frosted).arg(sharp)));
        // The wallpaper's colours come through: red-orange at the left, blue at the right.
        const QRgb left = mean(shot, QRect(20, 440, 40, 40));
        const QRgb right = mean(shot, QRect(900, 440, 40, 40));
        QVERIFY(qRed(left) > qRed(right) + 40);
        QVERIFY(qBlue(right) > qBlue(left) + 40);
    }

    void glassShowsWhatLiesBehindIt()
    {
        Fixture f(painttest::colourfulWallpaper());
        Scene scene(f);
        QTRY_VERIFY(scene.ready());
        // Nested one level down, so the mapping goes through window coordinates.
        auto *holder = new QWidget(&scene.window);
        holder->setGeometry(0, 0, 300, 200);
        auto *chip = new FrostShapeBackground(Role::chip, FrostShape::capsule(), true, false, *f.styles, holder);
        chip->setGeometry(60, 80, 160, 40);
        holder->show();
        holder->move(20, 300);
        const QRgb atLeft = mean(scene.grab(), QRect(20 + 110, 300 + 90, 40, 20));
        holder->move(640, 300);
        const QRgb atRight = mean(scene.grab(), QRect(640 + 110, 300 + 90, 40, 20));
        // Held dim enough for light text over the bright orange, still clearly warm there and cool at the right.
        QVERIFY2(redness(atLeft) > redness(atRight) + 30, qPrintable(QStringLiteral("%1 %2").arg(QColor(atLeft).name(), QColor(atRight).name())));
        QVERIFY(qBlue(atRight) > qBlue(atLeft) + 20);
    }

    void sidebarVeilClamps_data()
    {
        QTest::addColumn<double>("overlay");
        QTest::addColumn<double>("veil");
        QTest::newRow("zero-raised-to-0.08") << 0.0 << 0.08;
        QTest::newRow("one-lowered-to-0.35") << 1.0 << 0.35;
        QTest::newRow("0.4-halved") << 0.4 << 0.2;
    }
    void sidebarVeilClamps()
    {
        QFETCH(double, overlay);
        QFETCH(double, veil);
        QCOMPARE(SidebarGlassBackground::veilOpacity(overlay), veil);
    }

    void sidebarImageWidth_data()
    {
        QTest::addColumn<double>("sidebar");
        QTest::addColumn<double>("imageWidth");
        QTest::newRow("260-below-minimum") << 260.0 << 720.0;
        QTest::newRow("300-wider") << 300.0 << 780.0;
    }
    void sidebarImageWidth()
    {
        QFETCH(double, sidebar);
        QFETCH(double, imageWidth);
        const QRectF frame = SidebarGlassBackground::wallpaperFrame(QSizeF(sidebar, 700));
        QCOMPARE(frame.width(), imageWidth);
        QCOMPARE(frame.height(), 1.15 * 700);
        QCOMPARE(frame.center(), QPointF(0.42 * sidebar, 0.52 * 700));
    }

    // The stage leaves unpainted what a surface says it paints opaquely:
    // there its pixels must not depend on what lies beneath, in any skin.
    void glassIsOpaqueWhereItSays_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("surface");
        for (const char *skin : {"default", "paper"})
            for (const char *surface : {"sidebar", "panel", "rounded chip", "capsule with stroke", "circle",
                                        "plain rectangle", "effect view"})
                QTest::addRow("%s, %s", skin, surface) << QString::fromLatin1(skin) << QString::fromLatin1(surface);
    }
    void glassIsOpaqueWhereItSays()
    {
        QFETCH(QString, skin);
        QFETCH(QString, surface);
        Fixture f;
        f.skins->select(skin);
        Scene scene(f, QSize(700, 500));
        GlassSurface *glass = nullptr;
        QRect at(40, 40, 260, 90);
        if (surface == QLatin1String("sidebar")) {
            glass = new SidebarGlassBackground(*f.bg, *f.styles, &scene.window);
            at = QRect(0, 0, 260, 500);
        } else if (surface == QLatin1String("panel")) {
            glass = new FrostPanelBackground(Role::panel, *f.styles, &scene.window);
        } else if (surface == QLatin1String("rounded chip")) {
            glass = new FrostShapeBackground(Role::chip, FrostShape::roundedRectangle(12), false, false, *f.styles,
                                             &scene.window);
        } else if (surface == QLatin1String("capsule with stroke")) {
            glass = new FrostShapeBackground(Role::card, FrostShape::capsule(), true, true, *f.styles, &scene.window);
        } else if (surface == QLatin1String("circle")) {
            glass = new FrostShapeBackground(Role::chip, FrostShape::circle(), true, false, *f.styles, &scene.window);
            at = QRect(40, 40, 90, 90);
        } else if (surface == QLatin1String("plain rectangle")) {
            glass = new FrostShapeBackground(Role::field, FrostShape::rectangle(), true, false, *f.styles,
                                             &scene.window);
        } else {
            glass = new VisualEffectView(QirvTheme::WindowMaterial::popover,
                                         VisualEffectView::BlendingMode::withinWindow,
                                         VisualEffectView::State::active, *f.styles, &scene.window);
        }
        glass->setGeometry(at);
        glass->show();
        QTRY_VERIFY(scene.ready());
        if (auto *sidebar = qobject_cast<SidebarGlassBackground *>(glass))
            QTRY_VERIFY(sidebar->isWallpaperReady());
        const auto over = [&](const QColor &ground) {
            QImage image(glass->size(), QImage::Format_RGB32);
            image.fill(ground);
            glass->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            return image;
        };
        const QRegion solid = glass->solidRegion();
        QVERIFY(!solid.isEmpty());
        QVERIFY(QRegion(glass->rect()).contains(solid.boundingRect()));
        const QImage black = over(Qt::black), white = over(Qt::white);
        for (const QRect &r : solid)
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (black.pixel(x, y) != white.pixel(x, y))
                        QFAIL(qPrintable(QStringLiteral("see-through at %1,%2").arg(x).arg(y)));
    }

    void sidebarTintsPlainlyWithoutWallpaper()
    {
        Fixture f;
        f.skins->select(QStringLiteral("bluebase")); // bg strongly blue: the plain tint shows
        Scene scene(f, QSize(700, 500));
        auto *sidebar = new SidebarGlassBackground(*f.bg, *f.styles, &scene.window);
        sidebar->setGeometry(0, 0, 260, 500);
        sidebar->show();
        QTRY_VERIFY(scene.ready() && sidebar->isWallpaperReady());
        QVERIFY(sidebar->showsWallpaper());
        const QImage withWallpaper = scene.grab();
        painttest::savePng(withWallpaper, QStringLiteral("glass-sidebar-wallpaper"));
        f.bg->setIsEnabled(false);
        QVERIFY(!sidebar->showsWallpaper());
        // The stage's fade out, to its last frame handed to the glass.
        QTRY_VERIFY(scene.stage->mediaOpacity() == 0.0 && !scene.stage->isTicking());
        const QImage plain = scene.grab();
        painttest::savePng(plain, QStringLiteral("glass-sidebar-plain"));
        // Over the blue backdrop, a plain blue tint and the grey layers: no moonlit detail.
        QVERIFY(painttest::roughness(plain, QRect(10, 10, 240, 480)) < 0.5);
        QVERIFY(qBlue(plain.pixel(130, 250)) > qRed(plain.pixel(130, 250)) + 60);
    }

    void shadowIsTheWholeShapeBlurred_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("kind"); // FrostShape::Kind
        QTest::addColumn<qreal>("corner");
        QTest::addColumn<qreal>("radius");
        using K = FrostShape::Kind;
        QTest::newRow("wide rectangle") << QSize(400, 40) << int(K::rectangle) << 0.0 << 12.0;
        QTest::newRow("card") << QSize(600, 300) << int(K::roundedRectangle) << 14.0 << 24.0;
        QTest::newRow("card at 1.25x: a corner between pixels") << QSize(520, 260) << int(K::roundedRectangle)
                                                                << 17.5 << 15.0;
        QTest::newRow("corner wider than the bar is high") << QSize(500, 20) << int(K::roundedRectangle) << 16.0
                                                          << 6.0;
        QTest::newRow("capsule") << QSize(300, 36) << int(K::capsule) << 0.0 << 8.0;
        QTest::newRow("standing capsule") << QSize(30, 200) << int(K::capsule) << 0.0 << 5.0;
        QTest::newRow("smaller than its corners") << QSize(40, 40) << int(K::roundedRectangle) << 10.0 << 20.0;
        QTest::newRow("circle") << QSize(120, 120) << int(K::circle) << 0.0 << 10.0;
    }

    // A long shadow is made from a short one with its middle repeated: the
    // very pixels of the whole shape blurred.
    void shadowIsTheWholeShapeBlurred()
    {
        QFETCH(QSize, size);
        QFETCH(int, kind);
        QFETCH(qreal, corner);
        QFETCH(qreal, radius);
        const FrostShape shape{FrostShape::Kind(kind), corner};
        const QColor color = QColor::fromRgbF(0.1f, 0, 0.2f, 0.4f);
        QImage mask(size, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            p.fillPath(shape.path(QRectF(QPointF(0, 0), QSizeF(size))), Qt::black);
        }
        const QImage whole = BackdropBlur::softMask(mask, color, radius);
        const QImage made = ShadowCache::stretchedShadow(size, shape, color, radius);
        QCOMPARE(made.size(), whole.size());
        QCOMPARE(made.convertToFormat(QImage::Format_ARGB32_Premultiplied), whole);
    }

    void skinChangeRecoloursAndEmptiesBakedShadows()
    {
        Fixture f(painttest::colourfulWallpaper());
        Scene scene(f, QSize(500, 300));
        QTRY_VERIFY(scene.ready());
        const QImage bare = scene.grab();
        auto *card = new QLabel(QStringLiteral("Welcome"), &scene.window);
        card->setGeometry(120, 80, 260, 120);
        GlassCard::apply(card, 14, Role::card, *f.styles);
        card->show();
        const QImage before = scene.grab();
        QVERIFY(ShadowCache::forStyles(*f.styles).count() > 0);
        f.skins->select(QStringLiteral("redwash"));
        QCOMPARE(ShadowCache::forStyles(*f.styles).count(), 0);
        const QImage after = scene.grab();
        painttest::savePng(after, QStringLiteral("glass-card-redwash"));
        const QRect middle(200, 150, 40, 30); // below the label's text
        QVERIFY(redness(mean(after, middle)) > redness(mean(before, middle)) + 15);
        // The shadow below the card is drawn again after the change.
        const QRect below(200, 204, 100, 4);
        QVERIFY(qGray(mean(after, below)) + 10 < qGray(mean(bare, below)));
        QVERIFY(ShadowCache::forStyles(*f.styles).count() > 0);
    }

    // A control hidden before its window first shows (a chip for the other
    // sign-in state) must take its glass with it, or the glass covers the
    // card's other content at the control's unlaid-out 640 x 480.
    void glassFollowsAHostHiddenBeforeShown_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("hidden-before-show") << true;
        QTest::newRow("left-visible") << false;
    }
    void glassFollowsAHostHiddenBeforeShown()
    {
        QFETCH(bool, hidden);
        Fixture f;
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *chip = new QLabel(QStringLiteral("chip"));
        auto *background =
            FrostShapeBackground::install(chip, Role::chip, FrostShape::capsule(), true, false, *f.styles);
        layout->addWidget(chip);
        chip->setVisible(!hidden);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(background->isVisible(), !hidden);
        chip->setVisible(hidden);
        QCOMPARE(background->isVisible(), hidden);
    }

    // A tray popover's content that fills it edge to edge (a row with its
    // own fill) is cut along the card's rounded corners, at its first size
    // and after it grows; the glass shows in the corner, the fill inside.
    void trayPopoverCutsItsContentAtTheCorners_data()
    {
        QTest::addColumn<QSize>("grown");
        QTest::newRow("as made") << QSize();
        QTest::newRow("grown after") << QSize(300, 220);
    }
    void trayPopoverCutsItsContentAtTheCorners()
    {
        QFETCH(QSize, grown);
        Fixture f;
        Scene scene(f);
        auto *popover = new QWidget(&scene.window);
        popover->setGeometry(120, 100, 240, 160);
        auto *fill = new QWidget(popover);
        fill->setAutoFillBackground(true);
        QPalette red = fill->palette();
        red.setColor(QPalette::Window, Qt::red);
        fill->setPalette(red);
        trayGlassPopover(popover, 16, *f.styles);
        for (QWidget *w : scene.window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            w->show();
        if (grown.isValid())
            popover->resize(grown);
        fill->setGeometry(popover->rect());
        QTRY_VERIFY(scene.ready());
        const QImage shot = scene.grab();
        painttest::savePng(shot, QStringLiteral("tray-popover-corners-%1").arg(grown.isValid() ? "grown" : "made"));
        const QRect r = popover->geometry();
        const auto isRed = [&](QPoint at) {
            const QColor c = shot.pixelColor(r.topLeft() + at);
            return c.red() > 200 && c.green() < 60 && c.blue() < 60;
        };
        const int w = r.width() - 1, h = r.height() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(w, 0), QPoint(0, h), QPoint(w, h), QPoint(2, 2), QPoint(w - 2, h - 2)})
            QVERIFY2(!isRed(corner), qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
        for (const QPoint inside : {QPoint(w / 2, h / 2), QPoint(16, 0), QPoint(0, 16), QPoint(w - 6, h - 6), QPoint(w, h / 2)})
            QVERIFY2(isRed(inside), qPrintable(QStringLiteral("%1,%2").arg(inside.x()).arg(inside.y())));
    }

    // Every surface kind over both wallpapers, for a person to look at.
    void renderGallery_data()
    {
        QTest::addColumn<bool>("colourful");
        QTest::newRow("stage-image") << false;
        QTest::newRow("colourful") << true;
    }
    void renderGallery()
    {
        QFETCH(bool, colourful);
        Fixture f(colourful ? painttest::colourfulWallpaper() : QImage());
        Scene scene(f, QSize(1280, 800));
        auto *sidebar = new QWidget(&scene.window);
        sidebar->setGeometry(0, 0, 260, 800);
        SidebarGlassBackground::install(sidebar, *f.bg, *f.styles);
        auto *tools = new QWidget(&scene.window);
        tools->setGeometry(1000, 0, 280, 800);
        FrostPanelBackground::install(tools, Role::panel, *f.styles);
        auto *welcome = new QLabel(QStringLiteral("  Welcome card (GlassCard)"), &scene.window);
        welcome->setGeometry(400, 120, 440, 180);
        GlassCard::apply(welcome, 18, Role::card, *f.styles);
        auto *composer = new QLabel(QStringLiteral("  Composer (FrostFieldModifier, emphasized)"), &scene.window);
        composer->setGeometry(340, 640, 560, 96);
        FrostFieldModifier::apply(composer, 16, true, *f.styles);
        auto *popover = new QLabel(QStringLiteral("  Tray popover"), &scene.window);
        popover->setGeometry(300, 420, 260, 150); // over the lit houses
        trayGlassPopover(popover, 16, *f.styles);
        for (int i = 0; i < 3; ++i) {
            auto *chip = new QLabel(QStringLiteral("  chip"), &scene.window);
            chip->setGeometry(340 + i * 90, 590, 80, 26);
            FrostShapeBackground::install(chip, Role::chip, FrostShape::capsule(), true, i == 2, *f.styles);
            chip->setPalette(f.styles->styles().palette()); // the chips' text in the glass's colour
        }
        for (QWidget *w : scene.window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            w->show();
        QTRY_VERIFY(scene.ready());
        QTest::qWait(100);
        const QImage shot = scene.grab();
        painttest::savePng(shot, colourful ? QStringLiteral("glass-gallery-colourful")
                                           : QStringLiteral("glass-gallery-stage"));
        QVERIFY(!shot.isNull());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(GlassTest)
#include "tst_glass.moc"
