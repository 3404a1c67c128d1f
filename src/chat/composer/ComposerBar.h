#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace app {
class AppViewModel;
}
namespace glass {
class FrostFieldModifier;
class StyleStore;
} // namespace glass

namespace chat {

class ComposerField;

// The message-entry block pinned to the bottom of the chat pane: a frosted
// card holding the attachment strip's place, the field bound to the
// controller's draft with its rotating placeholder, and the tray row's
// place. While dictation listens the card glows and carries an accent ring.
class ComposerBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCardMaxWidth = 800;
    // Room above and below the card within the bar.
    static constexpr int kVerticalPad = 16;

    ComposerBar(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    ComposerField *field() const { return m_field; }
    // The frosted card itself (drops land on it).
    QWidget *card() const { return m_card; }
    // Where the attachment chips and the tray row go (both empty until built).
    QWidget *attachmentSlot() const { return m_attachments; }
    QWidget *traySlot() const { return m_tray; }

    // The draft as typed this moment: dictation reads it when a result
    // comes, so a result never overwrites what the user typed meanwhile.
    QString draftNow() const;
    std::function<QString()> draftReader();

    // Dictation's state, set by whoever runs it.
    void setListening(bool listening);
    bool isListening() const { return m_listening; }
    // Called as a run starts, to end any dictation.
    void setStopDictation(std::function<void()> stop) { m_stopDictation = std::move(stop); }

    int placeholderIndex() const { return m_placeholderIndex; }
    void setPlaceholderIndex(int index);
    QString placeholder() const;
    bool canCompose() const;
    QSize sizeHint() const override;
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }

signals:
    void heightChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    void pullDraft();
    void onRunningChanged();
    void refreshPlaceholder();
    void applyLook();
    void placeCard();
    void takeFocus();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    QWidget *m_card = nullptr;
    QWidget *m_attachments = nullptr;
    QWidget *m_fieldArea = nullptr;
    ComposerField *m_field = nullptr;
    QWidget *m_tray = nullptr;
    QWidget *m_ring = nullptr;
    glass::FrostFieldModifier *m_frost = nullptr;
    std::function<void()> m_stopDictation;
    int m_placeholderIndex = 0;
    bool m_listening = false;
    bool m_wasRunning = false;
    bool m_pushing = false;
    bool m_focusedOnce = false;
};

} // namespace chat
