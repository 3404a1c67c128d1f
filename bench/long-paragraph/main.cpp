// One finished reply that is a single long paragraph (no blank line), shown
// in the chat list at 1280 x 800, scrolled to its end as a new reply is.
// Prints, one figure a line:
//   long_paragraph_<kind>_<size>k_first_paint_cold   the first time in a new
//       process (this program started again for it): the glyphs of the text
//       are new to the fonts, as when a session opens after a start
//   long_paragraph_<kind>_<size>k_first_paint   from the message entering the
//       list to the first frame of the list painted, the median of warm runs
//   long_paragraph_prose_linearity   100k first paint / 10k first paint
// Kinds: prose with Markdown marks, minified JSON, one word without a space,
// words just short of the length past which a paragraph wraps anywhere,
// CJK without spaces. Arguments: the number of runs (default 5), then the
// kinds to run (default all; one alone is for a profiler); or --cold <kind>
// <size> for one cold run.
#include "app/MessageListModel.h"
#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/ChatStores.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString paragraph(const QString &kind, int size)
{
    QRandomGenerator r(7);
    QString out;
    if (kind == QLatin1String("prose")) {
        static const QStringList words{"the", "build", "**runs**", "file", "`main.cpp`", "and", "then", "we",
                                       "check", "tests", "with", "a", "[link](https://qt.io)", "quick", "change",
                                       "to", "it"};
        while (out.size() < size) {
            out += QStringLiteral("This");
            for (int i = r.bounded(6, 16); i > 0; --i)
                out += u' ' + words[r.bounded(words.size())];
            out += QStringLiteral(". ");
        }
    } else if (kind == QLatin1String("json")) {
        out += u'[';
        while (out.size() < size)
            out += QStringLiteral("{\"id\":%1,\"name\":\"item-%2\",\"tags\":[\"a\",\"b\"],\"ok\":true},")
                       .arg(r.bounded(100000))
                       .arg(r.bounded(1000));
    } else if (kind == QLatin1String("word")) {
        while (out.size() < size)
            out += QChar(u'a' + r.bounded(26));
    } else if (kind == QLatin1String("runs")) {
        // Runs just short of the length past which a paragraph wraps anywhere.
        while (out.size() < size) {
            for (qsizetype i = 1; i < chat::MarkdownDocument::kLongestWordWrapped; ++i)
                out += QChar(u'a' + r.bounded(26));
            out += u' ';
        }
    } else { // cjk
        while (out.size() < size)
            out += QChar(0x4e00 + r.bounded(0x5000));
    }
    return out.left(size);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A new list each time: a row bound for the first time, as when a session opens.
double firstPaint(chat::MessageRowContext context, const QString &text, QImage &frame)
{
    app::MessageListModel model;
    chat::TranscriptView view(context);
    view.resize(1280, 800);
    view.setBottomInset(86);
    view.setModel(&model);
    view.show();

    model::ChatMessage question;
    question.id = QUuid::createUuid();
    question.role = model::MessageRole::User;
    question.content = QStringLiteral("Show me the log line.");
    model::ChatMessage reply;
    reply.id = QUuid::createUuid();
    reply.role = model::MessageRole::Assistant;
    reply.content = text;

    QElapsedTimer t;
    t.start();
    model.showConversation(QUuid::createUuid(), {question, reply});
    view.scrollToBottom(false);
    frame.fill(Qt::black);
    {
        QPainter p(&frame);
        view.viewport()->render(&p);
    }
    return double(t.nsecsElapsed()) / 1e6;
}

// The first paint in a process of its own (this program with --cold).
double coldFirstPaint(const QString &kind, int size)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--cold"), kind, QString::number(size)});
    if (!child.waitForFinished(120'000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool cold = argc == 4 && QByteArray(argv[1]) == "--cold";
    const int runs = !cold && argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    ChatStores stores;

    QImage frame(1280, 800, QImage::Format_ARGB32_Premultiplied);
    chat::MarkdownRenderCache cache;
    const chat::MessageRowContext context{stores.styles, stores.background, cache, nullptr};
    // Fonts and glyph caches are set up once per process, not per reply:
    // the window shows other text before a session opens.
    firstPaint(context, paragraph(QStringLiteral("prose"), 2000), frame);
    if (cold) {
        std::printf("%.1f\n", firstPaint(context, paragraph(QString::fromLatin1(argv[2]), atoi(argv[3])), frame));
        return 0;
    }

    double prose10 = 0;
    double prose100 = 0;
    const QStringList only = app.arguments().mid(2);
    for (const char *kind : {"prose", "json", "word", "runs", "cjk"}) {
        if (!only.isEmpty() && !only.contains(QLatin1String(kind)))
            continue;
        for (int size : {10'000, 100'000}) {
            std::printf("long_paragraph_%s_%dk_first_paint_cold %.1f ms\n", kind, size / 1000,
                        coldFirstPaint(QString::fromLatin1(kind), size));
            const QString text = paragraph(QString::fromLatin1(kind), size);
            std::vector<double> paints;
            for (int i = 0; i < runs; ++i)
                paints.push_back(firstPaint(context, text, frame));
            const double paint = median(paints);
            std::printf("long_paragraph_%s_%dk_first_paint %.1f ms\n", kind, size / 1000, paint);
            std::fflush(stdout);
            if (QLatin1String(kind) == QLatin1String("prose"))
                (size == 10'000 ? prose10 : prose100) = paint;
        }
    }
    std::printf("long_paragraph_prose_linearity %.1f x\n", prose10 > 0 ? prose100 / prose10 : 0.0);
    return 0;
}
