#pragma once

#include <QTimer>
#include <QWidget>

namespace glass {
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
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    glass::StyleStore &m_styles;
    QTimer m_tick;
    int m_angle = 0;
};

} // namespace panels
