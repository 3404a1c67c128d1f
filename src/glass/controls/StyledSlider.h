#pragma once

#include "glass/look/Styles.h"

#include <QSlider>

namespace glass {

// A horizontal slider drawn from the styles: a thin track, the filled part
// in the accent colour, a round light knob.
class StyledSlider : public QSlider {
    Q_OBJECT
public:
    explicit StyledSlider(const Styles &styles, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const Styles *m_styles;
};

} // namespace glass
