// Figures of the offline recogniser on the recorded "go forward ten meters":
// model load, real-time factor and worst chunk on the decoder itself, the
// main thread's share per chunk, the delay from the first sound of speech to
// the first partial result with audio arriving in real time, and how long
// shutting the recogniser down waits with seconds of audio still queued.
#include "dictation/PcmConverter.h"
#include "dictation/SphinxDecoder.h"
#include "dictation/SphinxRecognizer.h"
#include "dictation/SphinxStream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

using namespace dictation;

namespace {

constexpr int kChunkFrames = 1024; // what a device hands over at a time
constexpr int kRate = 16000;

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

double ms(const QElapsedTimer &t) { return t.nsecsElapsed() / 1e6; }

// Where speech starts: the first 10 ms well above the opening silence.
qsizetype speechOnset(const QByteArray &pcm)
{
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype n = pcm.size() / 2;
    std::vector<double> levels;
    for (qsizetype at = 0; at + 160 <= n; at += 160) {
        double sum = 0;
        for (int i = 0; i < 160; ++i)
            sum += double(s[at + i]) * s[at + i];
        levels.push_back(std::sqrt(sum / 160));
    }
    std::vector<double> opening(levels.begin(), levels.begin() + std::min<qsizetype>(30, levels.size()));
    std::nth_element(opening.begin(), opening.begin() + opening.size() / 2, opening.end());
    const double threshold = 8 * std::max(1.0, opening[opening.size() / 2]);
    for (std::size_t i = 0; i < levels.size(); ++i)
        if (levels[i] > threshold)
            return qsizetype(i) * 160;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QFile file(QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw"));
    const SphinxModel model = SphinxModel::usEnglish();
    if (!model.isPresent() || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "the US English model or the recorded speech is missing\n");
        return 1;
    }
    const QByteArray recording = file.readAll();
    const qsizetype chunkBytes = kChunkFrames * 2;
    const double audioSeconds = recording.size() / 2.0 / kRate;

    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<SphinxDecoder> decoder = SphinxDecoder::load(model);
    print("dictation.model_load_time", ms(timer), "ms");
    if (!decoder)
        return 1;

    // Decoder alone, chunk by chunk as the worker does it; best of three passes.
    double bestTotal = 1e9, worstChunk = 0;
    QString heard;
    for (int pass = 0; pass < 3; ++pass) {
        SphinxStream stream(*decoder);
        (void)stream.begin();
        double total = 0;
        for (qsizetype at = 0; at < recording.size(); at += chunkBytes) {
            QElapsedTimer chunk;
            chunk.start();
            const StreamEvent event = stream.feed(recording.mid(at, chunkBytes), qint64(total));
            const double took = ms(chunk);
            total += took;
            worstChunk = std::max(worstChunk, took);
            if (event.kind == StreamEvent::Kind::final)
                heard = event.text;
        }
        stream.cancel();
        bestTotal = std::min(bestTotal, total);
    }
    if (heard != QStringLiteral("go forward ten meters"))
        std::fprintf(stderr, "heard \"%s\"\n", qPrintable(heard));
    print("dictation.real_time_factor", bestTotal / 1000.0 / audioSeconds, "x");
    print("dictation.worst_chunk_time", worstChunk, "ms");

    // What stays on the main thread per chunk: turning a 48 kHz stereo float device's audio into 16 kHz.
    {
        QAudioFormat device;
        device.setSampleRate(48000);
        device.setChannelCount(2);
        device.setSampleFormat(QAudioFormat::Float);
        QByteArray deviceChunk(kChunkFrames * device.bytesPerFrame(), '\0');
        auto *f = reinterpret_cast<float *>(deviceChunk.data());
        for (int i = 0; i < kChunkFrames * 2; ++i)
            f[i] = float(0.3 * std::sin(i * 0.05));
        PcmConverter converter(device);
        double worst = 0;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            const QByteArray out = converter.convert(deviceChunk);
            worst = std::max(worst, ms(t));
            if (out.isEmpty())
                return 1;
        }
        print("dictation.ui_thread_chunk_time", worst, "ms");
    }

    // Through the worker thread, audio arriving in real time.
    auto owned = std::make_unique<SphinxRecognizer>(model);
    SphinxRecognizer &recognizer = *owned;
    const qsizetype onset = speechOnset(recording) * 2;
    QElapsedTimer clock;
    double onsetAt = -1, firstPartialAt = -1;
    qsizetype at = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(kChunkFrames * 1000 / kRate);
    QObject::connect(&pace, &QTimer::timeout, &app, [&] {
        if (at >= recording.size()) {
            pace.stop();
            return;
        }
        if (onsetAt < 0 && at + chunkBytes > onset)
            onsetAt = ms(clock);
        recognizer.feed(1, recording.mid(at, chunkBytes));
        at += chunkBytes;
    });
    QObject::connect(&recognizer, &Recognizer::prepared, &app, [&](quint64, bool ok) {
        if (!ok)
            app.exit(1);
        recognizer.begin(1);
        clock.start();
        pace.start();
    });
    QObject::connect(&recognizer, &Recognizer::partialResult, &app, [&](quint64, const QString &) {
        if (firstPartialAt < 0)
            firstPartialAt = ms(clock);
    });
    QObject::connect(&recognizer, &Recognizer::finalResult, &app, [&](quint64, const QString &) { app.exit(0); });
    QTimer::singleShot(20000, &app, [&] { app.exit(1); });
    recognizer.prepare(1);
    if (app.exec() != 0 || firstPartialAt < 0)
        return 1;
    print("dictation.speech_to_partial_latency", firstPartialAt - onsetAt, "ms");

    // What process exit waits for when it ends a session mid-stream.
    // The spoken part over and over, so speech never ends: ten seconds of it.
    const QByteArray spoken = recording.mid(onset, kRate * 2);
    recognizer.begin(2);
    for (int i = 0; i < 5; ++i)
        for (qsizetype from = 0; from < spoken.size(); from += chunkBytes)
            recognizer.feed(2, spoken.mid(from, chunkBytes));
    QElapsedTimer shutdown;
    shutdown.start();
    owned.reset();
    print("dictation.shutdown_wait", ms(shutdown), "ms");
    return 0;
}
