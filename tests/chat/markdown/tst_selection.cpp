#include "ChatTestStyle.h"
#include "support/PaintHelpers.h"
#include "support/TestMain.h"

#include "chat/markdown/CodeBlockView.h"
#include "chat/markdown/MarkdownRenderer.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/markdown/TextSelection.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QTextBlock>
#include <QTextLayout>

using chat::MarkdownRenderer;
using chat::TextPoint;
using chat::TextSelection;
namespace Selecting = chat::TextSelecting;

namespace {

// A place named the way a reader counts: in prose a position of the
// shown text, in code a line and a column of the line as drawn (tabs as
// spaces to the next multiple of four).
struct Place {
    int piece = 0;
    int line = -1; // code only
    int column = 0;
};

constexpr int kWidth = 420;

chat::MarkdownStyle selectionStyle()
{
    chat::MarkdownStyle style = chatTestStyle();
    style.selection = QColor(230, 40, 160);
    return style;
}

// Where a place is drawn, found through Qt's own layout of the piece and
// the code font's advance, not through the view's hit testing.
QPointF pixelOf(MarkdownRenderer &r, const Place &place, qreal codeOffset = 0)
{
    r.layOut(place.piece);
    const auto &piece = r.piece(place.piece);
    const qreal top = r.top(place.piece);
    if (place.line >= 0) {
        const qreal advance = QFontMetricsF(r.style().mono).horizontalAdvance(u'x');
        const qreal y = top + r.codeHeaderHeight() + MarkdownRenderer::kCodePadding + (place.line + 0.5) * r.codeLineHeight();
        return {MarkdownRenderer::kCodePadding - codeOffset + place.column * advance, y};
    }
    const QTextBlock block = piece.doc->findBlock(place.column);
    const QTextLayout *layout = block.layout();
    const QTextLine line = layout->lineForTextPosition(place.column - block.position());
    const QRectF box = piece.doc->documentLayout()->blockBoundingRect(block);
    return {box.left() + line.cursorToX(place.column - block.position()), top + box.top() + line.y() + line.height() / 2};
}

MarkdownRenderer rendered(const QString &source)
{
    MarkdownRenderer r(selectionStyle(), kWidth);
    r.append(source);
    r.finish();
    r.refresh(true);
    r.layOutSome(std::numeric_limits<qint64>::max());
    return r;
}

// Share of pixels in a box that carry the colour (within a few levels).
double shareOf(const QImage &image, const QRect &box, const QColor &color)
{
    int hits = 0;
    int all = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ++all;
            hits += qAbs(c.red() - color.red()) <= 3 && qAbs(c.green() - color.green()) <= 3 &&
                    qAbs(c.blue() - color.blue()) <= 3;
        }
    return all ? double(hits) / all : 0;
}

} // namespace

Q_DECLARE_METATYPE(Place)

class SelectionTest : public QObject {
    Q_OBJECT

private slots:
    // A drag from one place to another (or a double or triple click on the
    // first) selects what a reader would copy.
    void selectedText_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<Place>("from");
        QTest::addColumn<Place>("to");
        QTest::addColumn<qreal>("codeOffset");
        QTest::addColumn<QString>("expected");

        const QString mixed = QStringLiteral("Intro text here\n\n```c\nint a;\nint b;\n```\n\nOutro");
        QTest::newRow("a word of prose") << "Hello brave new world" << "drag" << Place{0, -1, 6} << Place{0, -1, 11}
                                         << 0.0 << "brave";
        QTest::newRow("backwards drag") << "Hello brave new world" << "drag" << Place{0, -1, 11} << Place{0, -1, 6}
                                        << 0.0 << "brave";
        QTest::newRow("markdown marks are not copied") << "Some **bold** and `code` too" << "drag" << Place{0, -1, 5}
                                                       << Place{0, -1, 18} << 0.0 << "bold and code";
        QTest::newRow("list items, one per line") << "- one\n- two" << "drag" << Place{0, -1, 0} << Place{0, -1, 7}
                                                  << 0.0 << "one\ntwo";
        QTest::newRow("prose into code") << mixed << "drag" << Place{0, -1, 6} << Place{1, 1, 3} << 0.0
                                         << "text here\nint a;\nint";
        QTest::newRow("code into prose") << mixed << "drag" << Place{1, 1, 4} << Place{2, -1, 3} << 0.0
                                         << "b;\nOut";
        QTest::newRow("across a whole code card") << mixed << "drag" << Place{0, -1, 11} << Place{2, -1, 0} << 0.0
                                                  << "here\nint a;\nint b;";
        QTest::newRow("tab drawn as four columns") << "```\n\tx = 1;\n```" << "drag" << Place{0, 0, 4}
                                                   << Place{0, 0, 5} << 0.0 << "x";
        QTest::newRow("inside a tab snaps to its nearer end")
            << "```\nab\tcd\n```" << "drag" << Place{0, 0, 3} << Place{0, 0, 5} << 0.0 << "\tc";
        QTest::newRow("tab kept as written") << "```\n\tx = 1;\n```" << "drag" << Place{0, 0, 0} << Place{0, 0, 5}
                                             << 0.0 << "\tx";
        const QString wide = QStringLiteral("```\n") + QString(120, u'a') + QStringLiteral("BCD") +
                             QString(40, u'e') + QStringLiteral("\n```");
        QTest::newRow("code scrolled sideways") << wide << "drag" << Place{0, 0, 120} << Place{0, 0, 123}
                                                << 700.0 << "BCD";
        QTest::newRow("beyond a line's end takes its break") << "```\nab\ncd\n```" << "drag" << Place{0, 0, 1}
                                                             << Place{0, 1, 0} << 0.0 << "b\n";
        QTest::newRow("double click: a word") << "Hello brave new world" << "word" << Place{0, -1, 8} << Place{}
                                              << 0.0 << "brave";
        QTest::newRow("double click on a word's end") << "Hello brave new world" << "word" << Place{0, -1, 11}
                                                      << Place{} << 0.0 << "brave";
        QTest::newRow("double click: a word of code") << "```\n\tfoo_bar(x);\n```" << "word" << Place{0, 0, 6}
                                                      << Place{} << 0.0 << "foo_bar";
        QTest::newRow("triple click: a code line") << "```\none\ntwo\n```" << "line" << Place{0, 1, 1} << Place{}
                                                   << 0.0 << "two";
        QTest::newRow("triple click: a paragraph") << "First one.\n\nSecond one here." << "line" << Place{1, -1, 3}
                                                   << Place{} << 0.0 << "Second one here.";
    }
    void selectedText()
    {
        QFETCH(QString, source);
        QFETCH(QString, gesture);
        QFETCH(Place, from);
        QFETCH(Place, to);
        QFETCH(qreal, codeOffset);
        QFETCH(QString, expected);

        MarkdownRenderer r = rendered(source);
        QHash<int, qreal> offsets;
        for (int i = 0; i < r.count(); ++i)
            offsets.insert(i, codeOffset);
        const TextPoint a = Selecting::pointAt(r, pixelOf(r, from, codeOffset), offsets);
        QCOMPARE(a.piece, from.piece);
        TextSelection selection;
        if (gesture == QLatin1String("word")) {
            selection = Selecting::wordAt(r, a);
        } else if (gesture == QLatin1String("line")) {
            selection = Selecting::lineAt(r, a);
        } else {
            selection = {a, Selecting::pointAt(r, pixelOf(r, to, codeOffset), offsets)};
            QCOMPARE(selection.head.piece, to.piece);
        }
        QCOMPARE(Selecting::text(r, selection), expected);
    }

    // Past the text's ends and in the gaps between pieces.
    void pointsOutsideTheText()
    {
        MarkdownRenderer r = rendered(QStringLiteral("Intro\n\n```\nab\n```"));
        const QHash<int, qreal> none;
        const TextPoint end{1, 2};
        QCOMPARE(Selecting::pointAt(r, {50, -20}, none), (TextPoint{0, 0}));
        QCOMPARE(Selecting::pointAt(r, {50, r.height() + 40}, none), end);
        QCOMPARE(Selecting::pointAt(r, {50, r.top(1) - 2}, none), (TextPoint{1, 0}));
        QCOMPARE(Selecting::text(r, {{0, 0}, end}), QStringLiteral("Intro\nab"));
    }

    // The user's gestures in order, and what each one left behind.
    void mouseAndKeys()
    {
        chat::MarkdownTextView view;
        view.setStyle(selectionStyle());
        const QUuid first = QUuid::createUuid();
        view.setFinishedText(first, QStringLiteral("Read [the docs](https://example.org/d) now.\n\n```sh\nls -la\n```"));
        view.resize(kWidth, view.heightForWidth(kWidth));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QApplication::setActiveWindow(&view);

        QStringList log;
        QObject listening; // the connections end with this test
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        connect(clipboard, &QClipboard::dataChanged, &listening, [&] { log << QStringLiteral("clipboard ") + clipboard->text(); });
        connect(&view, &chat::MarkdownTextView::linkActivated, &listening,
                [&](const QUrl &url) { log << QStringLiteral("open ") + url.toString(); });
        connect(&view, &chat::MarkdownTextView::codeCopied, &listening, [&] { log << QStringLiteral("code copied"); });
        const auto ctrlC = [&] {
            log << QStringLiteral("ctrl+c");
            QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        };
        MarkdownRenderer &r = view.renderer();
        const auto at = [&](Place place) { return pixelOf(r, place).toPoint(); };
        const QPoint onLink = at({0, -1, 7});

        log << QStringLiteral("click link");
        QTest::mouseClick(&view, Qt::LeftButton, {}, onLink);
        log << QStringLiteral("drag from link");
        QTest::mousePress(&view, Qt::LeftButton, {}, onLink);
        QTest::mouseMove(&view, at({0, -1, 11}));
        QTest::mouseMove(&view, at({1, 0, 2}));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, at({1, 0, 2}));
        ctrlC();
        log << QStringLiteral("click elsewhere");
        QTest::mouseClick(&view, Qt::LeftButton, {}, at({0, -1, 2}));
        ctrlC();
        log << QStringLiteral("double click");
        QTest::mouseDClick(&view, Qt::LeftButton, {}, at({0, -1, 2}));
        ctrlC();
        log << QStringLiteral("copy button");
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(kWidth - 30, int(r.top(1)) + 10));
        log << QStringLiteral("triple click, menu");
        QTest::mouseDClick(&view, Qt::LeftButton, {}, at({1, 0, 1}));
        QTest::mouseClick(&view, Qt::LeftButton, {}, at({1, 0, 1}));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at({1, 0, 1}), view.mapToGlobal(at({1, 0, 1})));
        QApplication::sendEvent(&view, &menuEvent);
        auto *menu = view.findChild<QMenu *>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Copy"));
        menu->actions().first()->trigger();
        menu->close();
        log << QStringLiteral("row reused");
        QTest::mouseDClick(&view, Qt::LeftButton, {}, at({0, -1, 2}));
        view.setFinishedText(QUuid::createUuid(), QStringLiteral("Another message altogether"));
        ctrlC();

        const QStringList expected{
            QStringLiteral("click link"), QStringLiteral("open https://example.org/d"),
            QStringLiteral("drag from link"), QStringLiteral("ctrl+c"), QStringLiteral("clipboard e docs now.\nls"),
            QStringLiteral("click elsewhere"), QStringLiteral("ctrl+c"),
            QStringLiteral("double click"), QStringLiteral("ctrl+c"), QStringLiteral("clipboard Read"),
            QStringLiteral("copy button"), QStringLiteral("clipboard ls -la"), QStringLiteral("code copied"),
            QStringLiteral("triple click, menu"), QStringLiteral("clipboard ls -la"),
            QStringLiteral("row reused"), QStringLiteral("ctrl+c")};
        QCOMPARE(log, expected);
        QVERIFY(view.selection().isEmpty());
    }

    // A press in one message ends the selection in another.
    void oneSelectionPerWindow()
    {
        QWidget window;
        auto *a = new chat::MarkdownTextView(&window);
        auto *b = new chat::MarkdownTextView(&window);
        for (auto *view : {a, b}) {
            view->setStyle(selectionStyle());
            view->setFinishedText(QUuid::createUuid(), QStringLiteral("Some words to select"));
            view->resize(kWidth, view->heightForWidth(kWidth));
        }
        b->move(0, a->height() + 10);
        window.resize(kWidth, b->geometry().bottom() + 1);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseDClick(a, Qt::LeftButton, {}, QPoint(10, 8));
        QCOMPARE(a->selectedText(), QStringLiteral("Some"));
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(10, 8));
        QVERIFY(a->selection().isEmpty());
    }

    // Selected glyphs sit on the selection colour, in prose and in code
    // scrolled sideways past a tab; nothing beside them does.
    void selectionPicture_data()
    {
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<QColor>("selection");
        QTest::addColumn<QColor>("ground");
        QTest::newRow("dark") << QColor(0xe6, 0xe6, 0xee) << QColor(230, 40, 160) << QColor(Qt::black);
        QTest::newRow("light") << QColor(0x1a, 0x1a, 0x22) << QColor(170, 200, 255) << QColor(Qt::white);
    }
    void selectionPicture()
    {
        QFETCH(QColor, ink);
        QFETCH(QColor, selection);
        QFETCH(QColor, ground);
        chat::MarkdownStyle style = selectionStyle();
        style.ink = ink;
        style.codeText = ink;
        style.selection = selection;
        style.codeFill = ground;
        style.cacheTag = ink.name();
        chat::MarkdownTextView view;
        view.setStyle(style);
        view.setFinishedText(QUuid::createUuid(), QStringLiteral("Hello brave new world\n\n```\n\t") +
                                                      QString(100, u'x') + QStringLiteral("\n```"));
        view.resize(kWidth, view.heightForWidth(kWidth));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Scroll the code sideways as a touchpad does.
        MarkdownRenderer &r = view.renderer();
        const QPointF inCode = pixelOf(r, {1, 0, 10});
        QWheelEvent wheel(inCode, view.mapToGlobal(inCode), QPoint(-60, 0), QPoint(-120, 0), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        const qreal offset = 60;
        // Written columns 21..30 of the code line are drawn columns 24..33.
        const int codeStart = 1 + 20;
        view.setSelection({{1, codeStart}, {1, codeStart + 10}});
        QCOMPARE(view.selectedText(), QString(10, u'x'));

        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(ground);
        view.render(&image);
        const QString name = QStringLiteral("chat-selection-code-%1.png").arg(QTest::currentDataTag());
        QVERIFY(image.save(QDir(testsupport::outputDirectory()).filePath(name)));

        const QPointF c0 = pixelOf(r, {1, 0, 24}, offset);
        const QPointF c1 = pixelOf(r, {1, 0, 34}, offset);
        const int lineTop = int(c0.y() - r.codeLineHeight() / 2) + 2;
        const int lineBottom = int(c0.y() + r.codeLineHeight() / 2) - 2;
        const QRect inside(QPoint(int(c0.x()) + 2, lineTop), QPoint(int(c1.x()) - 3, lineBottom));
        const QRect before(QPoint(int(c0.x()) - 30, lineTop), QPoint(int(c0.x()) - 3, lineBottom));
        const QRect after(QPoint(int(c1.x()) + 2, lineTop), QPoint(int(c1.x()) + 30, lineBottom));
        QVERIFY2(shareOf(image, inside, selection) > 0.4, qPrintable(QString::number(shareOf(image, inside, selection))));
        QCOMPARE(shareOf(image, before, selection), 0.0);
        QCOMPARE(shareOf(image, after, selection), 0.0);

        // Prose: "brave" marked, "Hello " beside it not.
        view.setSelection({{0, 6}, {0, 11}});
        image.fill(ground);
        view.render(&image);
        QVERIFY(image.save(QDir(testsupport::outputDirectory())
                               .filePath(QStringLiteral("chat-selection-prose-%1.png").arg(QTest::currentDataTag()))));
        const QPointF p0 = pixelOf(r, {0, -1, 6});
        const QPointF p1 = pixelOf(r, {0, -1, 11});
        const QRect word(QPoint(int(p0.x()) + 2, int(p0.y()) - 7), QPoint(int(p1.x()) - 3, int(p0.y()) + 7));
        const QRect hello(QPoint(0, int(p0.y()) - 7), QPoint(int(p0.x()) - 3, int(p0.y()) + 7));
        QVERIFY2(shareOf(image, word, selection) > 0.4, qPrintable(QString::number(shareOf(image, word, selection))));
        QCOMPARE(shareOf(image, hello, selection), 0.0);

        // A selected ordered list keeps its numbers in the ink.
        view.setFinishedText(QUuid::createUuid(), QStringLiteral("1. one\n2. two"));
        view.resize(kWidth, view.heightForWidth(kWidth));
        view.setSelection({{0, 0}, {0, 7}});
        QCOMPARE(view.selectedText(), QStringLiteral("one\ntwo"));
        image = QImage(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(ground);
        view.render(&image);
        MarkdownRenderer &list = view.renderer();
        const QPointF item = pixelOf(list, {0, -1, 4}); // the second item: its number lies inside the selection
        const QRect marker(QPoint(0, int(item.y()) - 7), QPoint(int(item.x()) - 3, int(item.y()) + 7));
        QVERIFY2(shareOf(image, marker, ink) > 0.005, qPrintable(QString::number(shareOf(image, marker, ink))));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(SelectionTest)
#include "tst_selection.moc"
