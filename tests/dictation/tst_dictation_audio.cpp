#include "AudioSamples.h"
#include "DictationFakes.h"
#include "dictation/PartialGate.h"
#include "dictation/PcmConverter.h"
#include "dictation/SpeechCapture.h"
#include "dictation/SphinxRecognizer.h"
#include "support/TestMain.h"

#include <QRandomGenerator>

using namespace dictation;
using namespace dictationtest;

namespace {

// The capture object on the real recogniser, fed by a fake microphone.
struct RealRig {
    FakeAudioInput *mic = nullptr;
    std::unique_ptr<SpeechCapture> capture;

    explicit RealRig(const QAudioFormat &device = PcmConverter::targetFormat())
    {
        SpeechCapture::Dependencies deps;
        auto input = std::make_unique<FakeAudioInput>();
        mic = input.get();
        mic->deviceFormat = device;
        deps.input = std::move(input);
        deps.access = std::make_unique<FakeSpeechAccess>();
        deps.localeName = QStringLiteral("en-US");
        deps.makeRecognizer = [](const QString &) { return std::make_unique<SphinxRecognizer>(SphinxModel::usEnglish()); };
        capture = std::make_unique<SpeechCapture>(std::move(deps));
    }

    // All at once, in chunks as a device hands them over.
    void play(const QByteArray &frames)
    {
        const qsizetype chunk = 1024 * mic->deviceFormat.bytesPerFrame();
        for (qsizetype at = 0; at < frames.size(); at += chunk)
            mic->play(frames.mid(at, chunk));
    }
};

} // namespace

class TestDictationAudio : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void partialGate_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("times");
        QTest::addColumn<QList<bool>>("passed");
        QTest::newRow("unchanged text is not repeated") << QStringList{"go", "go", "go"} << QList<int>{0, 200, 400}
                                                        << QList<bool>{true, false, false};
        QTest::newRow("change within the interval waits") << QStringList{"go", "go for", "go for"} << QList<int>{0, 100, 160}
                                                          << QList<bool>{true, false, true};
        QTest::newRow("empty hypothesis never passes") << QStringList{"", "go"} << QList<int>{0, 10}
                                                       << QList<bool>{false, true};
    }
    void partialGate()
    {
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, times);
        QFETCH(QList<bool>, passed);
        PartialGate gate(150);
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(gate.offer(texts[i], times[i]), passed[i]);
    }

    void converterIgnoresHowInputIsSplit_data()
    {
        QTest::addColumn<QAudioFormat>("format");
        QTest::newRow("48 kHz stereo float") << formatOf(48000, 2, QAudioFormat::Float);
        QTest::newRow("44.1 kHz mono int16") << formatOf(44100, 1, QAudioFormat::Int16);
        QTest::newRow("8 kHz mono uint8") << formatOf(8000, 1, QAudioFormat::UInt8);
        QTest::newRow("16 kHz stereo int32") << formatOf(16000, 2, QAudioFormat::Int32);
    }
    void converterIgnoresHowInputIsSplit()
    {
        QFETCH(QAudioFormat, format);
        const QByteArray whole = encode(sine(440, format.sampleRate(), format.sampleRate() / 2), format);
        const QByteArray expected = PcmConverter(format).convert(whole);
        QVERIFY(std::abs(expected.size() / 2 - 8000) <= 2);
        PcmConverter converter(format);
        QByteArray chunked;
        QRandomGenerator random(7);
        for (qsizetype at = 0; at < whole.size();) {
            const qsizetype n = std::min<qsizetype>(whole.size() - at, random.bounded(1, 3000)); // mid-frame cuts too
            chunked += converter.convert(whole.mid(at, n));
            at += n;
        }
        QCOMPARE(chunked, expected);
    }

    void converterKeepsSpeechBandAndDropsWhatWouldFoldBack()
    {
        const QAudioFormat format = formatOf(48000, 2, QAudioFormat::Float);
        const QVector<float> tone = decode16(PcmConverter(format).convert(encode(sine(1000, 48000, 48000), format)));
        // Skip the filter's start; a 0.5 sine has RMS 0.354.
        QVERIFY2(std::abs(rms(tone, 200) - 0.354) < 0.01, qPrintable(QString::number(rms(tone, 200))));
        int crossings = 0;
        for (int i = 201; i < tone.size(); ++i)
            crossings += (tone[i - 1] < 0) != (tone[i] < 0);
        QVERIFY2(std::abs(crossings - 2 * 1000 * (tone.size() - 201) / 16000) <= 3, qPrintable(QString::number(crossings)));
        // 12 kHz cannot exist at 16 kHz; unfiltered it would come back as a 4 kHz whistle.
        const QVector<float> high = decode16(PcmConverter(format).convert(encode(sine(12000, 48000, 48000), format)));
        QVERIFY2(rms(high, 200) < 0.005, qPrintable(QString::number(rms(high, 200))));
    }

    void realRecognizerHearsRecordedSpeech_data()
    {
        QTest::addColumn<QAudioFormat>("device");
        QTest::addColumn<QString>("draft");
        QTest::addColumn<QString>("expected");
        QTest::newRow("16 kHz mono device") << PcmConverter::targetFormat() << "" << "go forward ten meters";
        QTest::newRow("44.1 kHz stereo float device, after a draft")
            << formatOf(44100, 2, QAudioFormat::Float) << "Say:" << "Say: go forward ten meters";
    }
    void realRecognizerHearsRecordedSpeech()
    {
        QFETCH(QAudioFormat, device);
        QFETCH(QString, draft);
        QFETCH(QString, expected);
        QVERIFY2(SphinxModel::usEnglish().isPresent(), "the US English model is not installed");
        const QByteArray recording = readRecording();
        QVERIFY2(!recording.isEmpty(), qPrintable(kRecording));

        RealRig rig(device);
        QStringList drafts;
        rig.capture->start(draft, [&drafts](const QString &d) { drafts << d; });
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture->isListening(), 10000 * testsupport::timeScale());
        rig.play(device == PcmConverter::targetFormat() ? recording
                                                        : encode(recordingAt(recording, device.sampleRate()), device));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.capture->isListening(), 20000 * testsupport::timeScale());
        QCOMPARE(rig.capture->lastError(), QString());
        QVERIFY(!drafts.isEmpty());
        QCOMPARE(drafts.last(), expected);
        for (qsizetype i = 0; i < drafts.size(); ++i) {
            QVERIFY2(drafts[i].startsWith(draft), qPrintable(drafts[i]));
            // A partial is passed on only when it changed.
            if (i > 0 && i + 1 < drafts.size())
                QVERIFY2(drafts[i] != drafts[i - 1], qPrintable(drafts[i]));
        }
    }

    // Audio of a stopped session is still queued on the recogniser's thread
    // when the next session begins: none of it may reach the new draft.
    void realRecognizerDropsQueuedAudioOfStoppedSession()
    {
        QVERIFY2(SphinxModel::usEnglish().isPresent(), "the US English model is not installed");
        const QByteArray recording = readRecording();
        QVERIFY(!recording.isEmpty());
        RealRig rig;
        QStringList first, second;
        rig.capture->start(QStringLiteral("First"), [&first](const QString &d) { first << d; });
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture->isListening(), 10000 * testsupport::timeScale());
        rig.play(recording);
        rig.capture->stop();
        rig.capture->start(QStringLiteral("Second"), [&second](const QString &d) { second << d; });
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture->isListening(), 10000 * testsupport::timeScale());
        rig.play(recording);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.capture->isListening(), 20000 * testsupport::timeScale());
        QVERIFY2(first.isEmpty(), qPrintable(first.join(u'|')));
        QVERIFY(!second.isEmpty());
        QCOMPARE(second.last(), QStringLiteral("Second go forward ten meters"));
        for (const QString &d : second)
            QVERIFY2(d.startsWith(QStringLiteral("Second ")), qPrintable(d));
    }

    // As at process exit: the capture goes while its recogniser still has
    // audio queued; nothing of it may arrive afterwards.
    void realRecognizerDestroyedMidStreamDeliversNothingMore()
    {
        QVERIFY2(SphinxModel::usEnglish().isPresent(), "the US English model is not installed");
        const QByteArray recording = readRecording();
        QVERIFY(!recording.isEmpty());
        auto rig = std::make_unique<RealRig>();
        auto drafts = std::make_shared<QStringList>();
        rig->capture->start(QString(), [drafts](const QString &d) { *drafts << d; });
        QTRY_VERIFY_WITH_TIMEOUT(rig->capture->isListening(), 10000 * testsupport::timeScale());
        for (int i = 0; i < 3; ++i)
            rig->play(recording);
        const QStringList before = *drafts;
        rig.reset();
        QTest::qWait(300);
        QCOMPARE(*drafts, before);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestDictationAudio)
#include "tst_dictation_audio.moc"
