#include "PaintFixture.h"

#include "glass/paint/FrostShape.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/GlassSurface.h"
#include "glass/paint/PaintBands.h"
#include "glass/stageview/StageCover.h"
#include "glass/paint/BackdropSheet.h"
#include "support/TestMain.h"

#include <QGraphicsOpacityEffect>
#include <QPaintEvent>

using namespace glass;
using painttest::Fixture;

Q_DECLARE_METATYPE(glass::FrostShape)

namespace {

// A stage stand-in and, above it, a container holding one glass surface.
struct Layers {
    QWidget window;
    QWidget *stage;
    QWidget *container;
    GlassSurface *glass = nullptr;
    explicit Layers(StyleStore &styles, bool panel)
    {
        window.resize(400, 300);
        stage = new QWidget(&window);
        stage->setGeometry(window.rect());
        container = new QWidget(&window);
        container->setGeometry(40, 30, 200, 120);
        if (panel)
            glass = new FrostPanelBackground(QirvTheme::FrostRole::card, styles, container);
        else
            glass = new FrostShapeBackground(QirvTheme::FrostRole::card, FrostShape::roundedRectangle(12), true, false,
                                             styles, container);
        glass->setGeometry(10, 10, 150, 80);
    }
};

// Fills what it is asked to repaint, in bands, and notes the bands.
class BandedFill : public QWidget {
public:
    QList<QRect> bands;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        paintInBands(p, rect(), [&](const QRect &band) {
            bands.append(band);
            p.fillRect(band, Qt::blue);
        });
    }
};

// A stage that counts how often its whole frame is asked for.
class CountingStage : public QWidget, public BackdropProvider {
public:
    using QWidget::QWidget;
    BackdropFrame frame;
    mutable int framesAsked = 0;
    const BackdropFrame &backdropFrame() const override
    {
        ++framesAsked;
        return frame;
    }
    quint64 backdropRevision() const override { return frame.revision; }
    QWidget *backdropWidget() override { return this; }
    QMetaObject::Connection followBackdrop(QObject *, std::function<void()>) override { return {}; }
};

} // namespace

class StageCoverTest : public QObject {
    Q_OBJECT
private slots:
    // Every pixel a shape calls solid is fully covered when the shape is
    // filled, antialiased, as the glass fills it; and most of the shape is.
    void solidRegionIsFullyCovered_data()
    {
        QTest::addColumn<FrostShape>("shape");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<double>("leastShare"); // of the rectangle's area
        QTest::newRow("rectangle") << FrostShape::rectangle() << QRect(3, 4, 100, 60) << 0.9;
        QTest::newRow("rounded") << FrostShape::roundedRectangle(12) << QRect(5, 2, 120, 70) << 0.85;
        QTest::newRow("radius past half the height") << FrostShape::roundedRectangle(80) << QRect(0, 0, 90, 40) << 0.6;
        QTest::newRow("capsule") << FrostShape::capsule() << QRect(1, 1, 140, 30) << 0.7;
        QTest::newRow("tall capsule") << FrostShape::capsule() << QRect(1, 1, 24, 90) << 0.6;
        QTest::newRow("circle in a wide box") << FrostShape::circle() << QRect(0, 0, 90, 50) << 0.2;
        QTest::newRow("tiny rounded") << FrostShape::roundedRectangle(6) << QRect(0, 0, 4, 4) << 0.0;
    }
    void solidRegionIsFullyCovered()
    {
        QFETCH(FrostShape, shape);
        QFETCH(QRect, rect);
        QFETCH(double, leastShare);
        QImage filled(rect.right() + 4, rect.bottom() + 4, QImage::Format_ARGB32_Premultiplied);
        filled.fill(Qt::transparent);
        {
            QPainter p(&filled);
            p.setRenderHint(QPainter::Antialiasing);
            p.fillPath(shape.path(QRectF(rect)), Qt::white);
        }
        const QRegion solid = shape.solidRegion(rect);
        qint64 area = 0;
        for (const QRect &r : solid) {
            area += qint64(r.width()) * r.height();
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    QVERIFY2(qAlpha(filled.pixel(x, y)) == 255, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
        QVERIFY2(area >= leastShare * rect.width() * rect.height(), qPrintable(QString::number(area)));
    }

    // What a video frame need not repaint: glass above the stage, as far as
    // it is seen, and nothing that could let the stage show through.
    void coveredByGlass_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QRegion>("expected"); // in the stage's coordinates
        QTest::addColumn<QRect>("within");     // null: the whole stage
        const QRect panel(50, 40, 150, 80);    // the glass, placed in the stage
        QTest::newRow("rounded glass: its inside")
            << "shape" << FrostShape::roundedRectangle(12).solidRegion(QRect(panel)) << QRect();
        QTest::newRow("opaque panel: all of it") << "panel" << QRegion(panel) << QRect();
        QTest::newRow("hidden") << "hidden" << QRegion() << QRect();
        QTest::newRow("container hidden") << "container hidden" << QRegion() << QRect();
        QTest::newRow("clipped by its container") << "clipped" << QRegion(QRect(50, 40, 100, 80)) << QRect();
        QTest::newRow("partly off the stage") << "off stage" << QRegion(QRect(0, 0, 50, 80)) << QRect();
        QTest::newRow("fading container") << "effect" << QRegion() << QRect();
        QTest::newRow("below the stage") << "below" << QRegion() << QRect();
        QTest::newRow("a window of its own") << "window" << QRegion() << QRect();
        // In a row of a list, as the list keeps them: partly scrolled out,
        // wholly out of sight, or hidden for reuse.
        QTest::newRow("row half scrolled out") << "row half out" << QRegion(QRect(50, 30, 150, 50)) << QRect();
        QTest::newRow("row out of sight") << "row out" << QRegion() << QRect();
        QTest::newRow("row hidden") << "row hidden" << QRegion() << QRect();
        // A repaint of part of the stage looks only there.
        QTest::newRow("part over the glass") << "panel" << QRegion(QRect(50, 40, 50, 20)) << QRect(0, 0, 100, 60);
        QTest::newRow("part beside the glass") << "panel" << QRegion() << QRect(210, 0, 100, 300);
        QTest::newRow("part over a scrolled row") << "row half out" << QRegion(QRect(60, 30, 40, 10))
                                                  << QRect(60, 0, 40, 40);
    }
    void coveredByGlass()
    {
        QFETCH(QString, setup);
        QFETCH(QRegion, expected);
        QFETCH(QRect, within);
        Fixture f;
        Layers l(*f.styles, setup != QLatin1String("shape"));
        if (setup == QLatin1String("hidden"))
            l.glass->hide();
        else if (setup == QLatin1String("container hidden"))
            l.container->hide();
        else if (setup == QLatin1String("clipped"))
            l.container->resize(110, 120);
        else if (setup == QLatin1String("off stage"))
            l.container->move(-110, -10);
        else if (setup == QLatin1String("effect"))
            l.container->setGraphicsEffect(new QGraphicsOpacityEffect);
        else if (setup == QLatin1String("below"))
            l.container->stackUnder(l.stage);
        if (setup.startsWith(QLatin1String("row"))) {
            auto *row = new QWidget(l.container);
            row->setGeometry(0, setup == QLatin1String("row out") ? 130 : -40, 200, 120);
            l.glass->setParent(row);
            l.glass->show();
            if (setup == QLatin1String("row hidden"))
                row->hide();
        }
        l.window.show();
        if (setup == QLatin1String("window")) {
            l.container->setWindowFlag(Qt::Tool);
            l.container->show();
        }
        QVERIFY(QTest::qWaitForWindowExposed(&l.window));
        QCOMPARE(within.isNull() ? glass::coveredByGlass(l.stage) : glass::coveredByGlass(l.stage, within), expected);
    }

    // A piece in a scrolling list copies its part of the sheet at every
    // frame: the stage's whole frame is built only when something must be
    // drawn again (a new revision, the list moved on the stage, a layer
    // that made room for others). A copy kept of a layer is stale then,
    // and the sheet's generation says so.
    void sheetAsksTheFrameOnlyToDraw_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("framesAsked");
        QTest::addColumn<int>("draws");
        QTest::addColumn<bool>("stale");
        QTest::newRow("copied again") << QString() << 0 << 0 << false;
        QTest::newRow("new revision") << "revision" << 1 << 1 << true;
        QTest::newRow("list moved") << "move" << 1 << 1 << true;
        QTest::newRow("five more materials") << "materials" << 6 << 6 << true;
    }
    void sheetAsksTheFrameOnlyToDraw()
    {
        QFETCH(QString, change);
        QFETCH(int, framesAsked);
        QFETCH(int, draws);
        QFETCH(bool, stale);
        QWidget window;
        window.resize(300, 200);
        auto *stage = new CountingStage(&window);
        stage->setGeometry(window.rect());
        stage->frame.base = Qt::darkBlue;
        stage->frame.revision = 1;
        auto *list = new QWidget(&window);
        list->setGeometry(20, 20, 200, 150);
        auto *piece = new QWidget(list);
        piece->setGeometry(10, 30, 120, 40);
        BackdropSheet sheet(list);
        int drawn = 0;
        const BackdropSheet::Draw draw = [&](QPainter &p, const BackdropFrame *frame, QPointF, const QRectF &area) {
            ++drawn;
            p.fillRect(area, frame ? frame->base : QColor(Qt::red));
        };
        QImage image(piece->size(), QImage::Format_RGB32);
        const auto copy = [&] {
            image.fill(Qt::black);
            QPainter p(&image);
            sheet.paint(p, piece, piece->rect(), 7, draw);
        };
        copy();
        QCOMPARE(drawn, 1);
        stage->framesAsked = 0;
        drawn = 0;
        const quint64 generation = sheet.generation();
        if (change == QLatin1String("revision")) {
            stage->frame.revision = 2;
            stage->frame.base = Qt::darkGreen;
        } else if (change == QLatin1String("move")) {
            list->move(24, 20);
        } else if (change == QLatin1String("materials")) {
            QImage other(piece->size(), QImage::Format_RGB32);
            QPainter p(&other);
            for (quint64 material = 8; material <= 12; ++material)
                sheet.paint(p, piece, piece->rect(), material, draw);
        }
        copy();
        QCOMPARE(stage->framesAsked, framesAsked);
        QCOMPARE(drawn, draws);
        QCOMPARE(sheet.generation() != generation, stale);
        QCOMPARE(sheet.layerDraws(), 1 + draws);
        QCOMPARE(image.pixel(5, 5), stage->frame.base.rgb());
    }

    // A partial repaint is painted band by band inside each rectangle of
    // its region (no band straddles two, so each is a plain rectangle
    // clip), all of it and nothing else.
    void bandsFollowTheRepaintedRegion_data()
    {
        QTest::addColumn<QRegion>("region");
        QTest::newRow("one rectangle") << QRegion(10, 10, 100, 150);
        QTest::newRow("a ring") << QRegion(0, 0, 200, 200) - QRegion(20, 20, 160, 160);
        QTest::newRow("two apart") << (QRegion(0, 0, 50, 30) + QRegion(120, 90, 60, 100));
    }
    void bandsFollowTheRepaintedRegion()
    {
        QFETCH(QRegion, region);
        BandedFill w;
        w.resize(200, 200);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(!w.bands.isEmpty());
        w.bands.clear();
        w.repaint(region);
        for (const QRect &band : std::as_const(w.bands))
            QVERIFY2(std::any_of(region.begin(), region.end(), [&](const QRect &r) { return r.contains(band); }),
                     qPrintable(QStringLiteral("%1,%2 %3x%4").arg(band.x()).arg(band.y()).arg(band.width()).arg(band.height())));
        QRegion painted;
        for (const QRect &band : std::as_const(w.bands))
            painted += band;
        QVERIFY((painted ^ region).isEmpty());
    }

    // A cached piece paints once for any number of repaints, and again
    // only after invalidate() or a new size.
    void cachedPiecePaintsOnlyWhenTold_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("paints");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("repaints only") << QString() << 1 << qRgb(255, 0, 0);
        QTest::newRow("invalidated") << "invalidate" << 2 << qRgb(0, 0, 255);
        QTest::newRow("resized") << "resize" << 2 << qRgb(0, 0, 255);
    }
    void cachedPiecePaintsOnlyWhenTold()
    {
        QFETCH(QString, change);
        QFETCH(int, paints);
        QFETCH(QRgb, colour);
        QWidget window;
        window.resize(120, 80);
        int painted = 0;
        QColor fill(Qt::red);
        auto *piece = new PaintedPiece(&window, [&](QPainter &p, const QRectF &r) {
            ++painted;
            p.fillRect(r, fill);
        });
        piece->setCached(true);
        piece->setGeometry(10, 10, 60, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(painted, 1);
        fill = Qt::blue;
        if (change == QLatin1String("invalidate"))
            piece->invalidate();
        else if (change == QLatin1String("resize"))
            piece->resize(70, 40);
        for (int i = 0; i < 3; ++i)
            piece->repaint();
        QCOMPARE(painted, paints);
        const QImage shown = window.grab().toImage();
        QCOMPARE(shown.pixel(30, 30), colour);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(StageCoverTest)
#include "tst_stage_cover.moc"
