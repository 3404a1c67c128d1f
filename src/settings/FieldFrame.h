#pragma once

#include "glass/Styles.h"

#include <QWidget>

class QLineEdit;

namespace settings {

// A one-line text field drawn from a field style: a rounded fill with a
// hairline around a frameless line edit.
class FieldFrame : public QWidget {
    Q_OBJECT
public:
    explicit FieldFrame(const QString &placeholder, QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    void setFieldStyle(const glass::FieldStyle &style, int padding);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit = nullptr;
    glass::FieldStyle m_style;
};

} // namespace settings
