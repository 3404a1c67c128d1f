#pragma once

#include "chat/markdown/MarkdownRenderCache.h"

#include <QWidget>

#include <memory>

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}
namespace model {
struct ChatMessage;
}

namespace chat {

class ApprovalCard;
class ComposerBar;
class TranscriptView;

// The centre pane: the conversation (welcome slot, finished rows, the live
// reply and the approval card, only rows near the viewport alive) with the
// composer overlaying its bottom. What the person does goes to the bottom:
// a switched session and a changed attachment count one turn later, their
// own message with a short glide, a run's start one turn later with a
// glide. What the run brings (each streamed frame, its messages, its end)
// keeps the bottom in view only while the list is at its bottom.
class ChatView : public QWidget {
    Q_OBJECT
public:
    ChatView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);
    ~ChatView() override;

    const MarkdownRenderCache &renderCache() const { return m_cache; }
    ComposerBar *composer() const { return m_composer; }
    // Where the welcome card goes: put it into this widget's layout.
    QWidget *welcomeSlot() const;
    // What Tab reaches here, in order: the conversation's controls, the
    // composer's field, an approval card and its buttons (the card's hint
    // says Tab goes there from the composer), then the tray.
    QList<QWidget *> tabStops() const;

    // The text a row's copy puts on the clipboard: what the row shows of
    // the message (inline images gone, a user message's attachment block
    // as its paperclip lines, a reply whole), trimmed; nothing for a
    // message without text of its own.
    static QString copyText(const model::ChatMessage &message);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QMetaObject::Connection m_focusWatch;
    void placeComposer();
    void offerKeyboard(ApprovalCard *card);
    void answerApproval(const QString &approvalID, bool approved, bool allowWrites);

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    MarkdownRenderCache m_cache;
    TranscriptView *m_transcript = nullptr;
    ComposerBar *m_composer = nullptr;
    bool m_shownOnce = false;
};

} // namespace chat
