#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace glass {

class StyleStore;
class StyledButton;

// An alert as sheet content (on a SheetOverlay): a symbol, a title, the
// message as plain text, and buttons at the right, in the order added.
// Return presses the focused button, else the default one; Space presses
// the focused one; Escape is left to the overlay (it dismisses the sheet,
// as the alert's escape button would). Every press is told by answered().
class AlertSheet : public QWidget {
    Q_OBJECT
public:
    enum class Kind { warning, information };
    enum class Role {
        plain,       // a second choice
        preferred,   // drawn as the suggested action
        destructive, // drawn in the skin's danger colour
    };

    AlertSheet(StyleStore &styles, Kind kind, const QString &title, const QString &message, QWidget *parent = nullptr);

    StyledButton *addButton(const QString &text, Role role);
    // The button Return presses when focus is on no button; the sheet's
    // first stop for the keyboard (pass it as the overlay's entry).
    void setDefaultButton(StyledButton *button);
    StyledButton *defaultButton() const { return m_default; }
    QList<StyledButton *> buttons() const { return m_buttons; }

    QString title() const;
    QString message() const;
    void setMessage(const QString &message);
    Kind kind() const { return m_kind; }

    static constexpr int kWidth = 400;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void answered(glass::StyledButton *button);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restyle();

    StyleStore &m_styles;
    Kind m_kind;
    QLabel *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    QWidget *m_buttonRow = nullptr;
    QList<StyledButton *> m_buttons;
    QList<Role> m_roles;
    StyledButton *m_default = nullptr;
};

} // namespace glass
