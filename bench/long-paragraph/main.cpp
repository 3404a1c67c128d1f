// One finished reply that is a single long paragraph (no blank line), shown
// in the chat list at 1280 x 800, scrolled to its end as a new reply is.
// Prints, one figure a line:
//   long_paragraph_<kind>_<size>k_first_paint_cold   the first time in a new
//       process (this program started again for it): the glyphs of the text
//       are new to the fonts, as when a session opens after a start
//   long_paragraph_<kind>_<size>k_complete_cold   in the same new process,
//       from the message entering the list until all of the paragraph is
//       laid out (its row at its real height) and painted again
//   long_paragraph_<kind>_<size>k_longest_step_cold   the longest the UI
//       thread was busy at once after the first paint until complete
//   long_paragraph_<kind>_<size>k_first_paint   from the message entering the
//       list to the first frame of the list painted, the median of warm runs
//   long_paragraph_prose_linearity   100k first paint / 10k first paint
// Kinds: prose with Markdown marks, minified JSON, one word without a space,
// words just short of the length past which a paragraph wraps anywhere,
// CJK without spaces over 20,480 characters, and over the 2,500 a reply in a
// CJK language might use. Arguments: the number of runs (default 5), then the
// kinds to run (default all; one alone is for a profiler); or --cold <kind>
// <size> for one cold run, which with MOONSHELF_BENCH_FRAMES set to a folder
// saves its first and complete frames there.
// The CJK figures need a CJK font, as every CJK reader has one (Debian:
// fonts-noto-cjk, not installed by scripts/install-deps.sh since nothing is
// built with it): without one the text falls back to boxes of one glyph,
// which costs nothing to load, and the program says so on stderr.
#include "app/MessageListModel.h"
#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/ChatStores.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QImage>
#include <QProcess>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
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
    } else if (kind == QLatin1String("cjk_common")) {
        // As a reply in a CJK language: a few thousand characters in use.
        while (out.size() < size)
            out += QChar(0x4e00 + r.bounded(2500));
    } else { // cjk: thousands of characters, nearly every one a new glyph
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

struct Paints {
    double first = 0;    // ms
    double complete = 0; // ms, when asked for
    double longest = 0;  // ms, the longest UI-thread step until complete
};

bool laidOut(const chat::TranscriptView &view, const QUuid &id)
{
    const chat::MessageRow *row = view.rowFor(id);
    if (!row)
        return false;
    const chat::MarkdownRenderer &r = row->textView()->renderer();
    for (int i = 0; i < r.count(); ++i)
        if (!r.piece(i).exact)
            return false;
    return view.itemRect(id).height() == row->heightForWidth(view.columnWidth()) &&
           row->textView()->height() == int(std::ceil(r.height()));
}

// A new list each time: a row bound for the first time, as when a session
// opens; with complete, the events run until all of it is laid out.
Paints paint(chat::MessageRowContext context, const QString &text, QImage &frame, bool complete = false)
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

    const auto render = [&] {
        frame.fill(Qt::black);
        QPainter p(&frame);
        view.viewport()->render(&p);
    };
    QElapsedTimer t;
    t.start();
    model.showConversation(QUuid::createUuid(), {question, reply});
    view.scrollToBottom(false);
    render();
    Paints out;
    out.first = double(t.nsecsElapsed()) / 1e6;
    if (!complete)
        return out;
    // To look at: the first frame and the complete one, as PNGs in this folder.
    const QString frames = qEnvironmentVariable("MOONSHELF_BENCH_FRAMES");
    if (!frames.isEmpty())
        frame.save(frames + QStringLiteral("/first.png"));
    QElapsedTimer step;
    while (!laidOut(view, reply.id) && t.elapsed() < 60'000) {
        step.start();
        // One pass over the events that are due; a worker's result comes as one.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        out.longest = qMax(out.longest, double(step.nsecsElapsed()) / 1e6);
        if (step.nsecsElapsed() < 100'000)
            QThread::usleep(200);
    }
    view.scrollToBottom(false);
    render();
    out.complete = double(t.nsecsElapsed()) / 1e6;
    if (!frames.isEmpty())
        frame.save(frames + QStringLiteral("/complete.png"));
    return out;
}

double firstPaint(chat::MessageRowContext context, const QString &text, QImage &frame)
{
    return paint(context, text, frame).first;
}

// The first paint and the rest in a process of its own (this program with --cold).
Paints coldPaints(const QString &kind, int size)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--cold"), kind, QString::number(size)});
    if (!child.waitForFinished(120'000) || child.exitCode() != 0)
        return {-1, -1, -1};
    const QList<QByteArray> figures = child.readAllStandardOutput().simplified().split(' ');
    if (figures.size() != 3)
        return {-1, -1, -1};
    return {figures[0].toDouble(), figures[1].toDouble(), figures[2].toDouble()};
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool cold = argc == 4 && QByteArray(argv[1]) == "--cold";
    const int runs = !cold && argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    ChatStores stores;
    if (!cold && QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        std::fprintf(stderr, "no CJK font: the CJK figures measure boxes (install fonts-noto-cjk)\n");

    QImage frame(1280, 800, QImage::Format_ARGB32_Premultiplied);
    chat::MarkdownRenderCache cache;
    const chat::MessageRowContext context{stores.styles, stores.background, cache, nullptr};
    // Fonts and glyph caches are set up once per process, not per reply:
    // the window shows other text before a session opens.
    firstPaint(context, paragraph(QStringLiteral("prose"), 2000), frame);
    if (cold) {
        const Paints p = paint(context, paragraph(QString::fromLatin1(argv[2]), atoi(argv[3])), frame, true);
        std::printf("%.1f %.1f %.1f\n", p.first, p.complete, p.longest);
        return 0;
    }

    double prose10 = 0;
    double prose100 = 0;
    const QStringList only = app.arguments().mid(2);
    for (const char *kind : {"prose", "json", "word", "runs", "cjk", "cjk_common"}) {
        if (!only.isEmpty() && !only.contains(QLatin1String(kind)))
            continue;
        for (int size : {10'000, 100'000}) {
            const Paints fresh = coldPaints(QString::fromLatin1(kind), size);
            std::printf("long_paragraph_%s_%dk_first_paint_cold %.1f ms\n", kind, size / 1000, fresh.first);
            std::printf("long_paragraph_%s_%dk_complete_cold %.1f ms\n", kind, size / 1000, fresh.complete);
            std::printf("long_paragraph_%s_%dk_longest_step_cold %.1f ms\n", kind, size / 1000, fresh.longest);
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
