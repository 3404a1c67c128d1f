// Text on glass stays legible: every shipped skin over four backdrops
// (the default stage, plain white, plain black, a busy saturated photo).
// Each text role's box is measured against the glass actually painted
// behind it (WCAG contrast, the worst pixel of the box).

#include "PaintFixture.h"

#include "glass/look/Contrast.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/SidebarGlassBackground.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "support/PaintHelpers.h"
#include "support/TestMain.h"

#include <QDirIterator>
#include <QMap>

using namespace glass;
using Role = QirvTheme::FrostRole;

namespace {

const QString kSkinDir = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/skins");

QImage plain(QColor c)
{
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

struct TextRole {
    const char *name;
    QColor color;
    QFont font;
    double minimum;
};

QList<TextRole> roles(const Styles &s)
{
    return {{"primary", s.body.color, s.body.font, 4.5},
            {"headline", s.headline.color, s.headline.font, 4.5},
            {"secondary", s.secondary.color, s.secondary.font, 3},
            {"tertiary", s.tertiary.color, s.tertiary.font, 3},
            {"placeholder", s.field.placeholder, s.field.font, 3},
            {"link", s.link.color, s.link.font, 3}};
}

// The lowest contrast of color against any pixel of box.
double worstContrast(const QImage &glass, const QRect &box, const QColor &color)
{
    double worst = 21;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            worst = std::min(worst, Contrast::ratio(color, QColor(glass.pixel(x, y))));
    return worst;
}

// Worst figure per role over every skin and backdrop, for the summary.
QMap<QString, double> &minima()
{
    static QMap<QString, double> m;
    return m;
}

} // namespace

class LegibilityTest : public QObject {
    Q_OBJECT

private slots:
    void textOnGlass_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("backdrop");
        const QStringList ids = testsupport::skinIds(kSkinDir);
        QVERIFY(ids.size() >= 8);
        for (const QString &id : ids)
            for (const char *backdrop : {"stage", "white", "black", "busy"})
                QTest::newRow(qPrintable(id + QLatin1Char('/') + QLatin1String(backdrop))) << id << QString::fromLatin1(backdrop);
    }

    void textOnGlass()
    {
        QFETCH(QString, skin);
        QFETCH(QString, backdrop);
        const QImage wallpaper = backdrop == QLatin1String("white") ? plain(Qt::white)
                                 : backdrop == QLatin1String("black") ? plain(Qt::black)
                                 : backdrop == QLatin1String("busy")  ? testsupport::busyPhoto()
                                                                      : QImage(painttest::stageImagePath());
        QVERIFY(!wallpaper.isNull());
        painttest::Fixture f(wallpaper);
        stage::SkinStore skins(stage::SkinStore::Sources{kSkinDir, f.dir.filePath(QStringLiteral("user-skins"))});
        skins.select(skin);
        QCOMPARE(skins.current().id, skin);
        StyleStore styles(skins);
        const Styles &s = styles.styles();
        f.bg->setAnimateKenBurns(false);
        f.bg->setIsEnabled(true);

        QWidget window;
        window.resize(960, 560);
        auto *stageView = new StageBackground(*f.bg, styles, &window);
        stageView->setGeometry(window.rect());
        // The surfaces text sits on: sidebar, a side panel, a card, a field, a chip.
        auto *sidebar = new SidebarGlassBackground(*f.bg, styles, &window);
        sidebar->setGeometry(0, 0, 260, 560);
        auto *panel = new FrostPanelBackground(Role::panel, styles, &window);
        panel->setGeometry(680, 0, 280, 560);
        auto *card = new FrostShapeBackground(Role::card, FrostShape::roundedRectangle(s.card.radius), true, false,
                                              styles, &window);
        card->setGeometry(300, 40, 340, 200);
        auto *field = new FrostShapeBackground(Role::field, FrostShape::roundedRectangle(s.field.radius), true, false,
                                               styles, &window);
        field->setGeometry(300, 280, 340, 200);
        auto *chip = new FrostShapeBackground(Role::chip, FrostShape::roundedRectangle(s.chip.radius), true, false,
                                              styles, &window);
        chip->setGeometry(300, 500, 340, 44);
        window.show();
        QTRY_VERIFY(stageView->isBackdropReady());
        QTRY_VERIFY(sidebar->isWallpaperReady());
        QCoreApplication::processEvents();

        const QImage glass = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QImage shot = glass;
        QPainter text(&shot);
        const QList<TextRole> all = roles(s);
        const struct {
            const char *name;
            QWidget *surface;
        } surfaces[] = {{"sidebar", sidebar}, {"panel", panel}, {"card", card}, {"field", field}, {"chip", chip}};
        QStringList failures;
        for (const auto &surface : surfaces) {
            const QRect area = surface.surface->geometry().adjusted(16, 10, -16, -10);
            int y = area.top();
            for (const TextRole &role : all) {
                if (y + 16 > area.bottom()) // the chip holds as many rows as fit
                    break;
                const QString sample = QStringLiteral("%1 text on %2 glass").arg(QLatin1String(role.name), QLatin1String(surface.name));
                const QFontMetrics fm(role.font);
                const QRect box(area.left(), y, std::min(area.width(), fm.horizontalAdvance(sample)), fm.height());
                const double ratio = worstContrast(glass, box, role.color);
                double &min = minima()[QLatin1String(role.name)];
                min = min == 0 ? ratio : std::min(min, ratio);
                if (ratio < role.minimum)
                    failures << QStringLiteral("%1 on %2: %3").arg(QLatin1String(role.name), QLatin1String(surface.name)).arg(ratio, 0, 'f', 2);
                text.setFont(role.font);
                text.setPen(role.color);
                text.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, sample);
                y += box.height() + 6;
            }
        }
        text.end();
        painttest::savePng(shot, QStringLiteral("legibility-%1-%2").arg(skin, backdrop));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }

    void cleanupTestCase()
    {
        for (auto it = minima().cbegin(); it != minima().cend(); ++it)
            qInfo("lowest contrast %s %.2f", qPrintable(it.key()), it.value());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(LegibilityTest)
#include "tst_legibility.moc"
