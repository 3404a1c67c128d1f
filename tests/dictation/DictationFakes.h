#pragma once

#include "dictation/AudioInput.h"
#include "dictation/PcmConverter.h"
#include "dictation/Recognizer.h"
#include "dictation/SpeechAccess.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace dictationtest {

// Audio from the test instead of a microphone.
class FakeAudioInput final : public dictation::AudioInput {
public:
    QAudioFormat deviceFormat = dictation::PcmConverter::targetFormat();
    std::optional<QString> startError;
    int starts = 0;
    bool running = false;

    QAudioFormat format() const override { return deviceFormat; }
    platform::Status<QString> start() override
    {
        if (startError)
            return *startError;
        ++starts;
        running = true;
        return {};
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }

    void play(const QByteArray &frames) { Q_EMIT audioReady(frames); }
    void breakOff(const QString &description)
    {
        running = false;
        Q_EMIT failed(description);
    }
};

// A recogniser whose answers the test gives, each at the moment it chooses.
class ScriptedRecognizer final : public dictation::Recognizer {
public:
    bool answerPrepareAtOnce = true;
    bool available = true;
    QStringList calls;
    quint64 begun = 0;
    qsizetype bytesFed = 0;

    void prepare(quint64 session) override
    {
        calls << QStringLiteral("prepare %1").arg(session);
        if (answerPrepareAtOnce)
            QTimer::singleShot(0, this, [this, session] { Q_EMIT prepared(session, available); });
    }
    void begin(quint64 session) override
    {
        calls << QStringLiteral("begin %1").arg(session);
        begun = session;
    }
    void feed(quint64 session, const QByteArray &samples) override
    {
        if (session == begun)
            bytesFed += samples.size();
    }
    void cancel(quint64 session) override { calls << QStringLiteral("cancel %1").arg(session); }

    void answerPrepare(quint64 session, bool ok) { Q_EMIT prepared(session, ok); }
    void partial(quint64 session, const QString &text) { Q_EMIT partialResult(session, text); }
    void final(quint64 session, const QString &text) { Q_EMIT finalResult(session, text); }
    void fail(quint64 session, const QString &text) { Q_EMIT failed(session, text); }
};

// Access states and prompt answers chosen by the test; prompts can be held.
class FakeSpeechAccess final : public dictation::SpeechAccess {
public:
    dictation::AccessStatus speech = dictation::AccessStatus::authorized;
    dictation::AccessStatus microphone = dictation::AccessStatus::authorized;
    dictation::AccessStatus speechAnswer = dictation::AccessStatus::authorized;
    bool microphoneAnswer = true;
    bool holdMicrophonePrompt = false;
    int speechPrompts = 0;
    int microphonePrompts = 0;
    std::function<void()> heldPrompt;

    dictation::AccessStatus speechStatus() const override { return speech; }
    dictation::AccessStatus microphoneStatus() const override { return microphone; }
    void requestSpeech(QObject *context, std::function<void(dictation::AccessStatus)> answer) override
    {
        ++speechPrompts;
        QTimer::singleShot(0, context, [answer, a = speechAnswer] { answer(a); });
    }
    void requestMicrophone(QObject *context, std::function<void(bool)> answer) override
    {
        ++microphonePrompts;
        QPointer<QObject> guard(context);
        auto reply = [answer, guard, a = microphoneAnswer] {
            if (guard)
                answer(a);
        };
        if (holdMicrophonePrompt)
            heldPrompt = reply;
        else
            QTimer::singleShot(0, context, reply);
    }
};

} // namespace dictationtest
