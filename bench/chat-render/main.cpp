// Streams replies of 1k, 10k and 100k characters in 4-12 character
// fragments through the live Markdown view and prints, one figure a line:
// the cost of one append, the 95th percentile of a frame (tail rebuilt,
// height found, the visible 720 x 900 painted) in wall and CPU time, the total CPU of streaming
// against rendering the whole reply at once, what a screen reader's text
// of the reply costs a frame while one listens (nothing while none does),
// and the first paint of a 1 MB message.
#include "chat/markdown/MarkdownRenderer.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/markdown/ReaderText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

qint64 cpuNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

chat::MarkdownStyle style()
{
    chat::MarkdownStyle s;
    s.body.setPixelSize(15);
    s.mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    s.mono.setPixelSize(12);
    s.label.setPixelSize(10);
    s.ink = Qt::white;
    s.link = QColor(120, 170, 255);
    s.codeText = Qt::white;
    s.codeLabel = Qt::gray;
    s.codeHeaderFill = QColor(40, 40, 50);
    s.codeFill = QColor(30, 30, 38);
    s.codeStroke = QColor(255, 255, 255, 26);
    s.cacheTag = QStringLiteral("bench");
    return s;
}

QString sentence(QRandomGenerator &r)
{
    static const QStringList words{"the", "build", "**runs**", "file", "`main.cpp`", "and", "then", "we", "check",
                                   "tests", "with", "a", "[link](https://qt.io)", "quick", "change", "to", "it"};
    QString s = QStringLiteral("This");
    const int n = r.bounded(6, 16);
    for (int i = 0; i < n; ++i)
        s += u' ' + words[r.bounded(words.size())];
    return s + QStringLiteral(". ");
}

QString reply(const QString &kind, int size)
{
    QRandomGenerator r(7);
    QString out;
    while (out.size() < size) {
        if (kind == QLatin1String("prose")) {
            out += sentence(r) + sentence(r) + sentence(r) + QStringLiteral("\n\n");
        } else if (kind == QLatin1String("paragraph")) {
            out += sentence(r);
        } else if (kind == QLatin1String("code")) {
            if (out.isEmpty())
                out += QStringLiteral("```cpp\n");
            out += QStringLiteral("    int value_%1 = compute(%2, \"text\");\n").arg(out.size()).arg(r.bounded(100));
        } else { // mixed
            switch (r.bounded(4)) {
            case 0:
                out += sentence(r) + sentence(r) + QStringLiteral("\n\n");
                break;
            case 1:
                out += QStringLiteral("- item ") + sentence(r) + QStringLiteral("\n- another\n\n");
                break;
            case 2:
                out += QStringLiteral("```sh\nls -la\nmake -j4 all\n```\n");
                break;
            default:
                out += QStringLiteral("## Heading\n") + sentence(r) + QStringLiteral("\n\n");
            }
        }
    }
    return out.left(size);
}

void paintBottom(chat::MarkdownTextView &view, QImage &canvas)
{
    const int h = view.heightForWidth(720);
    view.resize(720, h);
    canvas.fill(Qt::black);
    const QRect visible(0, qMax(0, h - 900), 720, 900);
    view.render(&canvas, QPoint(), QRegion(visible));
}

void stream(const QString &kind, int size)
{
    const QString text = reply(kind, size);
    QRandomGenerator r(11);
    chat::MarkdownTextView view;
    view.setStyle(style());
    view.resize(720, 100);
    QImage canvas(720, 900, QImage::Format_ARGB32_Premultiplied);
    // A frame's CPU time too: the wall time swings with what else the machine runs.
    QList<qint64> appends, frames, frameCpus, readerFrames;
    chat::StreamingReaderText reader;
    const qint64 cpu0 = cpuNanoseconds();
    QElapsedTimer clock;
    qsizetype at = 0;
    int sinceFrame = 0;
    while (at < text.size()) {
        const qsizetype n = qMin<qsizetype>(r.bounded(4, 13), text.size() - at);
        at += n;
        clock.start();
        view.appendStreamingText(QStringView(text).sliced(at - n, n));
        appends.append(clock.nsecsElapsed());
        // About 60 characters reach a frame (a fast stream at 60 frames a second).
        if ((sinceFrame += int(n)) >= 60 || at == text.size()) {
            sinceFrame = 0;
            clock.start();
            const qint64 frameCpu = cpuNanoseconds();
            paintBottom(view, canvas);
            frames.append(clock.nsecsElapsed());
            frameCpus.append(cpuNanoseconds() - frameCpu);
            // Apart from the frame: the live reply does this only while a
            // reader is active, and at most every 150 ms (or four times its cost).
            clock.start();
            reader.update(view.text());
            readerFrames.append(clock.nsecsElapsed());
        }
    }
    const qint64 streamingCpu = cpuNanoseconds() - cpu0;

    const qint64 cpu1 = cpuNanoseconds();
    chat::MarkdownRenderer once(style(), 720);
    once.append(text);
    once.finish();
    once.layOutSome(std::numeric_limits<qint64>::max());
    const qint64 oneShotCpu = cpuNanoseconds() - cpu1;

    std::sort(appends.begin(), appends.end());
    std::sort(frames.begin(), frames.end());
    std::sort(frameCpus.begin(), frameCpus.end());
    const double readerTotal = std::accumulate(readerFrames.begin(), readerFrames.end(), 0.0);
    std::sort(readerFrames.begin(), readerFrames.end());
    const double appendMean = std::accumulate(appends.begin(), appends.end(), 0.0) / appends.size();
    const auto p95 = [](const QList<qint64> &v) { return v[qMin(v.size() - 1, qsizetype(v.size() * 0.95))]; };
    const QString name = QStringLiteral("chat_render_%1_%2k").arg(kind).arg(size / 1000);
    std::printf("%s_append_mean %.2f us\n", qPrintable(name), appendMean / 1000.0);
    std::printf("%s_append_p95 %.2f us\n", qPrintable(name), p95(appends) / 1000.0);
    std::printf("%s_frame_p95 %.3f ms\n", qPrintable(name), p95(frames) / 1e6);
    std::printf("%s_frame_cpu_p95 %.3f ms\n", qPrintable(name), p95(frameCpus) / 1e6);
    std::printf("%s_stream_cpu %.1f ms\n", qPrintable(name), streamingCpu / 1e6);
    std::printf("%s_oneshot_cpu %.1f ms\n", qPrintable(name), oneShotCpu / 1e6);
    std::printf("%s_reader_update_p95 %.3f ms\n", qPrintable(name), p95(readerFrames) / 1e6);
    std::printf("%s_reader_total %.1f ms\n", qPrintable(name), readerTotal / 1e6);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The first text drawn in a process sets up fonts and glyph caches once
    // (part of the app's start, not of a reply): timed apart, so the 1k
    // figures show what every reply costs.
    {
        QElapsedTimer setup;
        setup.start();
        chat::MarkdownTextView view;
        view.setStyle(style());
        view.setFinishedText(QUuid::createUuid(), reply(QStringLiteral("mixed"), 2000));
        QImage canvas(720, 900, QImage::Format_ARGB32_Premultiplied);
        paintBottom(view, canvas);
        std::printf("chat_render_first_text_setup %.1f ms\n", setup.nsecsElapsed() / 1e6);
    }
    // Kinds named on the command line run alone (for a profiler); none: all.
    const QStringList only = app.arguments().mid(1);
    for (const char *kind : {"prose", "mixed", "paragraph", "code"})
        for (int size : {1000, 10000, 100000})
            if (only.isEmpty() || only.contains(QLatin1String(kind)))
                stream(QString::fromLatin1(kind), size);
    if (!only.isEmpty())
        return 0;

    // A 1 MB message: from its text to the first screen painted.
    const QString big = reply(QStringLiteral("mixed"), 1'000'000);
    QElapsedTimer clock;
    clock.start();
    chat::MarkdownTextView view;
    view.setStyle(style());
    view.setFinishedText(QUuid::createUuid(), big);
    const int h = view.heightForWidth(720);
    view.resize(720, h);
    QImage canvas(720, 900, QImage::Format_ARGB32_Premultiplied);
    view.render(&canvas, QPoint(), QRegion(0, 0, 720, 900));
    std::printf("chat_render_1mb_first_paint %.1f ms\n", clock.nsecsElapsed() / 1e6);
    return 0;
}
