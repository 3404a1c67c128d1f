#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace glass {
class SpinnerRing;
}

namespace settings {

// An indeterminate spinner with an optional label after it.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(const QString &label = {}, QWidget *parent = nullptr);

    void setLook(const QFont &font, const QColor &color);
    QString label() const { return m_label; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_label;
    QFont m_font;
    QColor m_color;
    glass::SpinnerRing *m_ring = nullptr;
};

} // namespace settings
