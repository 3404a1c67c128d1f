#pragma once

#include <QWidget>

namespace glass {
class SpinnerRing;
class StyleStore;
}

namespace panels {

// A small indeterminate progress ring; it ticks only while visible.
class ActivitySpinner : public QWidget {
    Q_OBJECT
public:
    explicit ActivitySpinner(glass::StyleStore &styles, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    glass::StyleStore &m_styles;
    glass::SpinnerRing *m_ring = nullptr;
};

} // namespace panels
