#include "PaintFixture.h"

#include "glass/controls/GlassSwitch.h"
#include "glass/stageview/StageBackground.h"
#include "glass/stageview/WallpaperExpandedPanel.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>

#include <qcoro/qcorotask.h>

using namespace stage;
using namespace glass;
using painttest::Fixture;

namespace {

struct Panel {
    WallpaperExpandedPanel *panel;
    QStringList captions; // what the file chooser was asked
    QString answer;       // what it answers (empty: cancelled)
    QWidget window;

    explicit Panel(Fixture &f)
    {
        window.resize(420, 560);
        panel = new WallpaperExpandedPanel(*f.bg, *f.styles, &window);
        panel->move(40, 40);
        panel->setFileChooser([this](const QString &caption, const QStringList &) {
            captions << caption;
            return answer;
        });
        window.show();
    }
};

QString writeImage(const QString &dir, const QColor &color)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(color);
    const QString path = QDir(dir).filePath(color.name().mid(1) + QStringLiteral(".png"));
    image.save(path);
    return path;
}

} // namespace

class WallpaperPanelTest : public QObject {
    Q_OBJECT
private slots:
    // The panel reads the value as the settings card does: 0.29 is 29%.
    void percentageTruncates_data()
    {
        QTest::addColumn<double>("overlay");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.35") << 0.35 << QStringLiteral("35%");
        QTest::newRow("0.999-not-rounded-up") << 0.999 << QStringLiteral("99%");
        QTest::newRow("0.29-as-meant") << 0.29 << QStringLiteral("29%");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0%");
        QTest::newRow("one") << 1.0 << QStringLiteral("100%");
    }
    void percentageTruncates()
    {
        QFETCH(double, overlay);
        QFETCH(QString, text);
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(overlayPercent, QLabel, p.panel, QStringLiteral("overlayPercent"));
        f.bg->applyOverlayOpacity(overlay);
        QCOMPARE(overlayPercent->text(), text);
    }

    // Every text of the card, with the help texts only the grid's buttons have.
    void textsAreExact_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("help");
        QTest::newRow("title") << "titleLabel" << "Image" << "";
        QTest::newRow("overlay") << "overlayLabel" << "Overlay" << "";
        QTest::newRow("motion") << "motionSwitch" << "Motion" << "";
        QTest::newRow("photo") << "photoButton" << "Photo" << "Photo";
        QTest::newRow("video") << "videoButton" << "Video" << "Video";
        QTest::newRow("random") << "randomButton" << "Random" << "Random";
        QTest::newRow("undo") << "undoButton" << "Undo" << "Undo";
        QTest::newRow("go-without-help") << "goButton" << "Go" << "";
        QTest::newRow("clear-without-help") << "clearButton" << "Clear" << "";
        QTest::newRow("url-placeholder") << "urlField" << "URL" << "";
        QTest::newRow("close-help") << "closeButton" << "" << "Close";
    }
    void textsAreExact()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, help);
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(w, QWidget, p.panel, name);
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(w))
            shown = label->text();
        else if (auto *field = qobject_cast<QLineEdit *>(w))
            shown = field->placeholderText();
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            shown = button->text();
        QCOMPARE(shown, text);
        QCOMPARE(w->toolTip(), help);
    }

    void goNeedsMoreThanWhiteSpace_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("spaces-and-newlines") << QStringLiteral("  \n\t ") << false;
        QTest::newRow("one-character") << QStringLiteral(" x ") << true;
    }
    void goNeedsMoreThanWhiteSpace()
    {
        QFETCH(QString, address);
        QFETCH(bool, enabled);
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(goButton, QPushButton, p.panel, QStringLiteral("goButton"));
        f.bg->setCustomURLString(address);
        QCOMPARE(goButton->isEnabled(), enabled);
    }

    void stageSwitchReadsAndReloads()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(stage, GlassSwitch, p.panel, QStringLiteral("stageSwitch"));
        REQUIRE_CHILD(motion, GlassSwitch, p.panel, QStringLiteral("motionSwitch"));
        QVERIFY(f.bg->isEnabled());
        QCOMPARE(stage->text(), QStringLiteral("On"));
        const qint64 image = f.bg->loadedImage().cacheKey();

        QTest::mouseClick(stage, Qt::LeftButton);
        QVERIFY(!f.bg->isEnabled());
        QCOMPARE(stage->text(), QStringLiteral("Off"));
        QCOMPARE(f.bg->loadedImage().cacheKey(), image); // turning off reloads nothing
        QVERIFY(!motion->isEnabled());
        QCOMPARE(motion->isChecked(), f.bg->animateKenBurns()); // still shows the stored setting

        f.bg->clearBackground(); // no image in memory now
        QTest::mouseClick(stage, Qt::LeftButton);
        QVERIFY(f.bg->isEnabled());
        QVERIFY(!f.bg->loadedImage().isNull()); // reloaded from its file
        QVERIFY(motion->isEnabled());
    }

    void sliderGoesThroughTheAction()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(overlaySlider, QSlider, p.panel, QStringLiteral("overlaySlider"));
        REQUIRE_CHILD(overlayPercent, QLabel, p.panel, QStringLiteral("overlayPercent"));
        f.bg->setIsEnabled(false);
        overlaySlider->setValue(500);
        QCOMPARE(f.bg->overlayOpacity(), 0.5);
        QCOMPARE(overlayPercent->text(), QStringLiteral("50%"));
        QVERIFY(f.bg->isEnabled()); // the action switches a hidden stage on
    }

    void motionSwitchIsBound()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(motionSwitch, GlassSwitch, p.panel, QStringLiteral("motionSwitch"));
        const bool before = f.bg->animateKenBurns();
        QTest::mouseClick(motionSwitch, Qt::LeftButton);
        QCOMPARE(f.bg->animateKenBurns(), !before);
    }

    void photoPicksAndSwitchesOnEvenWhenCancelled()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(photoButton, QPushButton, p.panel, QStringLiteral("photoButton"));
        REQUIRE_CHILD(undoButton, QPushButton, p.panel, QStringLiteral("undoButton"));
        f.bg->setIsEnabled(false);
        p.answer.clear(); // the user cancels
        photoButton->click();
        QCOMPARE(p.captions, QStringList{QStringLiteral("Choose image")});
        QTRY_VERIFY(f.bg->isEnabled());

        p.answer = writeImage(f.dir.path(), QColor(200, 30, 30));
        const qint64 before = f.bg->loadedImage().cacheKey();
        photoButton->click();
        QTRY_VERIFY(f.bg->loadedImage().cacheKey() != before);
        QCOMPARE(QColor(f.bg->loadedImage().pixel(10, 10)).red(), 200);
        QVERIFY(f.bg->isEnabled());
        // The image it replaced went to the history: Undo is usable now.
        QTRY_VERIFY(undoButton->isEnabled());
        undoButton->click();
        QTRY_COMPARE(f.bg->statusMessage(), QStringLiteral("Restored previous wallpaper."));
    }

    void videoPicksAVideo()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(videoButton, QPushButton, p.panel, QStringLiteral("videoButton"));
        QFile clip(f.dir.filePath(QStringLiteral("clip.mp4")));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.write("not really a movie");
        clip.close();
        p.answer = clip.fileName();
        videoButton->click();
        QCOMPARE(p.captions, QStringList{QStringLiteral("Choose video")});
        QTRY_VERIFY(f.bg->useVideo());
        QCOMPARE(f.bg->statusMessage(), QStringLiteral("Video set."));
        QVERIFY(f.bg->isEnabled());
    }

    void randomFetchesASeededImage()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(randomButton, QPushButton, p.panel, QStringLiteral("randomButton"));
        REQUIRE_CHILD(urlField, QLineEdit, p.panel, QStringLiteral("urlField"));
        randomButton->click();
        const QString address = f.bg->customURLString();
        QVERIFY2(address.startsWith(QStringLiteral("http://127.0.0.1:9/seed/")) &&
                     address.endsWith(QStringLiteral("/1920/1080")),
                 qPrintable(address));
        QCOMPARE(urlField->text(), address); // the field follows at once
    }

    void undoFollowsCanUndo()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(undoButton, QPushButton, p.panel, QStringLiteral("undoButton"));
        QVERIFY(!f.bg->canUndo());
        QVERIFY(!undoButton->isEnabled());
    }

    void goAppliesTheTypedAddress()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(statusLine, QLabel, p.panel, QStringLiteral("statusLine"));
        REQUIRE_CHILD(field, QLineEdit, p.panel, QStringLiteral("urlField"));
        REQUIRE_CHILD(go, QPushButton, p.panel, QStringLiteral("goButton"));
        field->clear();
        f.bg->setCustomURLString(QString());
        QVERIFY(!go->isEnabled());
        QTest::keyClicks(field, QStringLiteral("ftp://example.org/a.jpg"));
        QCOMPARE(f.bg->customURLString(), QStringLiteral("ftp://example.org/a.jpg"));
        QVERIFY(go->isEnabled());
        go->click();
        QTRY_COMPARE(f.bg->statusMessage(), QStringLiteral("Enter a valid http(s) image URL."));
        QVERIFY(statusLine->isVisible());
    }

    void clearHidesTheStageAndCloses()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(clearButton, QPushButton, p.panel, QStringLiteral("clearButton"));
        QSignalSpy closed(p.panel, &WallpaperExpandedPanel::expandedChanged);
        clearButton->click();
        QVERIFY(!f.bg->isEnabled());
        QCOMPARE(f.bg->statusMessage(),
                 QStringLiteral("Background hidden. Your image is still saved for next time you turn it on."));
        QCOMPARE(closed.count(), 1);
        QCOMPARE(closed.first().first().toBool(), false);
        QVERIFY(!p.panel->isExpanded());
    }

    void closeOnlyCloses()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(closeButton, QToolButton, p.panel, QStringLiteral("closeButton"));
        QSignalSpy closed(p.panel, &WallpaperExpandedPanel::expandedChanged);
        const bool enabled = f.bg->isEnabled();
        closeButton->click();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(f.bg->isEnabled(), enabled);
        QCOMPARE(closeButton->toolTip(), QStringLiteral("Close"));
    }

    void statusLineShowsAtMostTwoLines()
    {
        Fixture f;
        Panel p(f);
        REQUIRE_CHILD(status, QLabel, p.panel, QStringLiteral("statusLine"));
        QVERIFY(f.bg->statusMessage().isNull());
        QVERIFY(!status->isVisible());
        f.bg->clearBackground(); // a long status message
        QVERIFY(status->isVisible());
        QVERIFY(status->text().count(QLatin1Char('\n')) <= 1);
        QVERIFY(status->text().startsWith(QStringLiteral("Background hidden.")));
    }

    // At most two lines, each within the card's width.
    void statusLineFitsTwoLines_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("expected"); // exact lines; "…" at the end: that line is cut
        QTest::newRow("short") << QStringLiteral("Video set.") << QStringList{QStringLiteral("Video set.")};
        QTest::newRow("long-first-word-breaks-anywhere")
            << QString(QStringLiteral("x").repeated(400)) << QStringList{};
        QTest::newRow("line-break-starts-a-line") << QStringLiteral("Could not load.\nTry again.")
                                                  << QStringList{QStringLiteral("Could not load."),
                                                                 QStringLiteral("Try again.")};
        QTest::newRow("many-words") << QString(QStringLiteral("photo of the bay ").repeated(20)) << QStringList{};
    }
    void statusLineFitsTwoLines()
    {
        QFETCH(QString, status);
        QFETCH(QStringList, expected);
        QFont font;
        font.setPixelSize(10);
        const int width = WallpaperExpandedPanel::kWidth - 28;
        const QStringList lines = WallpaperExpandedPanel::statusText(status, font, width).split(QLatin1Char('\n'));
        if (!expected.isEmpty())
            QCOMPARE(lines, expected);
        else {
            QCOMPARE(lines.size(), 2);
            QVERIFY(lines.last().endsWith(QChar(0x2026)));
        }
        const QFontMetrics metrics(font);
        for (const QString &line : lines)
            QVERIFY2(metrics.horizontalAdvance(line) <= width, qPrintable(line));
    }

    void longFileNameStatusStaysInTheCard()
    {
        Fixture f;
        Panel p(f);
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString fileName = QStringLiteral("a").repeated(150) + QStringLiteral(".png");
        QVERIFY(image.save(f.dir.filePath(fileName), "PNG"));
        QCoro::waitFor(f.bg->pickLocalImage(f.dir.filePath(fileName)));
        QCOMPARE(f.bg->statusMessage(), QStringLiteral("Using ") + fileName);
        REQUIRE_CHILD(status, QLabel, p.panel, QStringLiteral("statusLine"));
        QCOMPARE(status->text().count(QLatin1Char('\n')), 1);
        QTRY_VERIFY(p.panel->rect().contains(status->geometry()));
        QCOMPARE(p.panel->height(), p.panel->sizeHint().height());
        painttest::savePng(p.window.grab().toImage(), QStringLiteral("wallpaper-panel-long-status"));
    }

    // Height free: placed by hand, the card follows its content.
    void panelHeightFollowsItsContent()
    {
        Fixture f;
        Panel p(f);
        QTest::qWait(10);
        const int without = p.panel->height();
        QCOMPARE(without, p.panel->sizeHint().height());
        QCOMPARE(p.panel->width(), WallpaperExpandedPanel::kWidth);
        f.bg->clearBackground(); // a status line appears
        QTRY_VERIFY(p.panel->height() > without);
        QCOMPARE(p.panel->height(), p.panel->sizeHint().height());
    }

    void rendersAsAGlassCard_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark skin") << QStringLiteral("default");
        QTest::newRow("light skin") << QStringLiteral("golden-default");
    }
    void rendersAsAGlassCard()
    {
        QFETCH(QString, skin);
        Fixture f;
        // The shipped skins, light ones among them.
        f.styles.reset();
        f.skins = std::make_unique<stage::SkinStore>(stage::SkinStore::Sources{
            QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/skins"), f.dir.filePath(QStringLiteral("user-skins"))});
        f.skins->select(skin);
        f.styles = std::make_unique<StyleStore>(*f.skins);
        QCOMPARE(f.styles->styles().skin.id, skin);
        f.bg->setAnimateKenBurns(false);
        QWidget window;
        window.resize(420, 560);
        auto *stage = new StageBackground(*f.bg, *f.styles, &window);
        stage->setGeometry(window.rect());
        auto *panel = new WallpaperExpandedPanel(*f.bg, *f.styles, &window);
        panel->move(60, 40);
        panel->adjustSize();
        f.bg->setCustomURLString(QStringLiteral("https://example.org/wall.jpg"));
        window.show();
        QTRY_VERIFY(stage->isBackdropReady());
        QTest::qWait(50);
        const QImage shot = window.grab().toImage();
        painttest::savePng(shot, QStringLiteral("wallpaper-panel-%1").arg(skin));
        // The panel's labels take the text colours of its glass.
        REQUIRE_CHILD(titleLabel, QLabel, panel, QStringLiteral("titleLabel"));
        const QColor title = titleLabel->palette().color(QPalette::WindowText);
        QCOMPARE(title, f.styles->styles().secondary.color);
        QCOMPARE(panel->width(), WallpaperExpandedPanel::kWidth);
        // The card is glass: lighter than the stage beside it, not opaque grey.
        const QRgb inside = shot.pixel(panel->x() + 20, panel->y() + panel->height() - 12);
        const QRgb outside = shot.pixel(panel->x() - 20, panel->y() + panel->height() - 12);
        QVERIFY(inside != outside);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(WallpaperPanelTest)
#include "tst_wallpaper_panel.moc"
