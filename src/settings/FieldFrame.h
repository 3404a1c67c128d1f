#pragma once

#include "glass/look/Styles.h"

#include <QWidget>

#include <optional>

class QLineEdit;

namespace settings {

// A one-line text field drawn from a field style: a rounded fill with a
// hairline around a frameless line edit, or (setChipFrost) the chip's
// frosted glass with its stroke.
class FieldFrame : public QWidget {
    Q_OBJECT
public:
    explicit FieldFrame(const QString &placeholder, QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    void setFieldStyle(const glass::FieldStyle &style, int padding);
    // Drawn on the chip frost of skin from now on (its text colours still
    // from the field style).
    void setChipFrost(const stage::UISkin &skin);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit = nullptr;
    glass::FieldStyle m_style;
    std::optional<stage::UISkin> m_frost;
};

} // namespace settings
