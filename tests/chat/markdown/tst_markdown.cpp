#include "ChatTestStyle.h"
#include "support/TestMain.h"

#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownText.h"
#include "chat/markdown/ReaderText.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextTable>

#include <cmath>

using chat::MarkdownText::Block;
using Blocks = QList<Block>;
Q_DECLARE_METATYPE(Block)

namespace {

// Anchors of a rendered document, in order.
QStringList anchorsOf(const QTextDocument &doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                out.append(it.fragment().charFormat().anchorHref());
    return out;
}

// A reader's parts in short: kinds, a code card's label, a link's target,
// the parts inside in brackets.
QString outline(const QList<chat::ReaderPart> &parts)
{
    using Kind = chat::ReaderPart::Kind;
    QStringList out;
    for (const chat::ReaderPart &p : parts) {
        QString s;
        switch (p.kind) {
        case Kind::Paragraph: s = QStringLiteral("paragraph"); break;
        case Kind::Heading: s = QStringLiteral("heading%1").arg(p.level); break;
        case Kind::ListItem: s = QStringLiteral("item"); break;
        case Kind::Code: s = QStringLiteral("code:") + p.label; break;
        case Kind::Table: s = QStringLiteral("table"); break;
        case Kind::Cell: s = QStringLiteral("cell"); break;
        case Kind::Link: s = QStringLiteral("link:") + p.href; break;
        case Kind::Label: s = QStringLiteral("label:") + p.text; break;
        }
        if (!p.parts.isEmpty())
            s += u'[' + outline(p.parts) + u']';
        out.append(s);
    }
    return out.join(u' ');
}

bool hasImage(const QTextDocument &doc)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                return true;
    return false;
}

} // namespace

class TestMarkdown : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<Blocks>("expected");
        const auto prose = [](const char *t) { return Block::prose(QString::fromUtf8(t)); };
        const auto code = [](std::optional<QString> lang, const char *t) {
            return Block::code(std::move(lang), QString::fromUtf8(t));
        };
        QTest::newRow("empty") << "" << Blocks{prose("")};
        QTest::newRow("white space only") << " \n\t \n" << Blocks{prose("")};
        QTest::newRow("unclosed fence keeps its lines") << "```swift\nlet a = 1" << Blocks{code("swift", "let a = 1")};
        QTest::newRow("fence as last line") << "hello\n```" << Blocks{prose("hello"), code(std::nullopt, "")};
        QTest::newRow("fence right after fence") << "```\n```" << Blocks{code(std::nullopt, "")};
        QTest::newRow("fence with spaces names nothing") << "```   \nx\n```" << Blocks{code(std::nullopt, "x")};
        QTest::newRow("one trailing blank line dropped") << "```\na\n\n```" << Blocks{code(std::nullopt, "a")};
        QTest::newRow("two trailing blank lines") << "```\na\n\n\n```" << Blocks{code(std::nullopt, "a\n")};
        QTest::newRow("indented fences, code keeps indentation")
            << "  ```py\n\tif x:\n\t    y\n \t```\nafter" << Blocks{code("py", "\tif x:\n\t    y"), prose("after")};
        QTest::newRow("a fence naming a language closes") << "```\na\n```js\nb" << Blocks{code(std::nullopt, "a"), prose("b")};
        QTest::newRow("text after a closing fence ignored") << "```\na\n``` trailing\n" << Blocks{code(std::nullopt, "a")};
        QTest::newRow("prose around code") << "one\ntwo\n```c\nint  x;\n```\nthree" << Blocks{prose("one two"), code("c", "int  x;"), prose("three")};
        QTest::newRow("crlf lines are cut too") << "a\r\n```\r\nb\r\n```\r\n" << Blocks{prose("a"), code(std::nullopt, "b")};
    }
    void parse()
    {
        QFETCH(QString, source);
        QFETCH(Blocks, expected);
        QCOMPARE(chat::MarkdownText::parse(source), expected);
    }

    void normalizeProse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("lines of a paragraph joined") << "one\ntwo" << "one two";
        QTest::newRow("paragraphs kept") << "one\n\ntwo" << "one\n\ntwo";
        QTest::newRow("three line feeds") << "one\n\n\ntwo" << "one\n\ntwo";
        QTest::newRow("four line feeds keep an empty paragraph") << "one\n\n\n\ntwo" << "one\n\n\n\ntwo";
        QTest::newRow("tabs and runs of spaces") << "a \t  b\t\tc" << "a b c";
        QTest::newRow("carriage returns") << "a\r\nb\rc" << "a b c";
        QTest::newRow("sentence end gains a space") << "Done.Next" << "Done. Next";
        QTest::newRow("initials") << "U.S.A" << "U. S. A";
        QTest::newRow("decimal number") << "pi is 3.14" << "pi is 3.14";
        QTest::newRow("lower-case continuation") << "file.name" << "file.name";
        QTest::newRow("closing quote") << "He said \"Stop.\"Then" << "He said \"Stop.\" Then";
        QTest::newRow("question and exclamation") << "Why?Because!Yes" << "Why? Because! Yes";
        QTest::newRow("white space only") << " \n \t" << "";
        // Structure written on consecutive lines stays structure.
        QTest::newRow("list on consecutive lines was joined into one item")
            << "Steps:\n- one\n- two\n* three" << "Steps:\n- one\n- two\n* three";
        QTest::newRow("ordered list was joined") << "1. a\n2) b\n3. c\nmore" << "1. a\n2) b\n3. c more";
        QTest::newRow("heading swallowed the next line") << "# Title\ntext\nmore" << "# Title\ntext more";
        QTest::newRow("block quote lines were joined") << "> a\n> b" << "> a\n> b";
        QTest::newRow("table rows were joined") << "| a | b |\n|---|---|\n| 1 | 2 |" << "| a | b |\n|---|---|\n| 1 | 2 |";
        QTest::newRow("nested item lost its indentation") << "- a\n  - b" << "- a\n  - b";
        QTest::newRow("first line indentation still dropped") << "    - a" << "- a";
        QTest::newRow("emphasis is not a list item") << "*so*\nsure" << "*so* sure";
        // Code spans and link targets are written by the model as it meant them.
        QTest::newRow("code span got a space after its dot")
            << "Use `React.Component` here.Then" << "Use `React.Component` here. Then";
        QTest::newRow("code span spaces were squeezed") << "run `a  b` now" << "run `a  b` now";
        QTest::newRow("double backtick span") << "x ``a.B ` c`` y" << "x ``a.B ` c`` y";
        QTest::newRow("link target got a space") << "[docs](https://x.io/A.B) end.Next" << "[docs](https://x.io/A.B) end. Next";
        QTest::newRow("bare address got a space") << "see https://qt.io/Doc.Html" << "see https://qt.io/Doc.Html";
        QTest::newRow("autolink") << "<https://a.b/C.D>" << "<https://a.b/C.D>";
        QTest::newRow("unclosed backtick is prose") << "a `b.C" << "a `b. C";
    }
    void normalizeProse()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(chat::MarkdownText::normalizeProse(text), expected);
    }

    // One line of a hostile reply, long enough that a clean-up scanning ahead
    // from every opener (about n^1.5: over a minute here) outlasts the test's
    // time limit; a linear one takes well under a second.
    void hostileLine_data()
    {
        QTest::addColumn<QString>("unit");   // repeated; %1 is a count that rises
        QTest::addColumn<bool>("rising");
        QTest::newRow("backtick runs of rising length, none closed") << QStringLiteral("%1a") << true;
        QTest::newRow("link targets never closed") << QStringLiteral("](") << false;
        QTest::newRow("autolinks never closed") << QStringLiteral("<ab:c") << false;
    }
    void hostileLine()
    {
        QFETCH(QString, unit);
        QFETCH(bool, rising);
        constexpr qsizetype kLength = 16'000'000;
        QString body;
        body.reserve(kLength + 4096);
        // Rising runs start at two backticks: the single ones below close.
        for (int k = 2; body.size() < kLength; ++k)
            body += rising ? unit.arg(QString(k, u'`')) : unit;
        const QString line = QStringLiteral("Done.Next `x.Y`  ") + body + QStringLiteral("  `c  d` end.Go");
        const QString expected = QStringLiteral("Done. Next `x.Y` ") + body + QStringLiteral(" `c  d` end. Go");
        // Compared without printing sixteen million characters on failure.
        QVERIFY(chat::MarkdownText::normalizeProse(line) == expected);
    }

    void squeezeSpaces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("runs") << "a   b  c" << "a b c";
        QTest::newRow("tabs copied, ends trimmed") << " \ta\t\tb \t" << "a\t\tb";
        QTest::newRow("no-break space trimmed at the ends") << "\u00a0a  b\u00a0" << "a b";
    }
    void squeezeSpaces()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(chat::MarkdownText::squeezeSpaces(text), expected);
    }

    void openableLinks_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<bool>("openable");
        QTest::newRow("https") << "https://example.org/a" << true;
        QTest::newRow("http") << "http://example.org" << true;
        QTest::newRow("upper-case scheme") << "HTTPS://example.org" << true;
        QTest::newRow("mailto") << "mailto:a@b.c" << true;
        QTest::newRow("empty mailto") << "mailto:" << false;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("relative") << "docs/readme.md" << false;
        QTest::newRow("absolute path") << "/dev/zero" << false;
        QTest::newRow("data") << "data:text/html,hi" << false;
        QTest::newRow("no host") << "https:///x" << false;
        QTest::newRow("custom") << "vscode://open?x" << false;
    }
    void openableLinks()
    {
        QFETCH(QString, href);
        QFETCH(bool, openable);
        QCOMPARE(chat::MarkdownText::isOpenableLink(QUrl(href)), openable);
        // Rendered: only followable targets stay links.
        chat::MarkdownDocument doc(chatTestStyle());
        doc.setProse(QStringLiteral("see [there](%1) now").arg(href));
        QCOMPARE(doc.toPlainText(), QStringLiteral("see there now"));
        QCOMPARE(anchorsOf(doc), openable ? QStringList{href} : QStringList{});
    }

    void noResourceLoads_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("shown");
        QTest::newRow("device file") << "![x](/dev/zero)" << "x";
        QTest::newRow("data url") << "a ![pic](data:image/png;base64,iVBORw0KGgo=) b" << "a pic b";
        QTest::newRow("remote") << "![logo](https://example.org/logo.png)" << "logo";
        QTest::newRow("relative file") << "![](../secret.png)" << "";
        QTest::newRow("image in a link") << "[![alt](/dev/zero)](https://x.org)" << "alt";
        QTest::newRow("html image stays text") << "<img src=\"/dev/zero\">" << "<img src=\"/dev/zero\">";
    }
    void noResourceLoads()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, shown);
        chat::MarkdownDocument doc(chatTestStyle());
        doc.setProse(markdown);
        doc.setTextWidth(400);
        QVERIFY(doc.documentLayout()->documentSize().height() > 0);
        QCOMPARE(doc.toPlainText(), shown);
        QVERIFY(!hasImage(doc));
        QCOMPARE(doc.resourceRequests(), 0);
    }

    void proseStructure()
    {
        // A list written on consecutive lines is a list.
        chat::MarkdownDocument doc(chatTestStyle());
        doc.setProse(chat::MarkdownText::normalizeProse(u"Steps:\n- one\n- two"));
        QCOMPARE(doc.blockCount(), 3);
        QVERIFY(doc.findBlockByNumber(1).textList());
        QVERIFY(doc.findBlockByNumber(2).textList());
        QCOMPARE(doc.findBlockByNumber(2).text(), QStringLiteral("two"));
    }

    // Tables are drawn with one rule in the style's rule colour and room in
    // each cell; a quote with a bar beside it per level, not a wide indent.
    // What a screen reader is given for a message: the text as read, and
    // its parts. A streamed text, read piece by piece as it grows, reads as
    // the whole text read at once at every step.
    void readerText_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parts");
        QTest::newRow("heading, then marks read as words") << "# Title\n\nSome **bold** `code` words." << false
                                                           << "Title\nSome bold code words." << "heading1 paragraph";
        QTest::newRow("numbered items say their number, across blank lines")
            << "1. one\n\n2. two\n\n3. three" << false << "1. one\n2. two\n3. three" << "item item item";
        QTest::newRow("bullets are items") << "- a\n- b" << false << "a\nb" << "item item";
        QTest::newRow("a link is a link inside its passage")
            << "See [the docs](https://example.com/d) now." << false << "See the docs now."
            << "paragraph[link:https://example.com/d]";
        QTest::newRow("a link that cannot be followed is only words") << "[run](javascript:alert(1)) it" << false
                                                                         << "run it" << "paragraph";
        QTest::newRow("an image reads as its alternative text") << "![a cat](https://example.com/cat.png)" << false
                                                                << "a cat" << "paragraph";
        QTest::newRow("a table by cells: tabs between, rows by lines")
            << "| a | b |\n|---|---|\n| 1 | [x](https://example.com) |" << false << "a\tb\n1\tx"
            << "table[cell cell cell cell[link:https://example.com]]";
        QTest::newRow("code as written, named as its card") << "Run:\n\n```python\nprint( 1 )\n\tx\n```" << false
                                                            << "Run:\nprint( 1 )\n\tx" << "paragraph code:python";
        QTest::newRow("code without a language") << "```\nls -la\n```" << false << "ls -la" << "code:code";
        QTest::newRow("a quote reads as its words") << "> quoted words\n\nafter" << false << "quoted words\nafter"
                                                    << "paragraph paragraph";
        QTest::newRow("a person's message reads as typed") << "# not a heading\n- nor a list" << true
                                                           << "# not a heading\n- nor a list" << "paragraph";
        QTest::newRow("nothing") << "" << false << "" << "";
    }
    void readerText()
    {
        QFETCH(QString, source);
        QFETCH(bool, plain);
        QFETCH(QString, text);
        QFETCH(QString, parts);
        using Mode = chat::MarkdownRenderer::Mode;
        const QList<chat::ReaderPart> read = chat::ReaderText::parts(source, plain ? Mode::Plain : Mode::Markdown);
        QCOMPARE(chat::ReaderText::join(read), text);
        QCOMPARE(outline(read), parts);
        if (plain)
            return;
        chat::StreamingReaderText streamed;
        for (qsizetype n = 1; n <= source.size(); n += 3) {
            const QString prefix = source.left(n);
            QCOMPARE(streamed.update(prefix),
                     chat::ReaderText::join(chat::ReaderText::parts(prefix, Mode::Markdown)));
        }
        QCOMPARE(streamed.update(source), text);
        QCOMPARE(streamed.parts(), read);
    }

    void tablesAndQuotes_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<int>("bars");
        QTest::newRow("table") << "| a | b |\n|---|---|\n| 1 | 2 |" << 0;
        QTest::newRow("quote") << "> quoted words" << 1;
        QTest::newRow("nested quote") << "> > deeper words" << 2;
    }
    void tablesAndQuotes()
    {
        QFETCH(QString, markdown);
        QFETCH(int, bars);
        chat::MarkdownStyle style = chatTestStyle();
        style.rule = QColor(0x30, 0xd0, 0x60);
        chat::MarkdownDocument doc(style);
        doc.setProse(markdown);
        doc.setTextWidth(400);
        QImage image(400, int(std::ceil(doc.size().height())), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        {
            QPainter p(&image);
            doc.drawQuoteBars(&p, QRectF(image.rect()));
            QAbstractTextDocumentLayout::PaintContext context;
            context.palette.setColor(QPalette::Text, style.ink);
            doc.documentLayout()->draw(&p, context);
        }
        const auto isRule = [&](int x, int y) { return image.pixelColor(x, y) == style.rule; };
        const int middle = image.height() / 2;
        if (bars == 0) {
            auto *table = qobject_cast<QTextTable *>(doc.rootFrame()->childFrames().value(0));
            QVERIFY(table);
            QVERIFY(table->format().borderCollapse());
            QCOMPARE(table->format().cellPadding(), chat::MarkdownDocument::kCellPadding);
            // One rule down the table's left edge, not two.
            int ruled = 0;
            for (int x = 0; x < 8; ++x)
                ruled += isRule(x, middle);
            QCOMPARE(ruled, 1);
            return;
        }
        for (int level = 0; level < bars; ++level) {
            const int x = int(level * chat::MarkdownDocument::kQuoteIndent) + 1;
            QVERIFY2(isRule(x, middle), qPrintable(QStringLiteral("no bar for level %1").arg(level + 1)));
        }
        // The text starts right after the bars, not a wide indent away.
        const QRectF text = doc.documentLayout()->blockBoundingRect(doc.lastBlock());
        QCOMPARE(doc.lastBlock().blockFormat().leftMargin(), bars * chat::MarkdownDocument::kQuoteIndent);
        QVERIFY(text.width() > 0);
    }
};

MOONSHELF_TEST_GUI_MAIN(TestMarkdown)
#include "tst_markdown.moc"
