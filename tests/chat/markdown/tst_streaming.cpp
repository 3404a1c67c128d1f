#include "ChatTestStyle.h"
#include "support/TestMain.h"

#include "chat/markdown/MarkdownRenderer.h"

#include <QGuiApplication>
#include <QRandomGenerator>

using chat::MarkdownRenderer;
using chat::MarkdownText::Block;

namespace {

const QStringList &replies()
{
    static const QStringList list{
        QStringLiteral("Here is the plan.\nFirst we read.Then we write.\n\n1. Open the file\n2. Edit it\n\n"
                       "3. Save\n\n- a\n- b\n  - nested\n\n# Heading\ntext under it\n\n> quoted\n> more\n"),
        QStringLiteral("Intro line\n```python\ndef f(x):\n\treturn x  * 2\n\n```\nAfter the code `React.Component`.\n"
                       "```\nunclosed\n"),
        QStringLiteral("| a | b |\n|---|---|\n| 1 | 2 |\n\nSee [docs](https://qt.io/A.B) and ![img](/dev/zero).\r\n"
                       "\r\nCRLF paragraph\r\nstill it\r\n```js\r\nlet a;\r\n```\r\nend"),
        QStringLiteral("\n\n\n  leading blank lines\n\n\n\nfour feeds\n```\n```\n```sh\n  ls -la\n``` trailing words\n"
                       "\n1. one\n\n\n\n2. two\n10. ten\n12345678901. not a list\n```"),
        QStringLiteral("A single long paragraph with **bold that spans\nlines** and *more*. And an unfinished `span"),
    };
    return list;
}

QList<Block> oneShot(const QString &text)
{
    MarkdownRenderer r(chatTestStyle(), 500);
    r.append(text);
    r.finish();
    return r.blocks();
}

// What the renderer shows for a text, as the plain blocks of parse(): its
// prose pieces of one prose block joined, empty paragraphs left out.
QList<Block> viaParse(const QString &text)
{
    QList<Block> out;
    for (Block b : chat::MarkdownText::parse(text)) {
        if (b.kind == Block::Kind::Prose) {
            QStringList paragraphs = b.text.split(QStringLiteral("\n\n"));
            paragraphs.removeAll(QString());
            if (paragraphs.isEmpty())
                continue;
            b.text = paragraphs.join(QStringLiteral("\n\n"));
        }
        out.append(b);
    }
    return out;
}

QList<Block> joinedProse(const QList<Block> &pieces)
{
    QList<Block> out;
    bool lastWasProse = false;
    for (const Block &b : pieces) {
        if (b.kind == Block::Kind::Prose && lastWasProse)
            out.last().text += QStringLiteral("\n\n") + b.text;
        else
            out.append(b);
        lastWasProse = b.kind == Block::Kind::Prose;
    }
    return out;
}

QStringList htmlOf(MarkdownRenderer &r)
{
    QStringList out;
    for (int i = 0; i < r.count(); ++i) {
        r.layOut(i);
        const auto &p = r.piece(i);
        out.append(p.doc ? p.doc->toHtml() : p.code.text());
    }
    return out;
}

} // namespace

class TestStreaming : public QObject {
    Q_OBJECT
private slots:
    void agreesWithParse_data()
    {
        QTest::addColumn<QString>("text");
        for (int i = 0; i < replies().size(); ++i)
            QTest::addRow("reply %d", i) << replies()[i];
    }
    void agreesWithParse()
    {
        QFETCH(QString, text);
        QCOMPARE(joinedProse(oneShot(text)), viaParse(text));
    }

    // Random fragment splits: after every frame the blocks shown are those
    // of the text so far rendered at once, and the end result is the same
    // document as the whole reply rendered at once.
    void randomSplits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seed");
        for (int i = 0; i < replies().size(); ++i)
            for (int seed = 1; seed <= 6; ++seed)
                QTest::addRow("reply %d seed %d", i, seed) << replies()[i] << seed;
    }
    void randomSplits()
    {
        QFETCH(QString, text);
        QFETCH(int, seed);
        QRandomGenerator random(seed);
        MarkdownRenderer streamed(chatTestStyle(), 500);
        qsizetype at = 0;
        while (at < text.size()) {
            const qsizetype n = seed % 2 ? random.bounded(4, 13) : random.bounded(1, 4);
            streamed.append(QStringView(text).sliced(at, qMin(n, text.size() - at)));
            at += n;
            if (random.bounded(3) == 0) {
                streamed.refresh(true);
                QCOMPARE(streamed.blocks(), oneShot(text.left(qMin(at, text.size()))));
            }
        }
        streamed.refresh(true);
        QCOMPARE(streamed.blocks(), oneShot(text));
        streamed.finish();
        MarkdownRenderer whole(chatTestStyle(), 500);
        whole.append(text);
        whole.finish();
        QCOMPARE(streamed.blocks(), whole.blocks());
        QCOMPARE(htmlOf(streamed), htmlOf(whole));
        QCOMPARE(streamed.height(), whole.height());
    }

    // A finished paragraph is built once: later fragments leave its
    // document alone.
    void finishedPiecesKept()
    {
        MarkdownRenderer r(chatTestStyle(), 500);
        r.append(u"First paragraph.\n\nSecond one.\n\nThird");
        r.refresh(true);
        QCOMPARE(r.count(), 3);
        r.layOut(0);
        const QTextDocument *first = r.piece(0).doc.get();
        const QTextDocument *second = r.piece(1).doc.get();
        QVERIFY(first && second);
        for (int i = 0; i < 50; ++i) {
            r.append(u" more words");
            r.refresh(true);
        }
        r.finish();
        QCOMPARE(r.piece(0).doc.get(), first);
        QCOMPARE(r.piece(1).doc.get(), second);
    }

    void setTextStartsOverWhenNotAContinuation()
    {
        MarkdownRenderer r(chatTestStyle(), 500);
        r.setText(QStringLiteral("Hello world"));
        r.setText(QStringLiteral("Hello world, again\n\nNext"));
        r.refresh(true);
        QCOMPARE(r.blocks(), oneShot(QStringLiteral("Hello world, again\n\nNext")));
        r.setText(QStringLiteral("Other"));
        r.refresh(true);
        QCOMPARE(r.blocks(), oneShot(QStringLiteral("Other")));
    }
};

MOONSHELF_TEST_GUI_MAIN(TestStreaming)
#include "tst_streaming.moc"
