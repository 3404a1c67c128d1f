#pragma once

#include <QAbstractButton>
#include <QColor>

namespace glass {

// A small switch with its label on the left, as the stage panel uses.
class GlassSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit GlassSwitch(const QString &label, QWidget *parent = nullptr);

    void setColors(const QColor &label, const QColor &on, const QColor &off);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_label{Qt::gray};
    QColor m_on{Qt::blue};
    QColor m_off{255, 255, 255, 46};
};

} // namespace glass
