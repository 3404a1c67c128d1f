#pragma once

#include "chat/transcript/ApprovalText.h"
#include "model/RunRecords.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace glass {
class StyleStore;
class StyledButton;
} // namespace glass

namespace chat {

// Asks the user to allow or deny one tool call the run waits on: risk
// symbol and badge, the call's name and summary, its preview with every
// hidden character shown, and Deny / "Allow writes this session" / Approve.
// Each answer names the approval the card was drawn for, and no press
// counts in the first moments a card is up, so a double click meant for
// something else never approves it. With the keyboard, Return approves and
// Escape denies, Tab goes card, Deny, Allow writes, Approve; characters
// typed on it go on into the composer (typing never answers a card), and
// while it does not hold the keyboard it says how to reach it.
class ApprovalCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int kArmDelayMs = 250;

    ApprovalCard(const model::PendingApproval &pending, glass::StyleStore &styles, QWidget *parent = nullptr);
    ~ApprovalCard() override;

    static QString keyboardHint() { return QStringLiteral("Press Tab to answer here: Return approves, Esc denies."); }

    // Where what is typed on the card goes on, and where the keyboard goes
    // back to when the card goes (the composer).
    void setTypingTarget(QWidget *target);
    // Puts the card and its buttons in the Tab order right after before.
    void placeInTabOrderAfter(QWidget *before);
    void takeKeyboard();
    bool holdsKeyboard() const;
    // The hint shows while the card does not hold the keyboard.
    void refreshHint();
    bool isHintShown() const;
    // Leaves: the keyboard goes back first, then the card hides and is
    // deleted later (it may be leaving from inside its own signal).
    void retire();

    const model::PendingApproval &pending() const { return m_pending; }
    // Presses the buttons would make (for keys and tests); false when the
    // card does not take input yet.
    bool deny() { return answer(false, false); }
    bool approve() { return answer(true, false); }
    bool allowWrites();
    bool isArmed() const;
    // For tests: arms the card now instead of after the delay.
    void armNow() { m_armed = true; }

    QString previewText() const;
    int buttonCount() const;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    // Once per card at most.
    void answered(const QString &approvalID, bool approved, bool allowWritesForChat);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showHint(bool shown);
    bool answer(bool approved, bool allowWrites);
    void applyLook();
    void fitPreview();

    model::PendingApproval m_pending;
    glass::StyleStore &m_styles;
    ApprovalText::RiskLook m_look;
    VisiblePreview m_visible;
    QElapsedTimer m_shown;
    bool m_armed = false;
    bool m_done = false;
    QPointer<QWidget> m_typingTarget;
    QMetaObject::Connection m_focusWatch;

    QLabel *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_badge = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_hint = nullptr;
    QWidget *m_previewFrame = nullptr;
    QPlainTextEdit *m_preview = nullptr;
    glass::StyledButton *m_deny = nullptr;
    glass::StyledButton *m_allowWrites = nullptr;
    glass::StyledButton *m_approve = nullptr;
};

} // namespace chat
