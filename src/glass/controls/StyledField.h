#pragma once

#include "glass/look/Styles.h"

#include <QLineEdit>

namespace glass {

// A one-line text field painted from a FieldStyle: a rounded fill and
// hairline that brighten with focus, the style's text, placeholder and
// selection colours. No frame of the platform style.
class StyledField : public QLineEdit {
    Q_OBJECT
public:
    explicit StyledField(const FieldStyle &style, QWidget *parent = nullptr);

    // Takes up the style's font, colours and padding again (after the store changed).
    void restyle();

    // pal for a frameless line edit over a painted field: no base of its
    // own, the selection's text in the field's text colour.
    static QPalette textPalette(QPalette pal, const QColor &text, const QColor &placeholder, const QColor &selection);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const FieldStyle *m_style;
};

} // namespace glass
