// The live reply and the finished turns stay legible on their own glass:
// every shipped skin over the default stage, plain white and bright or busy
// pictures. Each text is measured against the glass painted behind it
// (WCAG contrast, the worst pixel of its box).

#include "StagedChat.h"
#include "support/TestMain.h"

#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/transcript/LiveGlass.h"
#include "chat/transcript/MessageChrome.h"
#include "glass/paint/BackdropSheet.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageRow.h"

#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QLabel>

using chattest::StagedChat;
using chattest::worstContrast;

namespace {

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

    chattest::Wallpapers m_wallpapers;

private slots:
    void textOnItsGlass_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("backdrop");
        const QStringList ids = testsupport::skinIds(chattest::kSkinDir);
        QVERIFY(ids.size() >= 8);
        for (const QString &id : ids)
            for (const char *backdrop : {"stage", "white", "bright"})
                QTest::newRow(qPrintable(id + QLatin1Char('/') + QLatin1String(backdrop))) << id << QString::fromLatin1(backdrop);
    }

    void textOnItsGlass()
    {
        QFETCH(QString, skin);
        QFETCH(QString, backdrop);
        StagedChat c(skin, m_wallpapers.file(backdrop), -1, QSize(760, 320)); // the veil at its first-run value
        QCOMPARE(c.skins->current().id, skin);
        QWidget &window = *c.window;
        // As in the transcript: the bubbles copy their glass from the list's sheet.
        auto *live = new chat::LiveAssistantBlock(c.context(), c.list);
        live->setActivity(app::LiveActivity::working(QStringLiteral("run_shell")));
        live->setStreamingText(QStringLiteral("Running the build now. First the configure step, then **every** "
                                              "target, and the tests last. It takes a minute or two."));
        live->setGeometry(40, 30, 640, live->heightForWidth(640));
        QVERIFY(c.showAndWait());

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
        QVERIFY(chattest::addSkinBackdropVeilRows({"white", "busy", "stage"}) >= 8);
    }

    void finishedTurnsOnTheirGlass()
    {
        QFETCH(QString, skin);
        QFETCH(QString, backdrop);
        QFETCH(double, veil);
        StagedChat c(skin, m_wallpapers.file(backdrop), veil, QSize(760, 330));
        QCOMPARE(c.skins->current().id, skin);
        QWidget &window = *c.window;
        auto *user = new chat::MessageRow(c.context(), c.list);
        user->setMessage(model::ChatMessage::make(model::MessageRole::User,
                                                  QStringLiteral("Can you explain how the build finds its tests?")),
                         false);
        auto *reply = new chat::MessageRow(c.context(), c.list);
        reply->setMessage(model::ChatMessage::make(model::MessageRole::Assistant,
                                                   QStringLiteral("It reads the list in **CMakeLists.txt**, then "
                                                                  "each test runs on its own. See [the "
                                                                  "docs](https://cmake.org) for the details of "
                                                                  "every step and option.")),
                          false);
        user->setGeometry(40, 20, 680, user->heightForWidth(680));
        reply->setGeometry(40, user->geometry().bottom() + 24, 680, reply->heightForWidth(680));
        QVERIFY(c.showAndWait());
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

    // While a reply streams the list follows it, so the block moves every
    // frame: its glass comes from the list's sheet, which stays put, and a
    // move is a copy, not the glass held again.
    void followingTheReplyCopiesItsGlass_data() { glassInBands_data(); }
    void followingTheReplyCopiesItsGlass()
    {
        QFETCH(QString, skin);
        StagedChat c(skin, chattest::kDefaultStage, -1, QSize(700, 700));
        auto *live = new chat::LiveAssistantBlock(c.context(), c.list);
        live->setStreamingText(QStringLiteral("Reading the sources first."));
        live->setGeometry(40, 200, 600, 420);
        QVERIFY(c.showAndWait());
        auto *sheet = c.list->findChild<glass::BackdropSheet *>();
        QVERIFY(sheet);
        c.window->grab();
        const int drawn = sheet->layerDraws();
        QVERIFY(drawn > 0);
        // Scrolled up with the reply, a few lines at a time, over the stretch already shown.
        live->setGeometry(40, 300, 600, 320);
        for (int y = 300; y >= 200; y -= 10) {
            live->move(40, y);
            c.window->grab();
        }
        QCOMPARE(sheet->layerDraws(), drawn);
    }

    // While a reply streams its bubble grows a few lines a frame: down from
    // where it starts, then, once the list follows it, up from the bottom.
    // The wash kept on its glass moves with it: kept while it stays within
    // half a level of the bubble's own, laid again past that. An end that
    // stays put is kept too. Either way the bubble must look as one made
    // anew there: half a level apart, rounded twice, gives at most two.
    void grownBubbleLooksAsMadeAnew_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("following");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("washes"); // laid afresh over the frames, at most
        QTest::addColumn<double>("veil"); // the stage's veil changed first; below 0: left
        QTest::newRow("dark, following a line a frame") << "default" << true << 12 << 4 << 1 << -1.0;
        QTest::newRow("light, following a line a frame") << "paper" << true << 12 << 4 << 1 << -1.0;
        QTest::newRow("dark, growing a line a frame") << "default" << false << 12 << 4 << 1 << -1.0;
        QTest::newRow("light, growing three lines a frame") << "paper" << false << 72 << 4 << 4 << -1.0;
        QTest::newRow("dark, following three lines a frame") << "default" << true << 72 << 4 << 4 << -1.0;
        QTest::newRow("dark, a jump") << "default" << true << 300 << 1 << 1 << -1.0;
        QTest::newRow("dark, the stage changes") << "default" << true << 0 << 1 << 1 << 0.05;
    }
    void grownBubbleLooksAsMadeAnew()
    {
        QFETCH(QString, skin);
        QFETCH(bool, following);
        QFETCH(int, step);
        QFETCH(int, frames);
        QFETCH(int, washes);
        QFETCH(double, veil);
        StagedChat c(skin, chattest::kDefaultStage, -1, QSize(700, 700));
        const int bottom = 640, top = 20;
        auto *live = new chat::LiveGlass(*c.styles, c.list);
        live->setVisibility(0.85);
        const auto place = [&](int height) {
            live->setGeometry(40, following ? bottom - height : top, 600, height);
        };
        place(300);
        live->show();
        QVERIFY(c.showAndWait());
        c.window->grab();
        if (veil >= 0) {
            c.background->setOverlayOpacity(veil);
            QVERIFY(c.waitForVeil(veil));
        }
        const int before = live->washedRows().washes();
        for (int frame = 1; frame <= frames; ++frame) {
            place(300 + frame * step);
            const QImage kept = live->grab().toImage();
            chat::LiveGlass fresh(*c.styles, c.list);
            fresh.setVisibility(0.85);
            fresh.setGeometry(live->geometry());
            const int largest = testsupport::largestDifference(kept, fresh.grab().toImage());
            QVERIFY2(largest <= 2, qPrintable(QStringLiteral("frame %1: %2 levels").arg(frame).arg(largest)));
        }
        QVERIFY2(live->washedRows().washes() - before <= washes,
                 qPrintable(QString::number(live->washedRows().washes() - before)));
    }

    // Kept pieces are copied only where the widget's pixel grid is the
    // device's: at a fractional scale (this program runs again at 1.25) a
    // copy would be resampled and its rims smeared, so the reply following
    // its lines is drawn afresh each frame, and still looks as made anew.
    void followingAtTheScreensScale()
    {
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
        StagedChat c(QStringLiteral("default"), chattest::kDefaultStage, -1, QSize(700, 700));
        auto *live = new chat::LiveGlass(*c.styles, c.list);
        live->setVisibility(0.85);
        live->setGeometry(40, 300, 600, 300);
        live->show();
        QVERIFY(c.showAndWait());
        QCOMPARE(live->devicePixelRatioF(), scale);
        for (int y = 300; y >= 240; y -= 12) {
            live->setGeometry(40, y, 600, 600 - y);
            c.window->repaint();
        }
        const bool whole = scale == std::floor(scale);
        QCOMPARE(live->washedRows().washes() > 0, whole);
        chat::LiveGlass fresh(*c.styles, c.list);
        fresh.setVisibility(0.85);
        fresh.setGeometry(live->geometry());
        const int largest = testsupport::largestDifference(live->grab().toImage(), fresh.grab().toImage());
        QVERIFY2(largest <= 2, qPrintable(QStringLiteral("%1 levels").arg(largest)));
    }

    // Between its rounded ends a bubble's decoration is drawn as plain
    // fills (a streamed frame repaints the whole bubble): the pixels there
    // must be those of the shape drawn whole.
    void straightRowsDecorateAsTheShape_data()
    {
        QTest::addColumn<double>("visibility");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("full glass") << 1.0 << QSizeF(340, 420);
        QTest::newRow("thin glass") << 0.3 << QSizeF(340, 420);
        QTest::newRow("just taller than its ends") << 0.85 << QSizeF(300, 40);
        QTest::newRow("odd size") << 0.85 << QSizeF(301, 263);
    }
    void straightRowsDecorateAsTheShape()
    {
        QFETCH(double, visibility);
        QFETCH(QSizeF, size);
        const stage::UISkin skin = stage::UISkin::steel();
        const QRectF rect(QPointF(0, 0), size);
        const QRect straight = chat::MessageChrome::straightRows(size.toSize());
        QVERIFY(!straight.isEmpty());
        const auto paint = [&](bool inPieces) {
            QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor(30, 34, 44));
            QPainter p(&image);
            if (!inPieces) {
                chat::MessageChrome::assistantDecoration(p, rect, visibility, skin);
                return image;
            }
            for (const QRect &end : QRegion(image.rect()) - straight) {
                p.save();
                p.setClipRect(end);
                chat::MessageChrome::assistantDecoration(p, rect, visibility, skin,
                                                         chat::MessageChrome::shapeInView(rect, QRectF(end)));
                p.restore();
            }
            chat::MessageChrome::assistantDecorationStraight(p, rect, straight, visibility, skin);
            return image;
        };
        const QImage whole = paint(false);
        QVERIFY(whole.pixel(int(size.width() / 2), int(size.height() / 2)) != QColor(30, 34, 44).rgb());
        // The ends are shaped as before, a stretch of the shape at a time.
        QCOMPARE(paint(true).copy(straight), whole.copy(straight));
    }

    // What a turn's glass says it paints opaquely (the stage is left
    // unpainted there) must not depend on what lies beneath, in a list
    // (glass from the sheet) or on its own.
    void turnGlassIsOpaqueWhereItSays_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("glass");
        QTest::addColumn<bool>("inList");
        for (const char *skin : {"default", "paper"})
            for (const char *glass : {"live", "turn"})
                for (const bool inList : {true, false})
                    QTest::addRow("%s %s %s", skin, glass, inList ? "in a list" : "alone")
                        << QString::fromLatin1(skin) << QString::fromLatin1(glass) << inList;
    }
    void turnGlassIsOpaqueWhereItSays()
    {
        QFETCH(QString, skin);
        QFETCH(QString, glass);
        QFETCH(bool, inList);
        StagedChat c(skin, chattest::kDefaultStage, -1, QSize(700, 520));
        QWidget *parent = inList ? c.list : c.window.get();
        glass::GlassSurface *surface = nullptr;
        if (glass == QLatin1String("live")) {
            auto *live = new chat::LiveGlass(*c.styles, parent);
            live->setVisibility(0.85);
            surface = live;
        } else {
            auto *turn = new chat::BubbleFrame(chat::BubbleFrame::Kind::Assistant, *c.styles, parent);
            turn->setVisibility(0.85);
            surface = turn;
        }
        surface->setGeometry(40, 30, 560, 300);
        surface->show();
        QVERIFY(c.showAndWait());
        const auto over = [&](const QColor &ground) {
            QImage image(surface->size(), QImage::Format_RGB32);
            image.fill(ground);
            surface->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            return image;
        };
        const QRect opaque = surface->solidRegion().boundingRect();
        QCOMPARE(surface->solidRegion(), QRegion(opaque));
        QVERIFY(opaque.height() > 200);
        QCOMPARE(over(Qt::black).copy(opaque), over(Qt::white).copy(opaque));
    }

    // The stage is left unpainted under a turn's glass only where that glass
    // is opaque: between its rounded ends, drawn at full opacity.
    void solidRegionOfTurnGlass_data()
    {
        QTest::addColumn<QString>("glass");
        QTest::addColumn<double>("visibility");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRegion>("opaque");
        const QRegion rows(QRect(0, 19, 200, 262));
        QTest::newRow("live reply") << "live" << 0.85 << 1.0 << 300 << rows;
        QTest::newRow("live reply without glass") << "live" << 0.0 << 1.0 << 300 << QRegion();
        QTest::newRow("live reply fading") << "live" << 0.85 << 0.6 << 300 << QRegion();
        QTest::newRow("live reply all ends") << "live" << 0.85 << 1.0 << 38 << QRegion();
        QTest::newRow("finished turn") << "turn" << 0.85 << 1.0 << 300 << rows;
        QTest::newRow("finished turn fading") << "turn" << 0.85 << 0.5 << 300 << QRegion();
        QTest::newRow("finished turn without glass") << "turn" << 0.0 << 1.0 << 300 << QRegion();
    }
    void solidRegionOfTurnGlass()
    {
        QFETCH(QString, glass);
        QFETCH(double, visibility);
        QFETCH(double, opacity);
        QFETCH(int, height);
        QFETCH(QRegion, opaque);
        StagedChat c(QStringLiteral("default"), chattest::kDefaultStage, -1, QSize(300, 400));
        if (glass == QLatin1String("live")) {
            chat::LiveGlass live(*c.styles);
            live.resize(200, height);
            live.setVisibility(visibility);
            live.setOpacity(opacity);
            QCOMPARE(live.solidRegion(), opaque);
        } else {
            chat::BubbleFrame turn(chat::BubbleFrame::Kind::Assistant, *c.styles);
            turn.resize(200, height);
            turn.setVisibility(visibility);
            turn.setShown(visibility, visibility, 0, opacity);
            QCOMPARE(turn.solidRegion(), opaque);
        }
    }

    // The live bubble is drawn in pieces (plain rows between its ends, the
    // glass copied from the list's sheet): after a change of skin, of width
    // or of height it must look as a bubble made anew does.
    void keptPictureFollowsTheBubble_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"skin", "width", "more lines"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }
    void keptPictureFollowsTheBubble()
    {
        QFETCH(QString, change);
        StagedChat c(QStringLiteral("default"), m_wallpapers.file(QStringLiteral("bright")), -1, QSize(700, 520));
        const QString first = QStringLiteral("Reading the sources first, then **the build**.");
        QString text = first;
        int width = 600;
        // A streaming tail is laid out when drawn: placed again after a frame.
        const auto place = [&](chat::LiveAssistantBlock *block) {
            block->setStreamingText(text);
            for (int i = 0; i < 2; ++i) {
                block->setGeometry(40, 40, width, block->heightForWidth(width));
                block->show();
                c.window->grab();
                QTest::qWait(20);
            }
        };
        auto *live = new chat::LiveAssistantBlock(c.context(), c.list);
        place(live);
        QVERIFY(c.showAndWait());
        const QImage before = c.window->grab().toImage();
        if (change == QLatin1String("skin"))
            c.skins->select(QStringLiteral("paper"));
        else if (change == QLatin1String("width"))
            width = 520;
        else
            text += QStringLiteral("\n\nThen the tests, one by one, each in a home of its own.\n\n- first\n- second");
        place(live);
        const QImage kept = c.window->grab().toImage();
        QVERIFY(kept != before);
        delete live;
        auto *fresh = new chat::LiveAssistantBlock(c.context(), c.list);
        place(fresh);
        // The breathing mark moves with time: its corner is left out.
        const auto withoutMark = [&](QImage image) {
            QPainter(&image).fillRect(QRect(fresh->mapTo(c.window.get(), QPoint()), QSize(70, 64)), Qt::black);
            return image;
        };
        QCOMPARE(withoutMark(kept), withoutMark(c.window->grab().toImage()));
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
        StagedChat c(skin, chattest::kDefaultStage, -1, QSize(400, 2600));
        QWidget &window = *c.window;
        auto *glassView = new chat::LiveGlass(*c.styles, &window);
        glassView->setVisibility(0.85);
        glassView->setGeometry(30, 40, 340, 2500);
        QVERIFY(c.showAndWait());
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
