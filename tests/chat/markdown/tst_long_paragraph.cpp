// One long paragraph without a blank line (a log line, minified JSON, a
// hash, text without spaces): laid out once, at the width it is shown at,
// with no character lost or doubled by the wrapping, no grapheme torn at a
// line's edge, and every gesture copying exactly what is shown.

#include "ChatTestStyle.h"
#include "support/PaintHelpers.h"
#include "support/TestEnvironment.h"
#include "support/TestMain.h"

#include "app/MessageListModel.h"
#include "chat/markdown/LongParagraph.h"
#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/markdown/MarkdownRenderer.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageRow.h"
#include "chat/markdown/TextSelection.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/ChatStores.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextLayout>

using chat::MarkdownRenderer;
using chat::TextSelection;
namespace Selecting = chat::TextSelecting;

namespace {

constexpr int kWidth = 420;

QString repeated(const QString &unit, int size)
{
    QString out;
    while (out.size() < size)
        out += unit;
    return out;
}

QString letters(int size, char32_t first, int span)
{
    QRandomGenerator r(5);
    QString out;
    while (out.size() < size)
        out += QString::fromUcs4(std::array{char32_t(first + r.bounded(span))}.data(), 1);
    return out;
}

QString words(int size)
{
    static const QStringList pool{"log", "entry", "value", "retry", "connection", "a", "done", "of", "service"};
    QRandomGenerator r(9);
    QString out;
    while (out.size() < size)
        out += pool[r.bounded(pool.size())] + u' ';
    return out.trimmed();
}

// Ideographs in runs between Latin words, full-width and closing punctuation
// and kana: the text a CJK reply about code is made of.
QString cjkWithWords(int size)
{
    QString out;
    for (int i = 0; out.size() < size; ++i)
        out += letters(37 + i % 11, 0x4e00, 0x5000) + QStringLiteral("，「Qt 6.4」の") + letters(20, 0x3041, 0x50) +
               QStringLiteral("。 ");
    return out;
}

MarkdownRenderer laidOut(const QString &source)
{
    MarkdownRenderer r(chatTestStyle(), kWidth);
    r.append(source);
    r.finish();
    r.layOutAll();
    return r;
}

struct Line {
    int start = 0;
    int length = 0;
    qreal width = 0;
};

// Every line of every prose block, in order, as text positions of the block.
QList<QList<Line>> linesOf(const QTextDocument &doc);

// The same for a piece: a long paragraph's lines are those its worker found.
QList<QList<Line>> linesOf(const MarkdownRenderer::Piece &piece)
{
    if (!piece.paragraph)
        return linesOf(*piece.doc);
    QList<Line> lines;
    for (const chat::LongParagraph::Line &line : piece.paragraph->lines())
        lines.append({line.start, line.length, line.naturalWidth});
    return {lines};
}

QList<QList<Line>> linesOf(const QTextDocument &doc)
{
    QList<QList<Line>> out;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QList<Line> lines;
        const QTextLayout *layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines.append({line.textStart(), line.textLength(), line.naturalTextWidth()});
        }
        out.append(lines);
    }
    return out;
}


// A transcript on screen, as the window shows one.
struct Transcript {
    ChatStores s;
    chat::MarkdownRenderCache cache;
    app::MessageListModel model;
    chat::TranscriptView list{chat::MessageRowContext{s.styles, s.background, cache}};

    Transcript()
    {
        list.resize(1000, 700);
        list.setModel(&model);
        list.show();
    }
    // A session of one reply, scrolled to its end; the reply's id.
    QUuid showReply(const QString &text)
    {
        model::ChatMessage reply;
        reply.id = QUuid::createUuid();
        reply.role = model::MessageRole::Assistant;
        reply.content = text;
        model.showConversation(QUuid::createUuid(), {reply});
        list.scrollToBottom(false);
        return reply.id;
    }
};

} // namespace

class LongParagraphTest : public QObject {
    Q_OBJECT

private slots:
    // Rows of awkward single paragraphs: the whole text selected copies
    // exactly what is shown; the lines of each block follow one another
    // with nothing lost or doubled, each begins on a grapheme boundary and
    // fits the width; ordinary words are never cut at a line's edge.
    void awkwardParagraphs_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("wordsWhole");

        const QString word = letters(100'000, U'a', 26);
        QTest::newRow("one 100k word without a space") << word << word << false;
        QString json = QStringLiteral("[");
        for (int i = 0; json.size() < 30'000; ++i)
            json += QStringLiteral("{\"id\":%1,\"name\":\"item-%1\",\"tags\":[\"a\",\"b\"],\"ok\":true},").arg(i);
        json.chop(1);
        json += u']';
        QTest::newRow("minified JSON") << json << json << false;
        const QString cjk = letters(30'000, 0x4e00, 0x5000);
        QTest::newRow("CJK without spaces") << cjk << cjk << false;
        // A woman-woman-girl family (joined by ZWJ), a flag, e with a combining acute, a skin tone.
        const QString marks = repeated(QStringLiteral("ab\U0001F469\u200D\U0001F469\u200D\U0001F467e\u0301"
                                                      "\U0001F1EB\U0001F1F7c\u0327\U0001F44D\U0001F3FD"),
                                       12'000);
        QTest::newRow("emoji and combining marks, no space") << marks << marks << false;
        const QString arabic = letters(12'000, 0x0628, 20);
        QTest::newRow("right-to-left run without a space") << arabic << arabic << false;
        const QString prose = words(30'000);
        QTest::newRow("ordinary words, 30k") << prose << prose << true;
        const QString mixed = repeated(QStringLiteral("the file \u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627 "
                                                      "opened 42 times "),
                                       20'000)
                                  .trimmed();
        QTest::newRow("mixed scripts with spaces") << mixed << mixed << true;
        const QString hash = words(3000) + u' ' + letters(1500, U'0', 10) + u' ' + words(3000);
        QTest::newRow("a 1500-digit run among words") << hash << hash << false;
        QTest::newRow("CRLF line ends") << QStringLiteral("alpha beta\r\ngamma delta\r\n\r\nepsilon\r\n")
                                        << QStringLiteral("alpha beta gamma delta\nepsilon") << true;
    }
    void awkwardParagraphs()
    {
        QFETCH(QString, source);
        QFETCH(QString, shown);
        QFETCH(bool, wordsWhole);

        MarkdownRenderer r = laidOut(source);
        QVERIFY(r.count() >= 1);
        const int last = r.count() - 1;
        QCOMPARE(Selecting::text(r, {{0, 0}, {last, Selecting::pieceLength(r, last)}}), shown);

        for (int i = 0; i < r.count(); ++i) {
            const auto &piece = r.piece(i);
            QVERIFY(piece.exact);
            QVERIFY(piece.doc);
            const QList<QList<Line>> blocks = linesOf(piece);
            QTextBlock block = piece.doc->begin();
            for (const QList<Line> &lines : blocks) {
                const QString text = block.text();
                QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
                int next = 0;
                for (const Line &line : lines) {
                    QCOMPARE(line.start, next);
                    next = line.start + line.length;
                    graphemes.setPosition(line.start);
                    QVERIFY2(graphemes.isAtBoundary(), qPrintable(QStringLiteral("line at %1").arg(line.start)));
                    const QStringView body = QStringView(text).mid(line.start, line.length).trimmed();
                    if (QTextBoundaryFinder(QTextBoundaryFinder::Grapheme, body.toString()).toNextBoundary() <
                        body.size())
                        QVERIFY2(line.width <= kWidth + 0.5, qPrintable(QString::number(line.width)));
                    if (wordsWhole && line.start > 0)
                        QVERIFY2(text[line.start - 1].isSpace(),
                                 qPrintable(text.mid(line.start - 10, 20)));
                }
                QCOMPARE(next, int(text.size()));
                block = block.next();
            }
        }
    }

    // A long paragraph is drawn in slices of lines whose starts a worker
    // found: every line begins, ends and sits where one layout of the whole
    // paragraph puts it, and the part in view, at the end or in the middle,
    // is drawn pixel for pixel as that layout draws it. The piece's own
    // document is never laid out.
    void slicesDrawAsTheWholeParagraph_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("width");
        QTest::addColumn<qreal>("at"); // where the window in view begins, as a share of the height
        // The whole layout shapes a run in items of 4096 characters: letters
        // that join (Arabic) are drawn apart across that cut there, and
        // joined in a slice that does not cut them.
        QTest::addColumn<bool>("samePixels");

        QString prose;
        for (int i = 0; prose.size() < 12'000; ++i)
            prose += QStringLiteral("The build **runs** `main.cpp` and [the log](https://qt.io/%1) then %2 checks. ")
                         .arg(i)
                         .arg(words(40 + i % 7));
        QString json = QStringLiteral("[");
        for (int i = 0; json.size() < 12'000; ++i)
            json += QStringLiteral("{\"id\":%1,\"name\":\"item-%1\",\"ok\":true},").arg(i);
        const QString word = letters(20'000, U'a', 26);
        const QString cjk = letters(20'000, 0x4e00, 0x5000);
        const QString cjkMixed = cjkWithWords(12'000);
        const QString arabic = repeated(QStringLiteral("\u0645\u0631\u062D\u0628\u0627 \u0628\u0643 "), 8000);
        const QString marks = repeated(QStringLiteral("ab\U0001F469\u200D\U0001F469\u200D\U0001F467e\u0301 "), 8000);
        for (const int width : {420, 1100}) {
            for (const qreal at : {1.0, 0.5}) {
                const QString tail = QStringLiteral(" at %1, %2").arg(width).arg(QLatin1String(at == 1.0 ? "end" : "middle"));
                QTest::newRow(qPrintable(QStringLiteral("prose with marks") + tail)) << prose << width << at << true;
                QTest::newRow(qPrintable(QStringLiteral("minified JSON") + tail)) << json << width << at << true;
                QTest::newRow(qPrintable(QStringLiteral("one word") + tail)) << word << width << at << true;
                QTest::newRow(qPrintable(QStringLiteral("CJK") + tail)) << cjk << width << at << true;
                QTest::newRow(qPrintable(QStringLiteral("CJK with Latin words") + tail)) << cjkMixed << width << at
                                                                                        << true;
                QTest::newRow(qPrintable(QStringLiteral("right-to-left words") + tail)) << arabic << width << at << false;
                QTest::newRow(qPrintable(QStringLiteral("emoji and marks") + tail)) << marks << width << at << true;
            }
        }
    }
    void slicesDrawAsTheWholeParagraph()
    {
        QFETCH(QString, source);
        QFETCH(int, width);
        QFETCH(qreal, at);
        QFETCH(bool, samePixels);
        const chat::MarkdownStyle style = chatTestStyle();
        MarkdownRenderer r(style, width);
        r.append(source);
        r.finish();
        r.layOutAll();
        QCOMPARE(r.count(), 1);
        const MarkdownRenderer::Piece &piece = r.piece(0);
        QVERIFY(piece.paragraph);
        QVERIFY(piece.exact);

        chat::MarkdownDocument whole(style);
        whole.setProse(source);
        whole.setTextWidth(width);
        QCOMPARE(piece.height, std::ceil(whole.documentLayout()->documentSize().height()));
        const QTextLayout *layout = whole.begin().layout();
        const QList<chat::LongParagraph::Line> &lines = piece.paragraph->lines();
        QCOMPARE(lines.size(), layout->lineCount());
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            QCOMPARE(lines[i].start, line.textStart());
            QCOMPARE(lines[i].length, line.textLength());
            QCOMPARE(lines[i].y + layout->position().y(), line.y() + layout->position().y());
        }

        const QRectF window(0, std::floor((piece.height - 700) * at), width, 700);
        const auto drawn = [&](const std::function<void(QPainter &)> &draw) {
            QImage image(width, 700, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::black);
            QPainter p(&image);
            p.translate(0, -window.top());
            p.setClipRect(window);
            draw(p);
            return image;
        };
        // A selection from a third of the text to two thirds, across the window.
        const int length = whole.characterCount() - 1;
        const std::pair<int, int> selected{length / 3, length * 2 / 3};
        const QColor fill(40, 90, 200);
        const QImage expected = drawn([&](QPainter &p) {
            QAbstractTextDocumentLayout::PaintContext context;
            context.palette.setColor(QPalette::Text, style.ink);
            context.clip = window;
            QAbstractTextDocumentLayout::Selection marked;
            marked.cursor = QTextCursor(&whole);
            marked.cursor.setPosition(selected.first);
            marked.cursor.setPosition(selected.second, QTextCursor::KeepAnchor);
            marked.format.setBackground(fill);
            marked.format.setForeground(style.ink);
            context.selections.append(marked);
            whole.documentLayout()->draw(&p, context);
        });
        const QImage sliced =
            drawn([&](QPainter &p) { piece.paragraph->draw(&p, window, selected, style.ink, fill); });
        if (samePixels)
            QVERIFY(sliced == expected);
        else
            QVERIFY(sliced != drawn([](QPainter &) {})); // drawn, lines checked above
        QCOMPARE(piece.doc->begin().layout()->lineCount(), 0);
    }

    // Before its lines are known, the part of a long paragraph in view is
    // drawn all the same, wrapped from a break near where it begins: the
    // window in view holds text from its top to its bottom (a session
    // opens on the end of its last reply).
    void guessFillsTheView_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<qreal>("at"); // where the window begins, as a share of the height
        const QString prose = words(40'000);
        const QString cjk = letters(40'000, 0x4e00, 0x5000);
        const QString word = letters(40'000, U'a', 26);
        QTest::newRow("prose at the end") << prose << 1.0;
        QTest::newRow("prose in the middle") << prose << 0.5;
        QTest::newRow("CJK at the end") << cjk << 1.0;
        QTest::newRow("CJK in the middle") << cjk << 0.5;
        QTest::newRow("one word at the end") << word << 1.0;
    }
    void guessFillsTheView()
    {
        QFETCH(QString, source);
        QFETCH(qreal, at);
        const chat::MarkdownStyle style = chatTestStyle();
        chat::MarkdownDocument doc(style);
        doc.setProse(source);
        QVERIFY(chat::LongParagraph::applies(doc));
        const chat::LongParagraph paragraph(doc, {source, false, style, kWidth});
        const qreal height = MarkdownRenderer::estimateHeight(style, source, kWidth);
        const QRectF window(0, std::floor((height - 600) * at), kWidth, 600);
        QImage image(kWidth, 600, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        {
            QPainter p(&image);
            p.translate(0, -window.top());
            p.setClipRect(window);
            paragraph.drawGuess(&p, window, height, Qt::white);
        }
        const auto inked = [&image](int top, int bottom) {
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != qRgb(0, 0, 0))
                        return true;
            return false;
        };
        QVERIFY(inked(0, 40));
        QVERIFY(inked(image.height() - 40, image.height()));
    }

    // A run that cannot be broken, alone in its paragraph, breaks where
    // Qt's word-or-anywhere wrapping breaks it: each line as full as it goes.
    // (Words before or after such a run in its paragraph may be cut at the
    // edge too: the price of a layout that stays linear.)
    void runWrapsAtTheSamePlaces_data()
    {
        QTest::addColumn<QString>("run");
        const int size = int(chat::MarkdownDocument::kLongestWordWrapped) + 2000;
        QTest::newRow("letters") << letters(size, U'a', 26);
        QTest::newRow("digits") << repeated(QStringLiteral("1234567890"), size);
        QTest::newRow("combining marks") << repeated(QStringLiteral("e\u0301o\u0308n\u0303"), size);
    }
    void runWrapsAtTheSamePlaces()
    {
        QFETCH(QString, run);
        chat::MarkdownDocument fast(chatTestStyle());
        fast.setProse(run);
        QCOMPARE(fast.defaultTextOption().wrapMode(), QTextOption::WrapAnywhere);
        chat::MarkdownDocument reference(chatTestStyle());
        reference.setProse(run);
        QTextOption option = reference.defaultTextOption();
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        reference.setDefaultTextOption(option);
        fast.setTextWidth(kWidth);
        fast.size();
        reference.setTextWidth(kWidth);
        reference.size();
        const auto starts = [](const QTextDocument &doc) {
            QList<int> out;
            const QList<QList<Line>> blocks = linesOf(doc);
            for (const Line &line : blocks.first())
                out.append(line.start);
            return out;
        };
        QVERIFY(starts(fast).size() > 20);
        QCOMPARE(starts(fast), starts(reference));
        QCOMPARE(fast.size().height(), reference.size().height());
    }

    // Ordinary text keeps Qt's own wrapping; only a paragraph with a run
    // longer than the limit wraps anywhere.
    void wrapsAnywhereOnlyPastTheLimit_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("anywhere");
        const qsizetype limit = chat::MarkdownDocument::kLongestWordWrapped;
        QTest::newRow("long prose") << words(50'000) << false;
        QTest::newRow("a URL") << QStringLiteral("see https://example.org/") + letters(300, U'a', 26) << false;
        QTest::newRow("a run at the limit") << words(100) + u' ' + letters(int(limit), U'a', 26) << false;
        QTest::newRow("a run past the limit") << words(100) + u' ' + letters(int(limit) + 1, U'a', 26) << true;
        QTest::newRow("past the limit in a later paragraph")
            << QStringLiteral("1. first\n\n2. ") + letters(int(limit) + 50, U'a', 26) << true;
    }
    void wrapsAnywhereOnlyPastTheLimit()
    {
        QFETCH(QString, source);
        QFETCH(bool, anywhere);
        MarkdownRenderer r = laidOut(source);
        QCOMPARE(r.count(), 1);
        QCOMPARE(r.piece(0).doc->defaultTextOption().wrapMode() == QTextOption::WrapAnywhere, anywhere);
    }

    // The gestures on a long paragraph in a view: a drag over many lines, a
    // double click on a 100k word, a triple click on the paragraph; Ctrl+C
    // copies exactly the text they cover.
    void gesturesCopyExactly()
    {
        const QString word = letters(100'000, U'a', 26);
        const QString text = words(400) + u' ' + word + u' ' + words(400);
        chat::MarkdownTextView view;
        view.setStyle(chatTestStyle());
        view.setFinishedText(QUuid::createUuid(), text);
        view.resize(kWidth, view.heightForWidth(kWidth));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QApplication::setActiveWindow(&view);
        MarkdownRenderer &r = view.renderer();
        QCOMPARE(r.count(), 1);
        r.layOutAll();
        const chat::LongParagraph *paragraph = r.piece(0).paragraph.get();
        QVERIFY(paragraph);
        const QList<chat::LongParagraph::Line> &lines = paragraph->lines();
        QVERIFY(lines.size() > 300);
        const auto at = [&](int position) {
            const QRectF cursor = paragraph->cursorRect(position);
            return QPoint(int(cursor.x()) + 1, int(cursor.center().y()));
        };
        QClipboard *clipboard = QGuiApplication::clipboard();

        const int from = lines[3].start + 2;
        const int to = lines[250].start + 5;
        QTest::mousePress(&view, Qt::LeftButton, {}, at(from));
        QTest::mouseMove(&view, at(from + 40));
        QTest::mouseMove(&view, at(to));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, at(to));
        clipboard->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), text.mid(from, to - from));

        const int inWord = int(text.indexOf(word)) + 50'000;
        QTest::mouseDClick(&view, Qt::LeftButton, {}, at(inWord));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), word);
        QTest::mouseClick(&view, Qt::LeftButton, {}, at(inWord));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), text);
    }

    // A link in a long paragraph is found under the pointer wherever it
    // sits, and a click follows it when it may be followed.
    void linksInALongParagraphFollow_data()
    {
        QTest::addColumn<qreal>("at"); // the share of the text before the link
        QTest::addColumn<QString>("href");
        QTest::addColumn<bool>("follows");
        QTest::newRow("near the start") << 0.02 << QStringLiteral("https://example.org/a") << true;
        QTest::newRow("in the middle") << 0.5 << QStringLiteral("https://example.org/b") << true;
        QTest::newRow("at the end") << 1.0 << QStringLiteral("mailto:someone@example.org") << true;
        QTest::newRow("a script link") << 0.5 << QStringLiteral("javascript:alert(1)") << false;
    }
    void linksInALongParagraphFollow()
    {
        QFETCH(qreal, at);
        QFETCH(QString, href);
        QFETCH(bool, follows);
        const QString text = words(int(12'000 * at)) + QStringLiteral(" [the link](") + href + QStringLiteral(") ") +
                             words(int(12'000 * (1 - at)));
        chat::MarkdownTextView view;
        view.setStyle(chatTestStyle());
        view.setFinishedText(QUuid::createUuid(), text.trimmed());
        view.resize(kWidth, 100); // the renderer is the one for the view's width
        MarkdownRenderer &r = view.renderer();
        r.layOutAll();
        view.resize(kWidth, view.heightForWidth(kWidth));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(r.count(), 1);
        const chat::LongParagraph *paragraph = r.piece(0).paragraph.get();
        QVERIFY(paragraph);
        const int position = int(r.piece(0).doc->toPlainText().indexOf(QStringLiteral("the link"))) + 3;
        const QRectF cursor = paragraph->cursorRect(position);
        QSignalSpy activated(&view, &chat::MarkdownTextView::linkActivated);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(int(cursor.x()) + 1, int(cursor.center().y())));
        QCOMPARE(activated.size(), follows ? 1 : 0);
        if (follows)
            QCOMPARE(activated.first().first().toUrl(), QUrl(href));
    }

    // A long reply in a new list is laid out once, at the width its row is
    // shown at: Qt asks a new row's height at the few dozen pixels of its
    // default size first, where a long text costs most.
    void laidOutOnceAtItsWidth_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("prose") << words(30'000);
        QTest::newRow("one word") << letters(30'000, U'a', 26);
    }
    // A long paragraph whose words are as wide alone as in their run has
    // its lines in a few milliseconds: the first frame of a session opened
    // on it is the one that stays (no guessed wrap that every line leaves
    // later). Texts of the size and the number of distinct characters of a
    // long reply (its glyphs are measured before the first frame).
    void firstFrameStays_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("CJK") << letters(40'000, 0x4e00, 600);
        QString mixed;
        for (int i = 0; mixed.size() < 30'000; ++i)
            mixed += letters(37 + i % 11, 0x4e00, 600) + QStringLiteral("，「Qt 6.4」の") + letters(20, 0x3041, 0x50) +
                     QStringLiteral("。 ");
        QTest::newRow("CJK with Latin words and punctuation") << mixed;
        QTest::newRow("prose") << words(30'000);
    }
    void firstFrameStays()
    {
        QFETCH(QString, text);
        // The first frame waits a fixed time for the lines: a build that runs
        // several times slower measures past it and rightly shows a guess.
        if (testsupport::timeScale() > 1)
            QSKIP("the lines' wait is real time; this build runs slower than it allows");
        // The pool's threads have their fonts, as after the window's first text.
        MarkdownRenderer warm(chatTestStyle(), kWidth);
        warm.append(cjkWithWords(4000));
        warm.finish();
        warm.layOutAll();
        Transcript t;
        QVERIFY(QTest::qWaitForWindowExposed(&t.list));
        const QUuid replyId = t.showReply(text);
        // What the window does before it paints: the scroll bar comes.
        QCoreApplication::processEvents();
        t.list.scrollToBottom(false);
        const QImage first = t.list.viewport()->grab().toImage();
        QVERIFY(t.list.rowFor(replyId)->textView()->renderer().piece(0).exact);
        QTest::qWait(300); // a worker would have brought other lines by now
        t.list.scrollToBottom(false);
        const QImage later = t.list.viewport()->grab().toImage();
        if (later != first) {
            const QDir out(testsupport::outputDirectory());
            first.save(out.filePath(QStringLiteral("long-paragraph-first-%1.png").arg(QTest::currentDataTag())));
            later.save(out.filePath(QStringLiteral("long-paragraph-later-%1.png").arg(QTest::currentDataTag())));
        }
        QVERIFY(later == first);
    }

    void laidOutOnceAtItsWidth()
    {
        QFETCH(QString, text);
        Transcript t;
        QVERIFY(QTest::qWaitForWindowExposed(&t.list));
        const QUuid replyId = t.showReply(text);
        const QImage frame = t.list.viewport()->grab().toImage();
        chat::MessageRow *row = t.list.rowFor(replyId);
        QVERIFY(row);
        QCOMPARE(t.cache.builds(), 1);
        chat::MarkdownTextView *shown = row->textView();
        QCOMPARE(int(shown->renderer().width()), shown->width());
        QCOMPARE(shown->height(), int(std::ceil(shown->renderer().height())));
        QVERIFY(frame.save(QDir(testsupport::outputDirectory())
                               .filePath(QStringLiteral("chat-long-paragraph-%1.png").arg(QTest::currentDataTag()))));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(LongParagraphTest)
#include "tst_long_paragraph.moc"
