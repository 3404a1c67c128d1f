// The live reply and the finished turns stay legible on their own glass:
// every shipped skin over the default stage, plain white and bright or busy
// pictures. Each text is measured against the glass painted behind it
// (WCAG contrast, the worst pixel of its box).

#include "support/PaintHelpers.h"
#include "support/TestMain.h"

#include "chat/LiveAssistantBlock.h"
#include "chat/LiveGlass.h"
#include "chat/MarkdownRenderCache.h"
#include "chat/MarkdownTextView.h"
#include "chat/MessageRow.h"
#include "glass/BackdropSheet.h"
#include "glass/Contrast.h"
#include "glass/StageBackground.h"
#include "glass/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"

#include <QDir>
#include <QDirIterator>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

const QString kSkinDir = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/skins");

// Pale sky bands under large bright blobs with white stripes: a sunny photo
// at its brightest.
QImage brightPicture()
{
    QImage image(1280, 800, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 800);
    sky.setColorAt(0, QColor(170, 215, 255));
    sky.setColorAt(1, QColor(255, 250, 225));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QRandomGenerator rng(4242);
    for (int i = 0; i < 90; ++i) {
        p.setBrush(QColor::fromHsv(int(rng.bounded(360)), 60 + int(rng.bounded(140)), 215 + int(rng.bounded(41))));
        const int r = 30 + int(rng.bounded(140));
        p.drawEllipse(QPointF(rng.bounded(1280), rng.bounded(800)), r, r * (0.5 + rng.bounded(1.0)));
    }
    for (int x = 0; x < 1280; x += 28)
        p.fillRect(x, 0, 4, 800, QColor(255, 255, 255, 150));
    return image;
}

// The lowest contrast of ink (composited over each pixel) against any pixel of box.
double worstContrast(const QImage &glass, const QRect &box, const QColor &ink)
{
    double worst = 21;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor under(glass.pixel(x, y));
            worst = std::min(worst, glass::Contrast::ratio(glass::Contrast::over(ink, under), under));
        }
    return worst;
}

// The worst contrast of each ink over its text box, after the words are
// taken away: an opacity effect of 0 keeps every box where it was.
struct InkBox {
    QWidget *text;
    QColor ink;
};
QList<double> worstOnGlass(QWidget &window, const QList<InkBox> &boxes)
{
    QList<QRect> rects;
    for (const InkBox &b : boxes) {
        rects.append(QRect(b.text->mapTo(&window, QPoint()), b.text->size()));
        auto *gone = new QGraphicsOpacityEffect(b.text);
        gone->setOpacity(0);
        b.text->setGraphicsEffect(gone);
    }
    const QImage glass = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QList<double> worst;
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        worst.append(worstContrast(glass, rects[i], boxes[i].ink));
        boxes[i].text->setGraphicsEffect(nullptr);
    }
    return worst;
}

} // namespace

class LiveLegibilityTest : public QObject {
    Q_OBJECT

    // The backdrops' files, written once for all rows.
    QTemporaryDir m_wallpapers;
    QString wallpaperFile(const QString &backdrop)
    {
        if (backdrop == QLatin1String("stage"))
            return QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");
        const QString path = m_wallpapers.filePath(backdrop + QStringLiteral(".png"));
        if (QFileInfo::exists(path))
            return path;
        QImage picture(1280, 800, QImage::Format_RGB32);
        picture.fill(Qt::white);
        const QImage &chosen = backdrop == QLatin1String("white") ? picture : testsupport::busyPhoto();
        return chosen.save(path) ? path : QString();
    }

private slots:
    void textOnItsGlass_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("backdrop");
        const QStringList ids = testsupport::skinIds(kSkinDir);
        QVERIFY(ids.size() >= 8);
        for (const QString &id : ids)
            for (const char *backdrop : {"stage", "white", "bright"})
                QTest::newRow(qPrintable(id + QLatin1Char('/') + QLatin1String(backdrop))) << id << QString::fromLatin1(backdrop);
    }

    void textOnItsGlass()
    {
        QFETCH(QString, skin);
        QFETCH(QString, backdrop);
        QTemporaryDir dir;
        QString image = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");
        if (backdrop != QLatin1String("stage")) {
            image = dir.filePath(QStringLiteral("wallpaper.png"));
            QImage picture(1280, 800, QImage::Format_RGB32);
            picture.fill(Qt::white);
            QVERIFY((backdrop == QLatin1String("white") ? picture : brightPicture()).save(image));
        }
        stage::SkinStore skins(stage::SkinStore::Sources{kSkinDir, dir.filePath(QStringLiteral("user-skins"))});
        skins.select(skin);
        QCOMPARE(skins.current().id, skin);
        glass::StyleStore styles(skins);
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.firstRunImage = image;
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        stage::BackgroundSettings background(config);
        background.setAnimateKenBurns(false);
        background.setIsEnabled(true); // the veil stays at its first-run value
        chat::MarkdownRenderCache cache;

        QWidget window;
        window.resize(760, 320);
        auto *stageView = new glass::StageBackground(background, styles, &window);
        stageView->setGeometry(window.rect());
        auto *list = new QWidget(&window); // as in the transcript: the bubbles copy their glass from its sheet
        list->setGeometry(window.rect());
        new glass::BackdropSheet(list);
        auto *live = new chat::LiveAssistantBlock({styles, background, cache, nullptr}, list);
        live->setActivity(app::LiveActivity::working(QStringLiteral("run_shell")));
        live->setStreamingText(QStringLiteral("Running the build now. First the configure step, then **every** "
                                              "target, and the tests last. It takes a minute or two."));
        live->setGeometry(40, 30, 640, live->heightForWidth(640));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(stageView->isBackdropReady());
        QTRY_COMPARE(stageView->mediaOpacity(), 1.0);

        const QImage shot = window.grab().toImage();
        QVERIFY(shot.save(QDir(testsupport::outputDirectory())
                              .filePath(QStringLiteral("live-legibility-%1-%2.png").arg(skin, backdrop))));

        auto *status = live->findChild<QLabel *>();
        chat::MarkdownTextView *text = live->textView();
        QVERIFY(status && text->isVisible());
        const QColor statusInk = status->palette().color(QPalette::WindowText);
        const QColor textInk = text->markdownStyle().ink;
        const QRect statusBox(status->mapTo(&window, QPoint()), status->size());
        const QRect textBox(text->mapTo(&window, QPoint()), text->size());
        // The glass alone: the block keeps its size, its words are taken away.
        for (QWidget *w : live->findChildren<QWidget *>())
            if (w != live && w->parentWidget() != live)
                w->hide();
        const QImage glass = window.grab().toImage().convertToFormat(QImage::Format_RGB32);

        const double statusRatio = worstContrast(glass, statusBox, statusInk);
        const double textRatio = worstContrast(glass, textBox, textInk);
        qInfo("%s on %s: reply %.2f, status %.2f", qPrintable(skin), qPrintable(backdrop), textRatio, statusRatio);
        QVERIFY2(textRatio >= 4.5, qPrintable(QStringLiteral("reply text %1").arg(textRatio, 0, 'f', 2)));
        QVERIFY2(statusRatio >= 3, qPrintable(QStringLiteral("status line %1").arg(statusRatio, 0, 'f', 2)));
    }

    // Finished turns, user and assistant, at the veils a bubble shows at:
    // none, thin, 0.275 (where the text colour turns) and the first-run
    // value. Below 0.275 the assistant's text is light and the user's is
    // the skin's own, so the glass behind each has to suit its own text.
    void finishedTurnsOnTheirGlass_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("backdrop");
        QTest::addColumn<double>("veil"); // below 0: the first-run value
        const QStringList ids = testsupport::skinIds(kSkinDir);
        QVERIFY(ids.size() >= 8);
        for (const QString &id : ids)
            for (const char *backdrop : {"white", "busy", "stage"})
                for (const double veil : {0.0, 0.1, 0.275, -1.0})
                    QTest::newRow(qPrintable(QStringLiteral("%1/%2/%3")
                                                 .arg(id, QLatin1String(backdrop),
                                                      veil < 0 ? QStringLiteral("default") : QString::number(veil))))
                        << id << QString::fromLatin1(backdrop) << veil;
    }

    void finishedTurnsOnTheirGlass()
    {
        QFETCH(QString, skin);
        QFETCH(QString, backdrop);
        QFETCH(double, veil);
        QTemporaryDir dir;
        const QString image = wallpaperFile(backdrop);
        QVERIFY(!image.isEmpty());
        stage::SkinStore skins(stage::SkinStore::Sources{kSkinDir, dir.filePath(QStringLiteral("user-skins"))});
        skins.select(skin);
        QCOMPARE(skins.current().id, skin);
        glass::StyleStore styles(skins);
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.firstRunImage = image;
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        stage::BackgroundSettings background(config);
        background.setAnimateKenBurns(false);
        if (veil >= 0)
            background.setOverlayOpacity(veil);
        background.setIsEnabled(true);
        chat::MarkdownRenderCache cache;

        QWidget window;
        window.resize(760, 330);
        auto *stageView = new glass::StageBackground(background, styles, &window);
        stageView->setGeometry(window.rect());
        auto *list = new QWidget(&window);
        list->setGeometry(window.rect());
        new glass::BackdropSheet(list);
        auto *user = new chat::MessageRow({styles, background, cache, nullptr}, list);
        user->setMessage(model::ChatMessage::make(model::MessageRole::User,
                                                  QStringLiteral("Can you explain how the build finds its tests?")),
                         false);
        auto *reply = new chat::MessageRow({styles, background, cache, nullptr}, list);
        reply->setMessage(model::ChatMessage::make(model::MessageRole::Assistant,
                                                   QStringLiteral("It reads the list in **CMakeLists.txt**, then "
                                                                  "each test runs on its own. See [the "
                                                                  "docs](https://cmake.org) for the details of "
                                                                  "every step and option.")),
                          false);
        user->setGeometry(40, 20, 680, user->heightForWidth(680));
        reply->setGeometry(40, user->geometry().bottom() + 24, 680, reply->heightForWidth(680));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Polled finely: the rows are many and the blur is quick.
        QVERIFY(QTest::qWaitFor([&] { return stageView->isBackdropReady(); }, 5000));
        QCOMPARE(stageView->mediaOpacity(), 1.0);
        QVERIFY(user->showsBubble() && reply->showsBubble());

        QVERIFY(window.grab().save(QDir(testsupport::outputDirectory())
                                       .filePath(QStringLiteral("finished-legibility-%1-%2-%3.png")
                                                     .arg(skin, backdrop, QString(QTest::currentDataTag()).section(u'/', 2)))));
        chat::MarkdownTextView *userText = user->textView();
        chat::MarkdownTextView *replyText = reply->textView();
        const QList<double> worst = worstOnGlass(window, {{userText, userText->markdownStyle().ink},
                                                          {replyText, replyText->markdownStyle().ink},
                                                          {replyText, replyText->markdownStyle().link}});
        qInfo("%s: user %.2f, reply %.2f, link %.2f", QTest::currentDataTag(), worst[0], worst[1], worst[2]);
        QVERIFY2(worst[0] >= 4.5, qPrintable(QStringLiteral("user text %1").arg(worst[0], 0, 'f', 2)));
        QVERIFY2(worst[1] >= 4.5, qPrintable(QStringLiteral("reply text %1").arg(worst[1], 0, 'f', 2)));
        QVERIFY2(worst[2] >= 3, qPrintable(QStringLiteral("link %1").arg(worst[2], 0, 'f', 2)));
    }

    // A long reply's glass is painted only where exposed; painted band by
    // band it must come out as painted whole, rounded ends included.
    void glassInBands_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "paper";
    }
    void glassInBands()
    {
        QFETCH(QString, skin);
        QTemporaryDir dir;
        stage::SkinStore skins(stage::SkinStore::Sources{kSkinDir, dir.filePath(QStringLiteral("user-skins"))});
        skins.select(skin);
        glass::StyleStore styles(skins);
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.firstRunImage = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        stage::BackgroundSettings background(config);
        background.setAnimateKenBurns(false);
        background.setIsEnabled(true);
        QWidget window;
        window.resize(400, 2600);
        auto *stageView = new glass::StageBackground(background, styles, &window);
        stageView->setGeometry(window.rect());
        auto *glassView = new chat::LiveGlass(styles, &window);
        glassView->setVisibility(0.85);
        glassView->setGeometry(30, 40, 340, 2500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(stageView->isBackdropReady());
        QTRY_COMPARE(stageView->mediaOpacity(), 1.0);
        const auto render = [&](int band) { return testsupport::renderInBands(window, band); };
        const QImage whole = render(window.height());
        const QImage bands = render(97);
        int largest = 0;
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x) {
                const QRgb a = whole.pixel(x, y), b = bands.pixel(x, y);
                largest = std::max({largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(largest <= 2, qPrintable(QStringLiteral("largest %1").arg(largest)));
        // The glass is there at all: it differs from the bare stage.
        QCOMPARE(glassView->isLight(), skin == QLatin1String("paper"));
        glassView->setVisibility(0);
        QVERIFY(render(window.height()) != whole);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(LiveLegibilityTest)
#include "tst_live_legibility.moc"
