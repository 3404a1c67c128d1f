#pragma once

#include "glass/look/Styles.h"

#include <QPushButton>

namespace glass {

// A push button painted from a ButtonStyle: a rounded fill that follows
// hover, press and disabled, a hairline, an icon and the label centred.
// The style is read at each paint, so a button given a member of
// StyleStore::styles() only needs restyle() when the store changes.
class StyledButton : public QPushButton {
    Q_OBJECT
public:
    StyledButton(const QString &text, const ButtonStyle &style, QWidget *parent = nullptr);

    const ButtonStyle &buttonStyle() const { return *m_style; }
    void setButtonStyle(const ButtonStyle &style);
    // Takes up the style's font and sizes again (after the store changed).
    void restyle();

    // The colours of the current state.
    QColor currentFill() const;
    QColor currentText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const ButtonStyle *m_style;
};

} // namespace glass
