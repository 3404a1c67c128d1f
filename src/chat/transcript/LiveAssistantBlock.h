#pragma once

#include "app/LiveActivity.h"
#include "chat/markdown/ReaderText.h"
#include "chat/transcript/MessageRowContext.h"

#include <QTimer>
#include <QWidget>

class QLabel;

namespace chat {

class BreathingActivityMark;
class CrossFadeLabel;
class LiveGlass;
class MarkdownTextView;

// The assistant's turn while a run is in flight: the breathing mark, a
// one-line status ("Thinking…", "Writing…", "Waiting for approval…",
// "Working · list dir…", a new one cross-fading with the old over 0.15 s)
// and the reply so far as Markdown. The text only grows: each frame
// rebuilds the open tail, never what is finished.
class LiveAssistantBlock : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStatusFadeMs = 150;
    // How often, at most, a screen reader hears what the reply gained (at
    // least four times what reading it costs).
    static constexpr int kReaderStepMs = 150;
    explicit LiveAssistantBlock(MessageRowContext context, QWidget *parent = nullptr);

    void setActivity(const app::LiveActivity &activity);
    void setStreamingText(const QString &text);

    static QString statusText(const app::LiveActivity &activity);

    QString status() const;
    MarkdownTextView *textView() const { return m_text; }
    double visibility() const;
    // The reply so far as a screen reader reads it (see ReaderText).
    QString readerText() const;

private:
    // While a reader listens, the bus hears what the reply's text gained.
    void tellReaders();

    void applyLook();
    void applyFade();

    MessageRowContext m_context;
    LiveGlass *m_bubble = nullptr;
    BreathingActivityMark *m_mark = nullptr;
    CrossFadeLabel *m_status = nullptr;
    MarkdownTextView *m_text = nullptr;
    bool m_activitySet = false;
    // Read only while a reader is active, or when one asks.
    mutable StreamingReaderText m_reader;
    QString m_told;
    QTimer m_tellLater;
    qint64 m_tellCost = 0; // ns
};

} // namespace chat
