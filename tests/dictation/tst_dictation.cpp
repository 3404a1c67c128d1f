#include "AudioSamples.h"
#include "DictationFakes.h"
#include "dictation/SpeechCapture.h"
#include "support/TestMain.h"

#include <QSignalSpy>

using namespace dictation;
using namespace dictationtest;

namespace {

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
        auto ownInput = std::make_unique<FakeAudioInput>();
        auto ownAccess = std::make_unique<FakeSpeechAccess>();
        this->input = ownInput.get();
        this->access = ownAccess.get();
        deps.input = std::move(ownInput);
        deps.access = std::move(ownAccess);
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
        QTest::newRow("CR LF ending gets no space") << "Hello\r\n" << "Hello\r\nworld";
        QTest::newRow("paragraph separator is a line break") << "Hello\u2029" << "Hello\u2029world";
        QTest::newRow("tab is no space, one is added") << "Hello\t" << "Hello\t world";
        QTest::newRow("leading spaces of a draft kept") << "  Hi" << "  Hi world";
    }
    void composedDraft()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);
        QCOMPARE(dictation::composedDraft(base, QStringLiteral("world")), expected);
    }

    // Byte for byte, as the user reads them.
    void failureTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, CaptureFailure f, const char8_t *text) {
            QTest::newRow(name) << failureText(f) << QString::fromUtf8(reinterpret_cast<const char *>(text));
        };
        row("speech off", CaptureFailure::speechOff,
            u8"Speech recognition is off for Moonshelf Mac: its US English model is not installed. Install the pocketsphinx-en-us package.");
        row("speech not enabled", CaptureFailure::speechNotEnabled,
            u8"Speech recognition not enabled. Install the pocketsphinx-en-us package for Moonshelf Mac.");
        row("speech unavailable", CaptureFailure::speechUnavailable, u8"Speech recognition unavailable.");
        row("microphone off", CaptureFailure::microphoneOff,
            u8"No microphone for Moonshelf Mac: there is no sound input device. Connect one, or turn it on in the desktop's Sound settings (Input).");
        row("microphone not enabled", CaptureFailure::microphoneNotEnabled,
            u8"Microphone not enabled. Choose an input device and unmute it in the desktop's Sound settings (Input).");
        row("microphone unavailable", CaptureFailure::microphoneUnavailable, u8"Microphone unavailable.");
        row("recognizer unavailable", CaptureFailure::recognizerUnavailable,
            u8"Speech recognizer not available for this language.");
        row("no microphone input", CaptureFailure::noMicrophoneInput, u8"No microphone input available.");
        QTest::newRow("could not start") << couldNotStartText(QStringLiteral("Busy."))
                                         << QStringLiteral("Could not start microphone: Busy.");
    }
    void failureTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
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
        QCOMPARE(rig.input->starts, 0);
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
        QTRY_VERIFY(rig.recognizer->begun != old);
        QVERIFY(rig.capture->isListening());
        rig.recognizer->final(old, QStringLiteral("late"));
        rig.recognizer->fail(old, QStringLiteral("late failure"));
        QVERIFY(rig.drafts.isEmpty());
        QCOMPARE(rig.capture->lastError(), QString());
        QVERIFY(rig.capture->isListening());

        rig.recognizer->partial(rig.recognizer->begun, QStringLiteral("fine"));
        QCOMPARE(rig.drafts, QStringList{QStringLiteral("Second fine")});
    }

    // The running session ends in the new session's start, after the access
    // checks, not at the tap; the listening state does not flicker meanwhile.
    void secondStartEndsRunningSessionWhenNewOneStarts()
    {
        Rig rig;
        rig.start(QStringLiteral("First"));
        QVERIFY(rig.listens());
        const quint64 old = rig.recognizer->begun;
        rig.recognizer->calls.clear();
        QSignalSpy listening(rig.capture.get(), &SpeechCapture::isListeningChanged);
        QSignalSpy status(rig.capture.get(), &SpeechCapture::statusTextChanged);
        rig.start(QStringLiteral("Second"));
        QVERIFY(rig.input->running);
        QVERIFY(rig.recognizer->calls.isEmpty());
        QTRY_VERIFY(rig.recognizer->begun != old);
        QCOMPARE(rig.recognizer->calls,
                 QStringList({QStringLiteral("cancel %1").arg(old), QStringLiteral("begin %1").arg(rig.recognizer->begun)}));
        QCOMPARE(rig.input->starts, 2);
        QVERIFY(rig.input->running);
        QVERIFY(rig.capture->isListening());
        QCOMPARE(listening.size(), 0);
        QCOMPARE(status.size(), 0);
        rig.recognizer->partial(rig.recognizer->begun, QStringLiteral("world"));
        QCOMPARE(rig.drafts, QStringList{QStringLiteral("Second world")});
    }

    // A second start that cannot start must not leave the first one's
    // "Listening…" behind with nothing listening.
    void failedSecondStartLeavesNothingListening_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error");
        QTest::newRow("access refused") << "refused" << failureText(CaptureFailure::microphoneOff);
        QTest::newRow("device without channels") << "channels" << failureText(CaptureFailure::noMicrophoneInput);
        QTest::newRow("device busy") << "busy" << QStringLiteral("Could not start microphone: Busy.");
    }
    void failedSecondStartLeavesNothingListening()
    {
        QFETCH(QString, fault);
        QFETCH(QString, error);
        Rig rig;
        rig.start(QStringLiteral("First"));
        QVERIFY(rig.listens());
        const quint64 old = rig.recognizer->begun;
        if (fault == "refused")
            rig.access->microphone = AccessStatus::denied;
        if (fault == "channels")
            rig.input->deviceFormat.setChannelCount(0);
        if (fault == "busy")
            rig.input->startError = QStringLiteral("Busy.");
        rig.start(QStringLiteral("Second"));
        QTRY_COMPARE(rig.capture->lastError(), error);
        QVERIFY(!rig.capture->isListening());
        QCOMPARE(rig.capture->statusText(), QString());
        QVERIFY(!rig.input->running);
        QVERIFY(rig.recognizer->calls.contains(QStringLiteral("cancel %1").arg(old)));
    }

    // The composer copies lastError one turn after its tap: every failure the
    // start finds without waiting (for a prompt or the first model load) is
    // there by then, and so is the listening state.
    void startOutcomeReadyOneTurnAfterTap_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error");
        QTest::newRow("listening") << "" << QString();
        QTest::newRow("speech access off") << "speech" << failureText(CaptureFailure::speechOff);
        QTest::newRow("no recognizer") << "recognizer" << failureText(CaptureFailure::recognizerUnavailable);
        QTest::newRow("device without channels") << "channels" << failureText(CaptureFailure::noMicrophoneInput);
        QTest::newRow("device busy") << "busy" << QStringLiteral("Could not start microphone: Busy.");
    }
    void startOutcomeReadyOneTurnAfterTap()
    {
        QFETCH(QString, fault);
        QFETCH(QString, error);
        Rig rig;
        rig.noRecognizerAtAll = fault == "recognizer";
        if (!rig.noRecognizerAtAll) {
            // The model is loaded by an earlier session.
            rig.start(QString());
            QVERIFY(rig.listens());
            rig.capture->stop();
        }
        if (fault == "speech")
            rig.access->speech = AccessStatus::denied;
        if (fault == "channels")
            rig.input->deviceFormat.setChannelCount(0);
        if (fault == "busy")
            rig.input->startError = QStringLiteral("Busy.");
        rig.start(QString());
        bool ran = false, listening = false;
        QString copied;
        QTimer::singleShot(0, rig.capture.get(), [&] {
            copied = rig.capture->lastError();
            listening = rig.capture->isListening();
            ran = true;
        });
        QTRY_VERIFY(ran);
        QCOMPARE(copied, error);
        QCOMPARE(listening, error.isEmpty());
    }

    // Stop resets the published fields and the callback, nothing else: the
    // composer still copies the last error after a stop.
    void stopKeepsLastErrorAndTouchesNothingIdle()
    {
        Rig rig;
        rig.input->deviceFormat.setChannelCount(0);
        rig.start(QStringLiteral("Draft"));
        QTRY_COMPARE(rig.capture->lastError(), failureText(CaptureFailure::noMicrophoneInput));
        const QStringList calls = rig.recognizer->calls;
        QSignalSpy errors(rig.capture.get(), &SpeechCapture::lastErrorChanged);
        QSignalSpy listening(rig.capture.get(), &SpeechCapture::isListeningChanged);
        rig.capture->stop();
        QCOMPARE(rig.capture->lastError(), failureText(CaptureFailure::noMicrophoneInput));
        QCOMPARE(errors.size(), 0);
        QCOMPARE(listening.size(), 0);
        QCOMPARE(rig.capture->statusText(), QString());
        QCOMPARE(rig.recognizer->calls, calls);
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
};

MOONSHELF_TEST_GUILESS_MAIN(TestDictation)
#include "tst_dictation.moc"
