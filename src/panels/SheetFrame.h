#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace glass {
struct ButtonStyle;
class StyleStore;
class StyledButton;
}

namespace panels {

// What the sidebar's sheets share: a headline over the sheet's own rows,
// then Cancel and one action at the right. Return is the action wherever
// focus is inside the sheet, not the focused button; Escape is left to the
// overlay.
class SheetFrame : public QWidget {
    Q_OBJECT
public:

    static constexpr int kWidth = 360;

signals:
    void cancelled();

protected:
    SheetFrame(glass::StyleStore &styles, const QString &headline, QWidget *parent);

    // The button row under the rows added to column() so far; the action
    // button confirms.
    glass::StyledButton *addButtons(const QString &action, const glass::ButtonStyle &style);
    // Return and the action button.
    virtual void confirm() = 0;
    // Follows the skin; overrides call this first. Subclasses call it once
    // at the end of their constructor.
    virtual void restyle();

    QVBoxLayout *column() const { return m_column; }
    QLabel *headline() const { return m_headline; }
    glass::StyleStore &styles() const { return m_styles; }

    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    glass::StyleStore &m_styles;
    QVBoxLayout *m_column = nullptr;
    QLabel *m_headline = nullptr;
    glass::StyledButton *m_cancel = nullptr;
    glass::StyledButton *m_action = nullptr;
};

} // namespace panels
