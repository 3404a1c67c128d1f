#include "ChatTestStyle.h"
#include "support/PaintHelpers.h"
#include "support/TestMain.h"

#include "app/MessageListModel.h"
#include "chat/transcript/ActivityMarks.h"
#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageChrome.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/MessageRowParts.h"
#include "chat/transcript/SparkleStar.h"
#include "chat/transcript/TranscriptAccess.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/sheets/ReaderAccess.h"
#include "glass/paint/BackdropSheet.h"
#include "glass/look/Contrast.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "platform/DesktopServices.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QPaintEvent>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

using model::ChatMessage;
using model::MessageRole;

namespace {

struct RecordingDesktop final : platform::DesktopServices {
    QList<QUrl> opened;
    QCoro::Task<bool> openUrl(QUrl url) override { opened.append(url); co_return true; }
    QCoro::Task<bool> revealFile(QString) override { co_return true; }
    QCoro::Task<bool> openTerminal(QString) override { co_return true; }
};

void writeSkin(const QString &dir, const QString &id, const QString &kind, const QString &bg, const QString &text,
               const QString &elevated = QStringLiteral("#1E2430"), const QString &elevated2 = QStringLiteral("#262D3A"))
{
    QDir().mkpath(dir);
    QFile f(QDir(dir).filePath(id + QStringLiteral(".json")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral(R"({"id":"%1","name":"%1","version":1,"kind":"%2","colors":{
      "bg":"%3","sidebar":"#10141A","elevated":"%5","elevated2":"%6","border":"#3A4656",
      "borderStrong":"#3A4656","text":"%4","textSecondary":"#8B96A8","textTertiary":"#6C7788",
      "accent":"#7FA8FF","accentSoft":"#8AA4B833","userBubble":"#3050A0","danger":"#F25247","success":"#4DD17A",
      "accentGradientStart":"#FF9E38","accentGradientEnd":"#F2611F"}})")
                .arg(id, kind, bg, text, elevated, elevated2)
                .toUtf8());
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;
    std::unique_ptr<stage::BackgroundSettings> bg;
    chat::MarkdownRenderCache cache;
    RecordingDesktop desktop;

    Fixture()
    {
        const QString skinDir = dir.filePath(QStringLiteral("skins"));
        writeSkin(skinDir, QStringLiteral("night"), QStringLiteral("dark"), QStringLiteral("#0E1116"),
                  QStringLiteral("#E8ECF2"));
        writeSkin(skinDir, QStringLiteral("paper"), QStringLiteral("light"), QStringLiteral("#F4F1EA"),
                  QStringLiteral("#20202A"), QStringLiteral("#FFFFFF"), QStringLiteral("#EAE6DC"));
        skins = std::make_unique<stage::SkinStore>(
            stage::SkinStore::Sources{dir.filePath(QStringLiteral("none")), skinDir});
        skins->select(QStringLiteral("night"));
        styles = std::make_unique<glass::StyleStore>(*skins);
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        bg = std::make_unique<stage::BackgroundSettings>(config);
        bg->setIsEnabled(false);
    }
    chat::MessageRowContext context() { return {*styles, *bg, cache, &desktop}; }
};

// The fixture's wallpaper in one skin behind a window of the given size,
// with a list (and its backdrop sheet) at listRect over it.
struct StagedList {
    StagedList(Fixture &f, const QString &skin, std::optional<double> veil, QSize size, QRect listRect)
    {
        f.skins->select(skin);
        f.bg->setAnimateKenBurns(false);
        if (veil)
            f.bg->setOverlayOpacity(*veil);
        f.bg->setIsEnabled(true);
        window.resize(size);
        stage = new glass::StageBackground(*f.bg, *f.styles, &window);
        stage->setGeometry(window.rect());
        list = new QWidget(&window);
        list->setGeometry(listRect);
        sheet = new glass::BackdropSheet(list);
    }
    // Shown with the wallpaper loaded and blurred.
    bool showAndWait()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window) && QTest::qWaitFor([this] { return stage->isBackdropReady(); })
               && QTest::qWaitFor([this] { return stage->mediaOpacity() == 1.0; });
    }

    QWidget window;
    glass::StageBackground *stage = nullptr;
    QWidget *list = nullptr;
    glass::BackdropSheet *sheet = nullptr;
};

// Every text under the widget laid out exactly at its width. A height asked
// for lays out only what a few milliseconds allow and estimates the rest,
// refined when idle: on a busy machine a height read at once can be the
// estimate, and the same rows placed again later come out taller.
bool laidOut(const chat::MarkdownTextView &view)
{
    const chat::MarkdownRenderer &r = view.renderer();
    for (int i = 0; i < r.count(); ++i) {
        if (!r.piece(i).exact)
            return false;
    }
    return true;
}

bool textsLaidOut(const QWidget &root)
{
    const auto views = root.findChildren<chat::MarkdownTextView *>();
    return std::all_of(views.begin(), views.end(), [](const chat::MarkdownTextView *v) { return laidOut(*v); });
}

ChatMessage message(MessageRole role, const QString &content, std::optional<QList<model::ToolCallRecord>> tools = {})
{
    ChatMessage m = ChatMessage::make(role, content);
    m.toolCalls = std::move(tools);
    return m;
}

QList<model::ToolCallRecord> tools(const QStringList &names)
{
    QList<model::ToolCallRecord> out;
    for (const QString &n : names)
        out.append({n + QStringLiteral("-id"), n, QStringLiteral("{}")});
    return out;
}

const QString kImage = QStringLiteral("![shot](data:image/png;base64,iVBORw0KGgoAAAANSUhEUg==)");

// How far two pictures of the same size are apart: the largest channel
// difference, and the share of pixels off by more than two levels.
struct PictureDistance {
    int largest = 0;
    double offShare = 0;
};
PictureDistance distance(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    PictureDistance d;
    qint64 off = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int worst = std::max({std::abs(qRed(p[col]) - qRed(q[col])), std::abs(qGreen(p[col]) - qGreen(q[col])),
                                        std::abs(qBlue(p[col]) - qBlue(q[col])), std::abs(qAlpha(p[col]) - qAlpha(q[col]))});
            d.largest = std::max(d.largest, worst);
            off += worst > 2;
        }
    }
    d.offShare = double(off) / (qint64(x.width()) * x.height());
    return d;
}

} // namespace

// Several paragraphs already streamed, the last one open.
QString streamedStart()
{
    QString text;
    for (int i = 0; i < 5; ++i)
        text += QStringLiteral("Paragraph %1 of the reply, long enough to wrap over more than one line of the "
                               "view at its width.\n\n")
                    .arg(i);
    return text + QStringLiteral("The open paragraph");
}

class TestRows : public QObject {
    Q_OBJECT
private slots:
    void bodyText_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("toolList");
        QTest::addColumn<QString>("expected");
        const int user = int(MessageRole::User), assistant = int(MessageRole::Assistant);
        QTest::newRow("working on it") << assistant << "" << true << QStringLiteral("Working on it\u2026");
        QTest::newRow("empty, no tool list") << assistant << "" << false << "";
        QTest::newRow("inline image removed") << assistant << QStringLiteral("See %1 here").arg(kImage) << false
                                              << "See  here";
        QTest::newRow("only an image") << user << kImage << false << "";
        QTest::newRow("trimmed") << assistant << "\n  hi \n" << false << "hi";
        QTest::newRow("user attachment block")
            << user << "Look\n\n---\n**Attached files**\n\n### `src/a.cpp`\n```\nx\n```" << false
            << QStringLiteral("Look\n\n\U0001F4CE src/a.cpp");
        QTest::newRow("reply quoting the attachment marker was cut short")
            << assistant << "Your prompt had **Attached files** and ### `a.txt` in it." << false
            << "Your prompt had **Attached files** and ### `a.txt` in it.";
    }
    void bodyText()
    {
        QFETCH(int, role);
        QFETCH(QString, content);
        QFETCH(bool, toolList);
        QFETCH(QString, expected);
        const ChatMessage m = message(MessageRole(role), content,
                                      toolList ? std::optional(QList<model::ToolCallRecord>{}) : std::nullopt);
        QCOMPARE(chat::MessageRow::bodyText(m), expected);
    }

    void bubbleVisibility_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<double>("veil");
        QTest::addColumn<double>("expected");
        QTest::newRow("wallpaper off") << false << 0.0 << 0.0;
        QTest::newRow("no veil") << true << 0.0 << 1.0;
        QTest::newRow("half") << true << 0.275 << 0.5;
        QTest::newRow("thin veil") << true << 0.1 << 0.45 / 0.55;
        QTest::newRow("veil at the limit") << true << 0.55 << 0.0;
        QTest::newRow("thick veil") << true << 0.9 << 0.0;
        QTest::newRow("negative veil") << true << -1.0 << 1.0;
        QTest::newRow("not a number") << true << std::numeric_limits<double>::quiet_NaN() << 0.0;
    }
    void bubbleVisibility()
    {
        QFETCH(bool, on);
        QFETCH(double, veil);
        QFETCH(double, expected);
        QVERIFY(qAbs(chat::MessageChrome::bubbleVisibility(on, veil) - expected) < 1e-9);
        // The live block stays visible over any wallpaper.
        const double live = chat::MessageChrome::liveBubbleVisibility(on, veil);
        QCOMPARE(live, on ? std::max(expected, 0.85) : 0.0);
    }

    void textColours()
    {
        Fixture f;
        const stage::UISkin dark = f.styles->styles().skin;
        QCOMPARE(chat::MessageChrome::assistantTextColor(0.818, dark), QColor::fromRgbF(1, 1, 1, 0.9));
        QCOMPARE(chat::MessageChrome::assistantSecondaryColor(0.9, dark), QColor::fromRgbF(1, 1, 1, 0.7));
        QCOMPARE(chat::MessageChrome::assistantTextColor(0.455, dark), QColor(QStringLiteral("#E8ECF2")));
        f.skins->select(QStringLiteral("paper"));
        const stage::UISkin light = f.styles->styles().skin;
        QVERIFY(light.isLight());
        QCOMPARE(chat::MessageChrome::assistantTextColor(0, light), QColor(QStringLiteral("#1A1A22")));
        QCOMPARE(chat::MessageChrome::assistantSecondaryColor(0, light), QColor(QStringLiteral("#4A4A58")));
        QCOMPARE(chat::MessageChrome::userTextColor(0, light), QColor(QStringLiteral("#1A1A22")));
        // Text on each skin's own ground reads well.
        for (const stage::UISkin &skin : {dark, light}) {
            const QColor ground(skin.colors.bg);
            QVERIFY(glass::Contrast::ratio(chat::MessageChrome::assistantTextColor(0, skin), ground) >= 4.5);
            QVERIFY(glass::Contrast::ratio(chat::MessageChrome::assistantSecondaryColor(0, skin), ground) >= 3);
        }
    }

    // A streamed fragment repaints the text from its open tail down (a text
    // that grows asks for a layout, which repaints it all); all that changed
    // on screen lies in what was repainted.
    void streamingRepaintsWhatChanged_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<bool>("fromTheTop");
        const QString start = streamedStart();
        QTest::newRow("same line") << start + QStringLiteral(" and more words") << false;
        QTest::newRow("word at the end") << start + QStringLiteral("s") << false;
        QTest::newRow("new paragraph") << start + QStringLiteral("\n\nA new paragraph.") << true;
        QTest::newRow("code opens") << start + QStringLiteral("\n\n```cpp\nint x = 1;") << true;
        QTest::newRow("not a continuation") << QStringLiteral("Another text altogether.\n\n") + start << true;
    }
    void streamingRepaintsWhatChanged()
    {
        QFETCH(QString, next);
        QFETCH(bool, fromTheTop);
        const auto shown = [](const QString &text) {
            auto view = std::make_unique<chat::MarkdownTextView>();
            view->setStyle(chatTestStyle());
            view->setStreamingText(text);
            view->resize(420, 10);
            view->resize(420, view->heightForWidth(420));
            view->grab(); // the tail laid out
            view->resize(420, view->heightForWidth(420));
            return view;
        };
        std::unique_ptr<chat::MarkdownTextView> view = shown(streamedStart());
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        const QImage before = view->grab().toImage();
        QRegion painted;
        testsupport::PaintRecorder recorder(&painted);
        view->installEventFilter(&recorder);
        view->setStreamingText(next);
        QTest::qWait(40);
        view->removeEventFilter(&recorder);
        const QImage after = shown(next)->grab().toImage();
        QRect changed;
        for (int y = 0; y < std::min(before.height(), after.height()); ++y)
            for (int x = 0; x < before.width(); ++x)
                if (before.pixel(x, y) != after.pixel(x, y))
                    changed |= QRect(x, y, 1, 1);
        // (What lies below the view's height shows once the row grows it.)
        QVERIFY2(changed.isEmpty() || painted.contains(changed), qPrintable(QStringLiteral("changed %1,%2 %3x%4, painted from %5")
                                                             .arg(changed.x())
                                                             .arg(changed.y())
                                                             .arg(changed.width())
                                                             .arg(changed.height())
                                                             .arg(painted.boundingRect().top())));
        QCOMPARE(painted.boundingRect().top() == 0, fromTheTop);
    }

    // A stretch of a tall bubble is drawn with a shorter shape; within what
    // is exposed that shape must be the bubble's own, ends and corners too.
    void shapeInViewKeepsTheBubblesShape_data()
    {
        QTest::addColumn<QRect>("exposed");
        QTest::newRow("middle") << QRect(0, 400, 300, 64);
        QTest::newRow("last rows") << QRect(0, 996, 300, 4);
        QTest::newRow("first rows") << QRect(0, 0, 300, 3);
        QTest::newRow("near the end") << QRect(0, 980, 300, 12);
        QTest::newRow("whole") << QRect(0, 0, 300, 1000);
    }
    void shapeInViewKeepsTheBubblesShape()
    {
        QFETCH(QRect, exposed);
        const QRectF bubble(0, 0, 300, 1000);
        const auto fill = [&](const QRectF &shapeRect) {
            QImage image(bubble.size().toSize(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setClipRect(exposed);
            p.fillPath(chat::MessageChrome::bubbleShape(shapeRect), Qt::white);
            return image;
        };
        QCOMPARE(fill(chat::MessageChrome::shapeInView(bubble, QRectF(exposed))), fill(bubble));
    }

    void rowParts_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QStringList>("toolNames");
        QTest::addColumn<bool>("toolList");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<bool>("actions");
        QTest::addColumn<bool>("bubble");
        QTest::addColumn<int>("chips");
        QTest::addColumn<bool>("chrome");
        const int user = int(MessageRole::User), assistant = int(MessageRole::Assistant);
        QTest::newRow("empty with empty tool list") << assistant << "" << QStringList{} << true << false << true << true << 0 << false;
        QTest::newRow("empty, no list, finished") << assistant << "" << QStringList{} << false << true << true << false << 0 << true;
        QTest::newRow("image only reply") << assistant << kImage << QStringList{} << false << false << true << false << 0 << false;
        QTest::newRow("image only user message keeps its bubble") << user << kImage << QStringList{} << false << false << true << true << 0 << false;
        QTest::newRow("three tools in order") << assistant << "Done." << QStringList{"read_file", "list_dir", "run_shell"} << true << true << true << true << 3 << true;
        QTest::newRow("no actions") << assistant << "Hi" << QStringList{} << false << true << false << true << 0 << true;
        QTest::newRow("user never has chrome") << user << "Hi" << QStringList{} << false << true << true << true << 0 << false;
    }
    void rowParts()
    {
        QFETCH(int, role);
        QFETCH(QString, content);
        QFETCH(QStringList, toolNames);
        QFETCH(bool, toolList);
        QFETCH(bool, finished);
        QFETCH(bool, actions);
        QFETCH(bool, bubble);
        QFETCH(int, chips);
        QFETCH(bool, chrome);
        Fixture f;
        f.bg->setIsEnabled(true);
        f.bg->setOverlayOpacity(0.1);
        const qsizetype widgetsBefore = QApplication::allWidgets().size();
        auto owned = std::make_unique<chat::MessageRow>(f.context());
        chat::MessageRow &row = *owned;
        if (actions) {
            row.setOnCopy([] {});
            row.setOnRetry([] {});
        }
        row.setMessage(message(MessageRole(role), content, toolList ? std::optional(tools(toolNames)) : std::nullopt),
                       finished);
        QCOMPARE(row.showsBubble(), bubble);
        QCOMPARE(row.toolChipCount(), chips);
        QCOMPARE(row.showsFinishedChrome(), chrome);
        QCOMPARE(row.showsRetry(), chrome && actions);
        QCOMPARE(row.showsCopy(), bubble && actions);
        // Wallpaper off: no bubble backgrounds at all.
        f.bg->setIsEnabled(false);
        QVERIFY(!row.showsBubble());
        // The parts a row does not show leaked with it: every part, shown or
        // not, goes when the row goes (a pooled row shows other messages).
        row.setMessage(message(role == int(MessageRole::User) ? MessageRole::Assistant : MessageRole::User, content),
                       !finished);
        owned.reset();
        QCOMPARE(QApplication::allWidgets().size(), widgetsBefore);
    }

    // Lines of the person's bubble lie 5 px apart, a reply's 6 px (on top
    // of the font's own line height), broken or wrapped.
    void lineSpacing_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("threeLines");
        QTest::addColumn<int>("gap");
        QTest::newRow("user bubble") << int(MessageRole::User) << "one\ntwo\nthree" << 5;
        QTest::newRow("reply, one paragraph wrapping")
            << int(MessageRole::Assistant) << QStringLiteral("words that wrap ").repeated(30).trimmed() << 6;
    }
    void lineSpacing()
    {
        QFETCH(int, role);
        QFETCH(QString, threeLines);
        QFETCH(int, gap);
        Fixture f;
        chat::MessageRow row(f.context());
        row.setOnCopy([] {});
        const auto height = [&](const QString &text) {
            row.setMessage(message(MessageRole(role), text), false);
            return row.textView()->heightForWidth(400);
        };
        const int one = height(QStringLiteral("one")), three = height(threeLines);
        QFont body = f.styles->styles().body.font;
        body.setPixelSize(15);
        // Whole lines more, each as far apart as the gap says (and not the other gap).
        const int line = QFontMetrics(body).lineSpacing();
        const int otherGap = gap == 5 ? 6 : 5;
        QVERIFY(three - one >= 2 * (line + gap));
        QCOMPARE((three - one) % (line + gap), 0);
        QVERIFY((three - one) % (line + otherGap) != 0);
    }

    // The wrench stands clear of its chip's edge: every pixel of it at least
    // 1.5 px inside the capsule, on a dark and a light skin.
    void wrenchClearOfTheChipEdge_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "paper";
    }
    void wrenchClearOfTheChipEdge()
    {
        QFETCH(QString, skin);
        Fixture f;
        f.skins->select(skin);
        chat::MessageRow row(f.context());
        row.setMessage(message(MessageRole::Assistant, QStringLiteral("Done."),
                               tools({QStringLiteral("read_file"), QStringLiteral("run_shell")})),
                       false);
        auto *strip = row.findChild<chat::MessageRowTools *>();
        QVERIFY(strip);
        strip->resize(strip->sizeHint());
        QPalette red = strip->palette(); // the chip's ink in pure red, to find it
        red.setColor(QPalette::WindowText, Qt::red);
        strip->setPalette(red);
        QImage image(strip->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::black);
        strip->render(&image);
        image.save(QDir(testsupport::outputDirectory()).filePath(QStringLiteral("tool-chips-%1.png").arg(skin)));
        const auto isInk = [](QRgb c) { return qRed(c) - std::max(qGreen(c), qBlue(c)) > 60; };
        for (int i = 0; i < strip->chipCount(); ++i) {
            const QRectF chip = strip->chipRect(i);
            const qreal r = chip.height() / 2;
            // The symbol: the inked columns from the chip's left up to the first gap.
            int inked = 0;
            bool seen = false;
            for (int x = int(chip.left() * 2); x < int(chip.right() * 2); ++x) {
                bool any = false;
                for (int y = int(chip.top() * 2); y < int(chip.bottom() * 2); ++y) {
                    if (!isInk(image.pixel(x, y)))
                        continue;
                    any = true;
                    ++inked;
                    // Distance from the capsule's outline, in logical pixels.
                    const QPointF p((x + 0.5) / 2, (y + 0.5) / 2);
                    const qreal cx = std::clamp(p.x(), chip.left() + r, chip.right() - r);
                    const qreal inside = r - std::hypot(p.x() - cx, p.y() - chip.center().y());
                    QVERIFY2(inside >= 1.5, qPrintable(QStringLiteral("chip %1: ink at %2,%3 is %4 px from the edge")
                                                           .arg(i).arg(p.x()).arg(p.y()).arg(inside)));
                }
                if (seen && !any)
                    break;
                seen = seen || any;
            }
            QVERIFY2(inked > 6, "the wrench is drawn");
        }
    }

    void liveStatus_data()
    {
        QTest::addColumn<app::LiveActivity>("activity");
        QTest::addColumn<QString>("status");
        QTest::newRow("thinking") << app::LiveActivity::thinking() << QStringLiteral("Thinking\u2026");
        QTest::newRow("writing") << app::LiveActivity::writing() << QStringLiteral("Writing\u2026");
        QTest::newRow("approval") << app::LiveActivity::waitingApproval() << QStringLiteral("Waiting for approval\u2026");
        QTest::newRow("tool") << app::LiveActivity::working(QStringLiteral("run_shell"))
                              << QStringLiteral("Working \u00B7 run shell\u2026");
        QTest::newRow("plain tool") << app::LiveActivity::working(QStringLiteral("grep"))
                                    << QStringLiteral("Working \u00B7 grep\u2026");
    }
    void liveStatus()
    {
        QFETCH(app::LiveActivity, activity);
        QFETCH(QString, status);
        QCOMPARE(chat::LiveAssistantBlock::statusText(activity), status);
        QVERIFY(app::LiveActivity::working(QStringLiteral("a")) == app::LiveActivity::working(QStringLiteral("a")));
        QVERIFY(!(app::LiveActivity::working(QStringLiteral("a")) == app::LiveActivity::working(QStringLiteral("b"))));
        QVERIFY(!(app::LiveActivity::working(QStringLiteral("a")) == app::LiveActivity::writing()));
    }

    void sparkleStar()
    {
        const QPainterPath p = chat::SparkleStar::path(QRectF(0, 0, 10, 20));
        QCOMPARE(p.elementCount(), 9);
        QCOMPARE(QPointF(p.elementAt(0)), QPointF(5, 5));
        QCOMPARE(QPointF(p.elementAt(2)), QPointF(7, 10));
        QCOMPARE(QPointF(p.elementAt(4)), QPointF(5, 15));
    }

    void breathingExtremes()
    {
        using Mark = chat::BreathingActivityMark;
        const auto &q = Mark::particles[0];
        // sin p = -1: at rest.
        const double rest = (3 * M_PI / 2 - q.phase) / q.speed;
        Mark::Star s = Mark::star(0, rest);
        QVERIFY(s.w < 1e-9);
        QVERIFY(qAbs(s.size - q.size * q.minScale) < 1e-9);
        QVERIFY(qAbs(s.opacity - 0.3) < 1e-9);
        QVERIFY(qAbs(s.dot - std::max(s.size * 0.12, 1.8)) < 1e-9);
        // sin p = 1 (and from 0.739 on): full size, pulled to 0.38 of home.
        const double full = (M_PI / 2 - q.phase) / q.speed;
        s = Mark::star(0, full);
        QVERIFY(qAbs(s.w - 1) < 1e-9);
        QVERIFY(qAbs(s.strokeWidth - 1.5) < 1e-9);
        QVERIFY(qAbs(std::hypot(s.centre.x(), s.centre.y()) - 12.5 * 0.38) <= q.jitter * 0.25 + 1e-9);
        QVERIFY(qAbs(Mark::star(0, (std::asin(0.74) - q.phase) / q.speed).w - 1) < 1e-9);
    }

    void linksOpenThroughTheDesktop_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<bool>("opens");
        // A screen reader's link (its press action), as the list reads it.
        QTest::addColumn<bool>("byReader");
        for (bool byReader : {false, true}) {
            const char *how = byReader ? ", by a reader" : "";
            QTest::addRow("https%s", how) << "https://example.org/x" << true << byReader;
            QTest::addRow("mailto%s", how) << "mailto:me@example.org" << true << byReader;
            QTest::addRow("file%s", how) << "file:///etc/passwd" << false << byReader;
            QTest::addRow("javascript%s", how) << "javascript:alert(1)" << false << byReader;
        }
    }
    void linksOpenThroughTheDesktop()
    {
        QFETCH(QString, href);
        QFETCH(bool, opens);
        QFETCH(bool, byReader);
        Fixture f;
        const ChatMessage reply = message(MessageRole::Assistant, QStringLiteral("[linklinklinklink](%1) after").arg(href));
        if (byReader) {
            glass::installReaderAccess();
            chat::installTranscriptAccess();
            app::MessageListModel model;
            chat::TranscriptView list(f.context());
            list.setModel(&model);
            model.showConversation(QUuid::createUuid(), {reply});
            QAccessibleInterface *paragraph = QAccessible::queryAccessibleInterface(&list)->child(0)->child(0);
            QCOMPARE(paragraph->role(), QAccessible::Paragraph);
            // Only a link that can be followed is a link to a reader.
            QCOMPARE(paragraph->childCount(), opens ? 1 : 0);
            if (opens) {
                QAccessibleInterface *link = paragraph->child(0);
                QCOMPARE(link->role(), QAccessible::Link);
                QCOMPARE(link->text(QAccessible::Name), QStringLiteral("linklinklinklink"));
                link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            }
            QCOMPARE(f.desktop.opened, opens ? QList<QUrl>{QUrl(href)} : QList<QUrl>{});
            return;
        }
        chat::MessageRow row(f.context());
        row.setMessage(reply, false);
        row.resize(500, 200);
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        chat::MarkdownTextView *view = row.textView();
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(10, 8));
        QCOMPARE(f.desktop.opened, opens ? QList<QUrl>{QUrl(href)} : QList<QUrl>{});
    }

    void codeCardCopies()
    {
        Fixture f;
        chat::MarkdownTextView view;
        view.setStyle(chat::MessageChrome::markdownStyle(f.styles->styles(), Qt::white));
        view.setFinishedText(QUuid::createUuid(), QStringLiteral("```sh\nls  -la\n```"));
        view.resize(400, view.heightForWidth(400));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy copied(&view, &chat::MarkdownTextView::codeCopied);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(400 - 30, 10));
        QCOMPARE(copied.size(), 1);
        QCOMPARE(copied.first().first().toString(), QStringLiteral("ls  -la"));
    }

    // Finished rows are rendered once per (message, width, skin).
    void renderCache()
    {
        Fixture f;
        const ChatMessage m = message(MessageRole::Assistant, QStringLiteral("Some *text*\n\n- a\n- b"));
        for (int i = 0; i < 3; ++i) {
            chat::MessageRow row(f.context());
            row.setMessage(m, false);
            row.resize(600, 300);
            row.grab();
        }
        const int builds = f.cache.builds();
        QVERIFY(builds >= 1);
        chat::MessageRow again(f.context());
        again.setMessage(m, false);
        again.resize(600, 300);
        again.grab();
        QCOMPARE(f.cache.builds(), builds);
        f.skins->select(QStringLiteral("paper"));
        again.grab();
        QVERIFY(f.cache.builds() > builds);
    }

    // A long code card draws only what the clip shows; painted band by band
    // it must come out as painted whole, rounded ends and rim included.
    void codeCardInBands()
    {
        QString text = QStringLiteral("Before the code.\n\n```cpp\n");
        for (int i = 0; i < 240; ++i)
            text += QStringLiteral("\tint value_%1 = compute(%1, \"text\"); // %2\n").arg(i).arg(QString(i % 7 * 20, u'x'));
        text += QStringLiteral("```\n\nAfter the code.");
        chat::MarkdownTextView view;
        view.setStyle(chatTestStyle());
        view.setFinishedText(QUuid::createUuid(), text);
        view.resize(600, view.heightForWidth(600));
        // Sized again once exact: painted whole, the estimate would be laid
        // out during the first picture and not the second.
        QTRY_VERIFY(laidOut(view));
        view.resize(600, view.heightForWidth(600));
        QVERIFY(view.height() > 3000);
        const QImage whole = testsupport::renderInBands(view, view.height());
        const QImage bands = testsupport::renderInBands(view, 97);
        const PictureDistance d = distance(whole, bands);
        QVERIFY2(d.largest <= 2, qPrintable(QStringLiteral("largest %1").arg(d.largest)));
        QVERIFY(whole.copy(0, view.height() - 40, 600, 40).save(QDir(testsupport::outputDirectory()).filePath(QStringLiteral("chat-code-card-end.png"))));
    }

    // Shaped code lines are kept between paints; the line still being
    // written must show its new text, as a view given it whole shows it.
    void streamedCodeLineRedrawn()
    {
        const auto picture = [](chat::MarkdownTextView &view) {
            view.resize(600, view.heightForWidth(600));
            QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::black);
            view.render(&image);
            return image;
        };
        chat::MarkdownTextView streamed;
        streamed.setStyle(chatTestStyle());
        streamed.setStreamingText(QStringLiteral("```sh\nmake all\nctest --output"));
        streamed.renderer().refresh(true);
        picture(streamed);
        streamed.appendStreamingText(u"-on-failure\nls");
        streamed.renderer().refresh(true);
        chat::MarkdownTextView whole;
        whole.setStyle(chatTestStyle());
        whole.setStreamingText(QStringLiteral("```sh\nmake all\nctest --output-on-failure\nls"));
        whole.renderer().refresh(true);
        QCOMPARE(picture(streamed), picture(whole));
    }

    // Bubbles in a list copy their glass from the list's backdrop sheet; the
    // picture must be the one each bubble paints on its own, wherever the
    // list has scrolled them.
    void glassFromTheSheet_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "night";
        QTest::newRow("light") << "paper";
    }
    void glassFromTheSheet()
    {
        QFETCH(QString, skin);
        Fixture f;
        StagedList staged(f, skin, 0.1, QSize(760, 620), QRect(20, 10, 720, 600));
        QWidget &window = staged.window;
        auto *const stage = staged.stage;
        auto *const list = staged.list;
        auto *const sheet = staged.sheet;
        auto *user = new chat::MessageRow(f.context(), list);
        user->setMessage(message(MessageRole::User, QStringLiteral("Can you explain the build?")), false);
        auto *reply = new chat::MessageRow(f.context(), list);
        reply->setMessage(message(MessageRole::Assistant,
                                  QStringLiteral("The project uses **CMake** and `Ninja`.\n\n```sh\ncmake -S . -B "
                                                 "build\n```\n\nThen `ctest` runs the tests.")),
                          false);
        auto *live = new chat::LiveAssistantBlock(f.context(), list);
        live->setStreamingText(QStringLiteral("Running the build now."));
        const auto place = [&](int dy) {
            user->setGeometry(40, 20 + dy, 640, user->heightForWidth(640));
            reply->setGeometry(40, user->geometry().bottom() + 30, 640, reply->heightForWidth(640));
            live->setGeometry(40, reply->geometry().bottom() + 30, 640, live->heightForWidth(640));
        };
        place(0);
        QVERIFY(staged.showAndWait());
        QVERIFY(stage->media() == glass::StageBackground::Media::image);
        // Placed again once the heights are exact, so that every later
        // placing gives the same rows.
        QTRY_VERIFY(textsLaidOut(window));
        place(0);

        const QImage first = window.grab().toImage();
        QVERIFY(sheet->layerDraws() > 0);
        place(37); // scrolled: the same sheet, other places
        const QImage scrolled = window.grab().toImage();
        const int draws = sheet->layerDraws();
        place(37);
        window.grab();
        QCOMPARE(sheet->layerDraws(), draws); // nothing new to draw: copies only
        QVERIFY(first.save(QDir(testsupport::outputDirectory())
                               .filePath(QStringLiteral("chat-glass-sheet-%1.png").arg(QTest::currentDataTag()))));

        delete sheet; // each bubble paints its own glass again
        place(0);
        const QImage ownFirst = window.grab().toImage();
        place(37);
        const QImage ownScrolled = window.grab().toImage();
        QVERIFY(ownFirst != ownScrolled);
        // The live block's mark breathes with the clock: left out of the comparison.
        auto *mark = live->findChild<chat::BreathingActivityMark *>();
        QVERIFY(mark);
        const auto withoutMark = [&](QImage image, int dy) {
            QPainter p(&image);
            p.fillRect(mark->geometry().translated(mark->parentWidget()->mapTo(&window, QPoint(0, 0))).adjusted(-4, -dy - 4, 4, 4),
                       Qt::black);
            return image;
        };
        for (const auto &[sheetPicture, ownPicture] :
             {std::pair{withoutMark(first, 37), withoutMark(ownFirst, 37)},
              std::pair{withoutMark(scrolled, 0), withoutMark(ownScrolled, 0)}}) {
            const PictureDistance d = distance(sheetPicture, ownPicture);
            // Only a few pixels of the bubbles' antialiased corners may differ.
            QVERIFY2(d.largest <= 64 && d.offShare < 0.003,
                     qPrintable(QStringLiteral("largest %1, off %2").arg(d.largest).arg(d.offShare)));
        }
    }

    // A list whose width changes while the stage stays (a side panel
    // dragged) keeps what its sheet holds within the old size; a list that
    // outgrows the sheet draws again. Either way the picture is the one a
    // fresh sheet gives.
    void sheetAcrossWidthChanges_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<int>("widthChange");
        QTest::addColumn<bool>("drawsAgain");
        QTest::newRow("dark narrower") << "night" << -60 << false;
        QTest::newRow("light narrower") << "paper" << -60 << false;
        QTest::newRow("light wider") << "paper" << 30 << true;
    }
    void sheetAcrossWidthChanges()
    {
        QFETCH(QString, skin);
        QFETCH(int, widthChange);
        QFETCH(bool, drawsAgain);
        Fixture f;
        StagedList staged(f, skin, 0.1, QSize(760, 400), QRect(20, 10, 680, 380));
        QWidget &window = staged.window;
        auto *const list = staged.list;
        auto *const sheet = staged.sheet;
        auto *user = new chat::MessageRow(f.context(), list);
        user->setMessage(message(MessageRole::User, QStringLiteral("Can you explain the build?")), false);
        auto *reply = new chat::MessageRow(f.context(), list);
        reply->setMessage(message(MessageRole::Assistant, QStringLiteral("The project uses **CMake** and `Ninja`.")),
                          false);
        user->setGeometry(20, 20, 600, user->heightForWidth(600));
        reply->setGeometry(20, user->geometry().bottom() + 30, 600, reply->heightForWidth(600));
        QVERIFY(staged.showAndWait());
        window.grab();
        const int draws = sheet->layerDraws();
        QVERIFY(draws > 0);

        list->resize(list->width() + widthChange, list->height());
        const QImage changed = window.grab().toImage();
        QCOMPARE(sheet->layerDraws() > draws, drawsAgain);
        delete sheet;
        new glass::BackdropSheet(list);
        const PictureDistance d = distance(changed, window.grab().toImage());
        QVERIFY2(d.largest <= 2, qPrintable(QStringLiteral("largest %1").arg(d.largest)));
    }

    // A bubble taller than any view (a long reply) shapes only the stretch
    // it paints and keeps no image of its whole height; painted band by band
    // it must come out as painted whole, and as it paints on its own.
    void tallBubbleInBands_data() { glassFromTheSheet_data(); }
    void tallBubbleInBands()
    {
        QFETCH(QString, skin);
        Fixture f;
        StagedList staged(f, skin, std::nullopt, QSize(400, 2600), QRect(0, 0, 400, 2600));
        QWidget &window = staged.window;
        auto *const sheet = staged.sheet;
        auto *bubble = new chat::BubbleFrame(chat::BubbleFrame::Kind::Assistant, *f.styles, staged.list);
        bubble->setVisibility(1.0);
        bubble->setGeometry(30, 40, 340, 2500);
        QVERIFY(staged.showAndWait());
        const auto render = [&](int band) { return testsupport::renderInBands(window, band); };
        const QImage whole = render(window.height());
        const PictureDistance bands = distance(whole, render(97));
        QVERIFY2(bands.largest <= 2, qPrintable(QStringLiteral("largest %1").arg(bands.largest)));
        delete sheet;
        const PictureDistance own = distance(whole, render(window.height()));
        QVERIFY2(own.largest <= 64 && own.offShare < 0.003,
                 qPrintable(QStringLiteral("largest %1, off %2").arg(own.largest).arg(own.offShare)));
    }

    // A bubble's rounded ends are clipped to a stretch of its shape around
    // the rows painted; painted band by band, however the bands cut them, the
    // ends come out as painted whole.
    void bubbleEndsInBands_data()
    {
        QTest::addColumn<bool>("assistant");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("band");
        QTest::newRow("user, short, thin bands") << false << 48 << 7;
        QTest::newRow("user, taller, bands across the ends") << false << 130 << 23;
        QTest::newRow("assistant, short") << true << 60 << 13;
        QTest::newRow("assistant, tall, bands across the ends") << true << 300 << 29;
    }
    void bubbleEndsInBands()
    {
        QFETCH(bool, assistant);
        QFETCH(int, height);
        QFETCH(int, band);
        Fixture f;
        StagedList staged(f, QStringLiteral("night"), 0.1, QSize(420, 400), QRect(0, 0, 420, 400));
        auto *bubble = new chat::BubbleFrame(assistant ? chat::BubbleFrame::Kind::Assistant : chat::BubbleFrame::Kind::User,
                                             *f.styles, staged.list);
        bubble->setVisibility(1.0);
        bubble->setGeometry(30, 41, 340, height);
        QVERIFY(staged.showAndWait());
        const QImage whole = testsupport::renderInBands(staged.window, staged.window.height());
        const PictureDistance d = distance(whole, testsupport::renderInBands(staged.window, band));
        QVERIFY2(d.largest <= 2, qPrintable(QStringLiteral("largest %1").arg(d.largest)));
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("wallpaper");
        QTest::newRow("dark") << "night" << false;
        QTest::newRow("light") << "paper" << false;
        QTest::newRow("dark-glass") << "night" << true;
        QTest::newRow("light-glass") << "paper" << true;
    }
    void pictures()
    {
        QFETCH(QString, skin);
        QFETCH(bool, wallpaper);
        Fixture f;
        f.skins->select(skin);
        f.bg->setIsEnabled(wallpaper);
        f.bg->setOverlayOpacity(0.1);
        QWidget page;
        QPalette palette = page.palette();
        const QColor ground = wallpaper ? QColor(60, 90, 140) : QColor(f.styles->styles().skin.colors.bg);
        palette.setColor(QPalette::Window, ground);
        page.setPalette(palette);
        page.setAutoFillBackground(true);
        auto *column = new QVBoxLayout(&page);
        column->setContentsMargins(24, 24, 24, 24);
        column->setSpacing(18);
        auto *user = new chat::MessageRow(f.context());
        user->setOnCopy([] {});
        user->setMessage(message(MessageRole::User, QStringLiteral("Can you list the project files and explain the build?")), false);
        column->addWidget(user);
        auto *reply = new chat::MessageRow(f.context());
        reply->setOnCopy([] {});
        reply->setOnRetry([] {});
        reply->setMessage(message(MessageRole::Assistant,
                                  QStringLiteral("## Build\nThe project uses **CMake** and `Ninja`.Steps:\n"
                                                 "1. Configure\n2. Build with [the docs](https://cmake.org)\n\n"
                                                 "```sh\ncmake -S . -B build -G Ninja && cmake --build build --target "
                                                 "everything_and_a_very_long_target_name_that_scrolls\n```\n"
                                                 "> Tests run under `ctest`."),
                                  tools({QStringLiteral("list_dir"), QStringLiteral("read_file")})),
                          true);
        column->addWidget(reply);
        auto *live = new chat::LiveAssistantBlock(f.context());
        live->setActivity(app::LiveActivity::working(QStringLiteral("run_shell")));
        live->setStreamingText(QStringLiteral("Running the build now. First the configure step:\n```\ncmake -S ."));
        column->addWidget(live);
        column->addStretch(1);
        page.resize(760, 900);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const QImage image = page.grab().toImage();
        const QString path = QDir(testsupport::outputDirectory())
                                 .filePath(QStringLiteral("chat-rows-%1.png").arg(QTest::currentDataTag()));
        QVERIFY(image.save(path));
        // The reply sits left of the user's bubble, and the live block below both.
        QVERIFY(user->textView()->mapTo(&page, QPoint()).x() > reply->textView()->mapTo(&page, QPoint()).x());
        QVERIFY(live->geometry().top() >= reply->geometry().bottom());
        QCOMPARE(live->status(), QStringLiteral("Working \u00B7 run shell\u2026"));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestRows)
#include "tst_rows.moc"
