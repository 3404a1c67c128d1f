#pragma once

#include <QAbstractButton>

class QVariantAnimation;

namespace settings {

// The small animated tip button: two glasses that tilt when tapped and
// grow a little under the pointer. The tap runs the action at once; the
// tilt is only decoration and is left out when motion is reduced.
class ClinkingGlasses : public QAbstractButton {
    Q_OBJECT
public:
    explicit ClinkingGlasses(QWidget *parent = nullptr);

    void setReduceMotion(bool reduce) { m_reduceMotion = reduce; }
    qreal tilt() const { return m_tilt; }
    QSize sizeHint() const override { return QSize(36, 36); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void tiltTo(qreal degrees, int ms);

    bool m_reduceMotion = false;
    qreal m_tilt = 0;
    qreal m_scale = 1;
    QVariantAnimation *m_tiltAnimation = nullptr;
    QVariantAnimation *m_scaleAnimation = nullptr;
};

} // namespace settings
