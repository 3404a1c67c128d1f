#include "DictationFakes.h"
#include "dictation/PartialGate.h"
#include "dictation/PcmConverter.h"
#include "dictation/SpeechCapture.h"
#include "dictation/SphinxRecognizer.h"
#include "support/TestMain.h"

#include <QRandomGenerator>
#include <QSignalSpy>

#include <cmath>
#include <numbers>

using namespace dictation;
using namespace dictationtest;

namespace {

const QString kRecording = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");

// A capture object on fakes, with the fakes at hand.
struct Rig {
    FakeAudioInput *input = nullptr;
    FakeSpeechAccess *access = nullptr;
    ScriptedRecognizer *recognizer = nullptr;
    QStringList localesAsked;
    bool recognizerForEveryLocale = false;
    bool noRecognizerAtAll = false;
    bool holdPrepare = false; // answer the model load by hand
    bool modelLoads = true;
    std::unique_ptr<SpeechCapture> capture;
    QStringList drafts;
    QString composer; // the composer's draft as the user sees it

    explicit Rig(const QString &locale = QStringLiteral("en-US"))
    {
        SpeechCapture::Dependencies deps;
        auto input = std::make_unique<FakeAudioInput>();
        auto access = std::make_unique<FakeSpeechAccess>();
        this->input = input.get();
        this->access = access.get();
        deps.input = std::move(input);
        deps.access = std::move(access);
        deps.localeName = locale;
        deps.makeRecognizer = [this](const QString &name) -> std::unique_ptr<Recognizer> {
            localesAsked << name;
            if (noRecognizerAtAll || (name != QStringLiteral("en-US") && !recognizerForEveryLocale))
                return nullptr;
            auto made = std::make_unique<ScriptedRecognizer>();
            made->answerPrepareAtOnce = !holdPrepare;
            made->available = modelLoads;
            recognizer = made.get();
            return made;
        };
        capture = std::make_unique<SpeechCapture>(std::move(deps));
    }

    // Starts like the composer does: results replace its draft.
    void start(const QString &draft)
    {
        composer = draft;
        capture->start(
            draft,
            [this](const QString &next) {
                drafts << next;
                composer = next;
            },
            [this] { return composer; });
    }

    bool listens() { return QTest::qWaitFor([this] { return capture->isListening(); }, 2000); }
};

QByteArray readRecording()
{
    QFile file(kRecording);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVector<float> sine(double frequency, int rate, int count)
{
    QVector<float> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = float(0.5 * std::sin(2.0 * std::numbers::pi * frequency * i / rate));
    return samples;
}

QAudioFormat formatOf(int rate, int channels, QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

// Mono samples in -1..1 as frames of the given format (every channel alike).
QByteArray encode(const QVector<float> &mono, const QAudioFormat &format)
{
    QByteArray out;
    for (float v : mono) {
        for (int c = 0; c < format.channelCount(); ++c) {
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8: out.append(char(quint8(std::lround(v * 127.0f) + 128))); break;
            case QAudioFormat::Int16: {
                const qint16 s = qint16(std::lround(v * 32767.0f));
                out.append(reinterpret_cast<const char *>(&s), 2);
                break;
            }
            case QAudioFormat::Int32: {
                const qint32 s = qint32(std::lround(double(v) * 2147483647.0));
                out.append(reinterpret_cast<const char *>(&s), 4);
                break;
            }
            case QAudioFormat::Float: out.append(reinterpret_cast<const char *>(&v), 4); break;
            default: break;
            }
        }
    }
    return out;
}

QVector<float> decode16(const QByteArray &pcm)
{
    QVector<float> out(pcm.size() / 2);
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    for (int i = 0; i < out.size(); ++i)
        out[i] = s[i] / 32768.0f;
    return out;
}

// The recording as a device with another rate would give it (linear interpolation).
QVector<float> recordingAt(const QByteArray &pcm16k, int rate)
{
    const QVector<float> in = decode16(pcm16k);
    const int count = int(qint64(in.size()) * rate / 16000);
    QVector<float> out(count);
    for (int i = 0; i < count; ++i) {
        const double pos = double(i) * 16000 / rate;
        const int j = int(pos);
        const float a = in[j], b = in[std::min(j + 1, int(in.size()) - 1)];
        out[i] = a + float(pos - j) * (b - a);
    }
    return out;
}

double rms(const QVector<float> &samples, int from = 0)
{
    double sum = 0;
    for (int i = from; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / std::max(1, int(samples.size()) - from));
}

} // namespace

class TestDictation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void composedDraft_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected");
        QTest::newRow("word gets one space") << "Hello" << "Hello world";
        QTest::newRow("trailing space, no second space") << "Hello " << "Hello world";
        QTest::newRow("trailing line break kept") << "Hello\n" << "Hello\nworld";
        QTest::newRow("empty draft") << "" << "world";
        QTest::newRow("white space only is dropped") << "  \n " << "world";
    }
    void composedDraft()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);
        QCOMPARE(dictation::composedDraft(base, QStringLiteral("world")), expected);
    }

    void partialsReplaceDictatedPartThenFinalStops()
    {
        Rig rig;
        rig.start(QStringLiteral("Hello"));
        QVERIFY(rig.listens());
        QCOMPARE(rig.capture->statusText(), QStringLiteral("Listening\u2026"));
        const quint64 s = rig.recognizer->begun;
        rig.recognizer->partial(s, QStringLiteral("wor"));
        rig.recognizer->partial(s, QStringLiteral("world"));
        rig.recognizer->final(s, QStringLiteral("world again"));
        QCOMPARE(rig.drafts, QStringList({"Hello wor", "Hello world", "Hello world again"}));
        QVERIFY(!rig.capture->isListening());
        QCOMPARE(rig.capture->statusText(), QString());
        QVERIFY(!rig.input->running);
        rig.recognizer->partial(s, QStringLiteral("straggler"));
        QCOMPARE(rig.drafts.size(), 3);
    }

    void accessRefusal_data()
    {
        QTest::addColumn<AccessStatus>("speech");
        QTest::addColumn<AccessStatus>("speechAnswer");
        QTest::addColumn<AccessStatus>("microphone");
        QTest::addColumn<bool>("microphoneAnswer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("microphonePrompts");
        using A = AccessStatus;
        QTest::newRow("model missing is off") << A::denied << A::denied << A::authorized << true
                                              << failureText(CaptureFailure::speechOff) << 0;
        QTest::newRow("speech restricted") << A::restricted << A::denied << A::authorized << true
                                           << failureText(CaptureFailure::speechOff) << 0;
        QTest::newRow("speech refused at prompt never asks microphone")
            << A::notDetermined << A::denied << A::notDetermined << true
            << failureText(CaptureFailure::speechNotEnabled) << 0;
        QTest::newRow("speech unknown") << A::unknown << A::denied << A::authorized << true
                                        << failureText(CaptureFailure::speechUnavailable) << 0;
        QTest::newRow("no microphone is off") << A::authorized << A::denied << A::denied << true
                                              << failureText(CaptureFailure::microphoneOff) << 0;
        QTest::newRow("microphone refused at prompt") << A::notDetermined << A::authorized << A::notDetermined << false
                                                      << failureText(CaptureFailure::microphoneNotEnabled) << 1;
        QTest::newRow("microphone unknown") << A::authorized << A::denied << A::unknown << true
                                            << failureText(CaptureFailure::microphoneUnavailable) << 0;
        QTest::newRow("both granted at prompts") << A::notDetermined << A::authorized << A::notDetermined << true
                                                 << QString() << 1;
    }
    void accessRefusal()
    {
        QFETCH(AccessStatus, speech);
        QFETCH(AccessStatus, speechAnswer);
        QFETCH(AccessStatus, microphone);
        QFETCH(bool, microphoneAnswer);
        QFETCH(QString, error);
        QFETCH(int, microphonePrompts);
        Rig rig;
        rig.access->speech = speech;
        rig.access->speechAnswer = speechAnswer;
        rig.access->microphone = microphone;
        rig.access->microphoneAnswer = microphoneAnswer;
        QSignalSpy failures(rig.capture.get(), &SpeechCapture::failureOccurred);
        rig.start(QString());
        if (error.isEmpty()) {
            QVERIFY(rig.listens());
        } else {
            QTRY_COMPARE(rig.capture->lastError(), error);
            QCOMPARE(failures.size(), 1);
            QCOMPARE(failures.at(0).at(0).toString(), error);
            QCOMPARE(rig.input->starts, 0);
            QVERIFY(!rig.capture->isListening());
        }
        QCOMPARE(rig.access->microphonePrompts, microphonePrompts);
    }

    void startFailure_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error");
        QTest::newRow("device without channels") << "channels" << failureText(CaptureFailure::noMicrophoneInput);
        QTest::newRow("device without rate") << "rate" << failureText(CaptureFailure::noMicrophoneInput);
        QTest::newRow("device busy") << "busy" << QStringLiteral("Could not start microphone: Device busy");
        QTest::newRow("model fails to load") << "model" << failureText(CaptureFailure::recognizerUnavailable);
        QTest::newRow("no recognizer at all") << "none" << failureText(CaptureFailure::recognizerUnavailable);
    }
    void startFailure()
    {
        QFETCH(QString, fault);
        QFETCH(QString, error);
        Rig rig;
        rig.noRecognizerAtAll = fault == "none";
        rig.modelLoads = fault != "model";
        if (fault == "channels")
            rig.input->deviceFormat.setChannelCount(0);
        if (fault == "rate")
            rig.input->deviceFormat.setSampleRate(0);
        if (fault == "busy")
            rig.input->startError = QStringLiteral("Device busy");
        QSignalSpy failures(rig.capture.get(), &SpeechCapture::failureOccurred);
        rig.capture->start(QString(), [](const QString &) {});
        QTRY_COMPARE(rig.capture->lastError(), error);
        QCOMPARE(failures.size(), 1);
        QVERIFY(!rig.capture->isListening());
        QCOMPARE(rig.capture->statusText(), QString());
        QVERIFY(!rig.input->running);
        // Nothing is left recording: a recogniser was never begun, or was cancelled.
        if (rig.recognizer && rig.recognizer->begun)
            QVERIFY(rig.recognizer->calls.contains(QStringLiteral("cancel %1").arg(rig.recognizer->begun)));
        // The next start clears the error at once.
        rig.capture->start(QString(), [](const QString &) {});
        QCOMPARE(rig.capture->lastError(), QString());
    }

    void stopDuringStartupKeepsMicrophoneClosed_data()
    {
        QTest::addColumn<QString>("moment");
        QTest::newRow("while the model loads") << "load";
        QTest::newRow("while the microphone prompt is open") << "prompt";
        QTest::newRow("restarted while the model loads") << "restart";
    }
    void stopDuringStartupKeepsMicrophoneClosed()
    {
        QFETCH(QString, moment);
        Rig rig;
        if (moment == "prompt") {
            rig.access->microphone = AccessStatus::notDetermined;
            rig.access->holdMicrophonePrompt = true;
            rig.start(QStringLiteral("Draft"));
            QTRY_VERIFY(rig.access->heldPrompt);
            rig.capture->stop();
            rig.access->heldPrompt();
            QTest::qWait(20);
            QCOMPARE(rig.input->starts, 0);
            QVERIFY(!rig.capture->isListening());
            QCOMPARE(rig.capture->lastError(), QString());
            return;
        }
        rig.holdPrepare = true;
        rig.start(QStringLiteral("Draft"));
        QTRY_VERIFY(rig.recognizer && rig.recognizer->calls.contains("prepare 1"));
        if (moment == "restart") {
            rig.start(QStringLiteral("Second"));
            QTRY_VERIFY(rig.recognizer->calls.contains("prepare 2"));
        } else {
            rig.capture->stop();
        }
        rig.recognizer->answerPrepare(1, true);
        QTest::qWait(20);
        QCOMPARE(rig.input->starts, 0);
        QVERIFY(!rig.recognizer->calls.contains("begin 1"));
        if (moment == "restart") {
            rig.recognizer->answerPrepare(2, true);
            QVERIFY(rig.listens());
            QCOMPARE(rig.input->starts, 1);
            QCOMPARE(rig.recognizer->begun, quint64(2));
        } else {
            QVERIFY(!rig.capture->isListening());
        }
    }

    void oldSessionNeverTouchesNewOne()
    {
        Rig rig;
        rig.start(QStringLiteral("First"));
        QVERIFY(rig.listens());
        const quint64 old = rig.recognizer->begun;
        rig.input->play(encode(sine(300, 16000, 1600), rig.input->deviceFormat));
        QCOMPARE(rig.recognizer->bytesFed, qsizetype(3200));

        rig.start(QStringLiteral("Second"));
        // Before and after the new session is up, the old one's news is dropped.
        rig.recognizer->partial(old, QStringLiteral("late"));
        rig.recognizer->fail(old, QStringLiteral("late failure"));
        QVERIFY(rig.listens());
        QVERIFY(rig.recognizer->begun != old);
        rig.recognizer->final(old, QStringLiteral("late"));
        rig.recognizer->fail(old, QStringLiteral("late failure"));
        QVERIFY(rig.drafts.isEmpty());
        QCOMPARE(rig.capture->lastError(), QString());
        QVERIFY(rig.capture->isListening());

        rig.recognizer->partial(rig.recognizer->begun, QStringLiteral("fine"));
        QCOMPARE(rig.drafts, QStringList{QStringLiteral("Second fine")});
    }

    void userTextWinsOverDictation_data()
    {
        QTest::addColumn<bool>("afterFirstResult");
        QTest::addColumn<QString>("userDraft");
        QTest::newRow("typed while dictating") << true << "Hello wor, see";
        QTest::newRow("sent while dictating") << true << "";
        QTest::newRow("typed while starting") << false << "Hello there";
    }
    void userTextWinsOverDictation()
    {
        QFETCH(bool, afterFirstResult);
        QFETCH(QString, userDraft);
        Rig rig;
        rig.start(QStringLiteral("Hello"));
        QVERIFY(rig.listens());
        const quint64 s = rig.recognizer->begun;
        if (afterFirstResult) {
            rig.recognizer->partial(s, QStringLiteral("wor"));
            QCOMPARE(rig.composer, QStringLiteral("Hello wor"));
        }
        rig.composer = userDraft;
        const auto written = rig.drafts.size();
        rig.recognizer->partial(s, QStringLiteral("world"));
        QCOMPARE(rig.composer, userDraft);
        QCOMPARE(rig.drafts.size(), written);
        QVERIFY(!rig.capture->isListening());
        QVERIFY(!rig.input->running);
        QCOMPARE(rig.capture->lastError(), QString());
    }

    void failureWhileListening_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("stoppedFirst");
        QTest::newRow("recognition error") << "recognizer" << false;
        QTest::newRow("microphone unplugged") << "input" << false;
        QTest::newRow("recognition error after stop is silent") << "recognizer" << true;
    }
    void failureWhileListening()
    {
        QFETCH(QString, source);
        QFETCH(bool, stoppedFirst);
        Rig rig;
        rig.start(QString());
        QVERIFY(rig.listens());
        QSignalSpy failures(rig.capture.get(), &SpeechCapture::failureOccurred);
        const QString text = QStringLiteral("It broke.");
        const quint64 s = rig.recognizer->begun;
        if (stoppedFirst)
            rig.capture->stop();
        if (source == "input")
            rig.input->breakOff(text);
        else
            rig.recognizer->fail(s, text);
        QVERIFY(!rig.capture->isListening());
        QCOMPARE(failures.size(), stoppedFirst ? 0 : 1);
        QCOMPARE(rig.capture->lastError(), stoppedFirst ? QString() : text);
        if (!stoppedFirst)
            QCOMPARE(failures.at(0).at(0).toString(), text);
    }

    void localeFallsBackToUsEnglishAndRecognizerIsKept()
    {
        Rig rig(QStringLiteral("de-DE"));
        rig.start(QString());
        QVERIFY(rig.listens());
        rig.capture->stop();
        rig.start(QString());
        QVERIFY(rig.listens());
        QCOMPARE(rig.localesAsked, QStringList({"de-DE", "en-US"}));
    }

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

        SpeechCapture::Dependencies deps;
        auto input = std::make_unique<FakeAudioInput>();
        FakeAudioInput *mic = input.get();
        mic->deviceFormat = device;
        deps.input = std::move(input);
        deps.access = std::make_unique<FakeSpeechAccess>();
        deps.localeName = QStringLiteral("en-US");
        deps.makeRecognizer = [](const QString &) { return std::make_unique<SphinxRecognizer>(SphinxModel::usEnglish()); };
        SpeechCapture capture(std::move(deps));

        QStringList drafts;
        capture.start(draft, [&drafts](const QString &d) { drafts << d; });
        QTRY_VERIFY_WITH_TIMEOUT(capture.isListening(), 10000);
        const QByteArray frames = device == PcmConverter::targetFormat()
                                      ? recording
                                      : encode(recordingAt(recording, device.sampleRate()), device);
        const qsizetype chunk = 1024 * device.bytesPerFrame(); // as a device hands it over
        for (qsizetype at = 0; at < frames.size(); at += chunk)
            mic->play(frames.mid(at, chunk));
        QTRY_VERIFY_WITH_TIMEOUT(!capture.isListening(), 20000);
        QCOMPARE(capture.lastError(), QString());
        QVERIFY(!drafts.isEmpty());
        QCOMPARE(drafts.last(), expected);
        for (const QString &d : drafts)
            QVERIFY2(d.startsWith(draft), qPrintable(d));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestDictation)
#include "tst_dictation.moc"
