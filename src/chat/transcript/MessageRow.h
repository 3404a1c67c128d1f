#pragma once

#include "chat/transcript/MessageRowContext.h"
#include "model/ChatRecords.h"

#include <QWidget>

#include <functional>

class QBoxLayout;

namespace chat {

class BubbleFrame;
class MarkdownTextView;
class MessageRowCopyButton;
class MessageRowRetryButton;
class MessageRowTools;

// One stored message of the conversation: a user message as a bubble at the
// trailing side; an assistant message as a glass bubble of Markdown, the
// tools it asked for and, under the newest finished reply, the "Ready"
// chrome with Retry. Bubbles fade with the stage wallpaper's veil.
class MessageRow : public QWidget {
    Q_OBJECT
public:
    explicit MessageRow(MessageRowContext context, QWidget *parent = nullptr);
    // Where an assistant message's text begins, below the row's top.
    static constexpr int kAssistantTextTop = 12;
    // What the copy button takes beside a reply's text (its spacing and
    // itself): the live reply keeps it free too, so its text wraps as the
    // finished row's will.
    static constexpr int kReplyCopyGutter = 8 + 36;

    void setMessage(const model::ChatMessage &message, bool isFinishedTurn);
    // Absent actions leave their buttons out.
    void setOnCopy(std::function<void()> onCopy);
    void setOnRetry(std::function<void()> onRetry);

    // Hover and "copied" of the message shown, kept by the pane per message
    // id: a row reused for another message starts from that message's state.
    void setTransientState(bool hovering, bool copied);
    bool isCopiedShown() const;

    // The text shown for a message: "Working on it…" for an empty message
    // with a tool-call list; inline data-URL images removed; on user
    // messages the attachment block shortened to paperclip lines; trimmed.
    static QString bodyText(const model::ChatMessage &message);
    double bubbleVisibility() const;

    // What the row shows (for the pane and tests).
    bool showsBubble() const;
    bool showsFinishedChrome() const;
    bool showsRetry() const;
    bool showsCopy() const;
    int toolChipCount() const;
    MarkdownTextView *textView() const { return m_text; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuild();
    void applyLook();
    void applyFade();

    MessageRowContext m_context;
    model::ChatMessage m_message;
    bool m_finishedTurn = false;
    std::function<void()> m_onCopy;
    std::function<void()> m_onRetry;

    QBoxLayout *m_layout = nullptr;
    BubbleFrame *m_userBubble = nullptr;
    BubbleFrame *m_assistantBubble = nullptr;
    MarkdownTextView *m_text = nullptr;
    MessageRowCopyButton *m_copy = nullptr;
    MessageRowTools *m_tools = nullptr;
    QWidget *m_finished = nullptr;
    MessageRowRetryButton *m_retry = nullptr;
};

} // namespace chat
