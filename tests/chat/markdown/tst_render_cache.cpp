// The rendered-message cache: its byte account is what its renderers hold,
// it stays within its bound as large replies come, and it never lets go of
// what a row shows.
#include "ChatTestStyle.h"
#include "support/TestMain.h"

#include "app/MessageListModel.h"
#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/ChatStores.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define MOONSHELF_ASAN
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOONSHELF_ASAN
#endif
#endif
#ifdef MOONSHELF_ASAN
// The sanitizer runtime's count of bytes handed out and not yet freed (its
// header does not come with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using chat::MarkdownRenderCache;
using chat::MarkdownRenderer;

namespace {

// Bytes the process holds on its heap now.
qsizetype heapInUse()
{
#ifdef MOONSHELF_ASAN
    // The sanitizer's allocator serves every block: glibc's counts stay still.
    return qsizetype(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qsizetype(info.uordblks + info.hblkhd);
#endif
}

// About `size` characters of one kind of reply.
QString reply(const QString &kind, int size, int seed = 0)
{
    QString out;
    for (int i = 0; out.size() < size; ++i) {
        const QString n = QString::number(seed * 100000 + i);
        if (kind == u"paragraphs")
            out += QStringLiteral("The build **compiles** `main.cpp`, links [the app](https://example.com/%1) and runs "
                                  "the tests in order; each gets a home folder.%2")
                       .arg(n, i % 4 == 3 ? QStringLiteral("\n\n") : QStringLiteral(" "));
        else if (kind == u"list")
            out += QStringLiteral("- item %1 with a few words and `code` in it\n").arg(n);
        else if (kind == u"headings, quotes and tables")
            out += QStringLiteral("## Step %1\n\n> a quoted *line*\n\n| a | b |\n|---|---|\n| %1 | 2 |\n\n").arg(n);
        else if (kind == u"code")
            out += (i == 0 ? QStringLiteral("```cpp\n") : QString()) +
                   QStringLiteral("    total += values[%1] * weights[%1];\n").arg(n);
        else
            out += QStringLiteral("word%1 ").arg(n);
    }
    return out;
}

// Lays all of it out and draws it, as a row shown whole does.
void layOutAndDraw(MarkdownRenderer &r)
{
    r.layOutAll();
    QImage image(int(r.width()), 400, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    for (int i = 0; i < r.count(); ++i) {
        const MarkdownRenderer::Piece &piece = r.piece(i);
        if (piece.paragraph)
            piece.paragraph->draw(&p, QRectF(0, 0, r.width(), piece.height), {0, 0}, Qt::white, Qt::blue);
        else if (piece.doc)
            piece.doc->documentLayout()->draw(&p, {});
    }
}

} // namespace

class TestRenderCache : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The account must not fall below what a cached renderer really holds
    // (else the bound is a lie), nor far above it (else the cache keeps
    // little).
    void accountIsWhatRenderersHold_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("mode");
        for (const char *kind : {"paragraphs", "list", "headings, quotes and tables", "code", "one long paragraph"})
            for (int size : {2000, 20000})
                QTest::addRow("%s, %d", kind, size) << QString::fromLatin1(kind) << size
                                                    << int(MarkdownRenderer::Mode::Markdown);
        QTest::newRow("plain bubble, 20000") << QStringLiteral("paragraphs") << 20000
                                             << int(MarkdownRenderer::Mode::Plain);
    }

    void accountIsWhatRenderersHold()
    {
        QFETCH(QString, kind);
        QFETCH(int, size);
        QFETCH(int, mode);
        const chat::MarkdownStyle style = chatTestStyle();
        const auto m = MarkdownRenderer::Mode(mode);
        {
            // Fonts and glyphs first met are the process's, not the renderer's.
            MarkdownRenderCache warm;
            layOutAndDraw(*warm.get(QUuid::createUuid(), reply(kind, size, 1), 640, style, m));
        }
        const QString text = reply(kind, size);
        auto cache = std::make_unique<MarkdownRenderCache>();
        {
            std::shared_ptr<MarkdownRenderer> r = cache->get(QUuid::createUuid(), text, 640, style, m);
            layOutAndDraw(*r);
            QCOMPARE(cache->bytes(), MarkdownRenderCache::bytesHeld(*r));
        }
        const qsizetype account = cache->bytes();
        const qsizetype before = heapInUse();
        cache.reset();
        const qsizetype held = before - heapInUse();
        QVERIFY2(account >= held * 95 / 100, qPrintable(QStringLiteral("account %1, held %2").arg(account).arg(held)));
        QVERIFY2(account <= held * 16 / 10, qPrintable(QStringLiteral("account %1, held %2").arg(account).arg(held)));
    }

    // The reply streaming now gives its layout to the row that asks for the
    // same text at the same width, laid out alike (the reply, finished): no
    // line of it is laid out again. A row asking for anything else gets one
    // built anew, and the live view goes on with a renderer of its own when
    // more text comes, leaving the row's as it was.
    void liveLayoutGoesToItsRow_data()
    {
        QTest::addColumn<QString>("suffix"); // added to the live text in what the row asks
        QTest::addColumn<int>("widthChange");
        QTest::addColumn<bool>("otherInk");
        QTest::addColumn<bool>("otherFont");
        QTest::addColumn<bool>("shared");
        QTest::newRow("the same text") << QString() << 0 << false << false << true;
        QTest::newRow("the same text in another ink") << QString() << 0 << true << false << true;
        QTest::newRow("a longer text") << QStringLiteral(" more") << 0 << false << false << false;
        QTest::newRow("another width") << QString() << 10 << false << false << false;
        QTest::newRow("another font") << QString() << 0 << false << true << false;
    }
    void liveLayoutGoesToItsRow()
    {
        QFETCH(QString, suffix);
        QFETCH(int, widthChange);
        QFETCH(bool, otherInk);
        QFETCH(bool, otherFont);
        QFETCH(bool, shared);
        const chat::MarkdownStyle style = chatTestStyle();
        MarkdownRenderCache cache;
        chat::MarkdownTextView live;
        live.setStyle(style);
        live.setCache(&cache);
        live.resize(500, 100);
        const QString text = reply(QStringLiteral("paragraphs"), 5000);
        live.setStreamingText(text);
        const MarkdownRenderer *streaming = &live.renderer();

        chat::MarkdownStyle rowStyle = style;
        if (otherInk) {
            rowStyle.ink = Qt::red;
            rowStyle.cacheTag += QStringLiteral("|red");
        }
        if (otherFont) {
            rowStyle.body.setPixelSize(17);
            rowStyle.cacheTag += QStringLiteral("|17");
        }
        const QString asked = text + suffix;
        const std::shared_ptr<MarkdownRenderer> row =
            cache.get(QUuid::createUuid(), asked, 500 + widthChange, rowStyle, MarkdownRenderer::Mode::Markdown);
        QCOMPARE(row.get() == streaming, shared);
        QCOMPARE(cache.builds(), shared ? 0 : 1);
        QVERIFY(row->isFinished());
        QCOMPARE(row->text(), asked);
        QCOMPARE(row->style().ink, rowStyle.ink);

        live.setStreamingText(text);
        live.appendStreamingText(u" and on");
        QCOMPARE(live.renderer().text(), text + QStringLiteral(" and on"));
        QCOMPARE(row->text(), asked);
        QVERIFY(row->isFinished());
    }

    // Least recently used first, but never what a row still holds: that
    // would free nothing and build it again at the next layout.
    void evictsTheLeastRecentNeverTheShown()
    {
        const chat::MarkdownStyle style = chatTestStyle();
        const auto m = MarkdownRenderer::Mode::Markdown;
        const QString text = reply(QStringLiteral("paragraphs"), 2000);
        const qsizetype one = [&] {
            MarkdownRenderCache probe;
            return MarkdownRenderCache::bytesHeld(*probe.get(QUuid::createUuid(), text, 640, style, m));
        }();
        MarkdownRenderCache cache(3 * one);
        const QUuid shown = QUuid::createUuid();
        const std::shared_ptr<MarkdownRenderer> row = cache.get(shown, text, 640, style, m);
        QList<QUuid> others;
        for (int i = 0; i < 6; ++i) {
            others.append(QUuid::createUuid());
            cache.get(others.last(), text, 640, style, m);
            QVERIFY(cache.bytes() <= cache.maxBytes());
        }
        QCOMPARE(cache.count(), 3);
        const int builds = cache.builds();
        // The shown one, the least recently used, is still there ...
        QCOMPARE(cache.get(shown, text, 640, style, m), row);
        // ... with the two newest; the older ones went.
        QVERIFY(cache.get(others[5], text, 640, style, m));
        QVERIFY(cache.get(others[4], text, 640, style, m));
        QCOMPARE(cache.builds(), builds);
        cache.get(others[0], text, 640, style, m);
        QCOMPARE(cache.builds(), builds + 1);

        // Rows holding more than the bound: kept, and counted.
        MarkdownRenderCache tiny(1);
        const QUuid idA = QUuid::createUuid(), idB = QUuid::createUuid();
        const auto a = tiny.get(idA, text, 640, style, m);
        const auto b = tiny.get(idB, text, 640, style, m);
        tiny.get(QUuid::createUuid(), text, 640, style, m);
        tiny.get(QUuid::createUuid(), text, 640, style, m);
        const int tinyBuilds = tiny.builds();
        QCOMPARE(tiny.get(idA, text, 640, style, m), a);
        QCOMPARE(tiny.get(idB, text, 640, style, m), b);
        QCOMPARE(tiny.builds(), tinyBuilds);
        QVERIFY(tiny.bytes() >= 2 * one);
    }

    // A row put together is laid out at passing widths, and a resized
    // window leaves its old width behind: only a width a row still holds
    // stays beside the newest.
    void otherWidthsNoRowHoldsAreDropped()
    {
        const chat::MarkdownStyle style = chatTestStyle();
        const auto m = MarkdownRenderer::Mode::Markdown;
        const QString text = reply(QStringLiteral("paragraphs"), 2000);
        MarkdownRenderCache cache;
        const QUuid id = QUuid::createUuid(), other = QUuid::createUuid();
        cache.get(other, text, 32, style, m);
        const auto held = cache.get(id, text, 500, style, m);
        for (int width : {32, 40, 640})
            cache.get(id, text, width, style, m);
        QCOMPARE(cache.count(), 3); // the other message, the held 500, the newest 640
        const int builds = cache.builds();
        QCOMPARE(cache.get(id, text, 500, style, m), held);
        cache.get(id, text, 640, style, m);
        cache.get(other, text, 32, style, m);
        QCOMPARE(cache.builds(), builds);
        // Another skin or mode is not another width.
        cache.get(id, text, 640, style, MarkdownRenderer::Mode::Plain);
        QCOMPARE(cache.count(), 4);
    }

    // A session of large replies scrolled through in the real list: the
    // account stays within the bound and the heap stops growing once the
    // cache is full.
    void manyLargeRepliesStayWithinTheBound()
    {
        ChatStores stores;
        MarkdownRenderCache cache(8 * 1024 * 1024);

        QList<model::ChatMessage> messages;
        for (int i = 0; i < 40; ++i) {
            model::ChatMessage m = model::ChatMessage::make(
                i % 2 ? model::MessageRole::Assistant : model::MessageRole::User,
                i % 2 ? reply(QStringLiteral("paragraphs"), 20000, i) : QStringLiteral("And then?"));
            messages.append(m);
        }
        app::MessageListModel model;
        model.showConversation(QUuid::createUuid(), messages);
        chat::TranscriptView view(chat::MessageRowContext{stores.styles, stores.background, cache, nullptr});
        view.resize(900, 700);
        view.setModel(&model);
        view.show();
        view.scrollToBottom(false);

        QScrollBar *bar = view.verticalScrollBar();
        const int steps = bar->maximum() / 600;
        QVERIFY(steps > 100);
        qsizetype settled = -1;
        for (int step = 0; step <= steps; ++step) {
            bar->setValue(bar->maximum() - step * 600);
            view.viewport()->grab();
            QVERIFY2(cache.bytes() <= cache.maxBytes(), qPrintable(QString::number(cache.bytes())));
            // By a third of the way the cache is full and its rows laid out.
            if (step == steps / 3) {
                QVERIFY(cache.bytes() > cache.maxBytes() - 2 * 1024 * 1024);
                settled = heapInUse();
            }
        }
        QVERIFY(cache.builds() >= 20);
        // The other two thirds of the replies cost the heap next to nothing
        // (without a bound, 1.4 MB each).
        const qsizetype growth = heapInUse() - settled;
        QVERIFY2(growth < 3 * 1024 * 1024, qPrintable(QString::number(growth)));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestRenderCache)
#include "tst_render_cache.moc"
