#pragma once

#include <QEasingCurve>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

namespace window {

class SlidePicture;

// A place in the main window for one view: laid out at its width, empty
// until a view is plugged in with setFactory(). While the slot is absent
// its view is destroyed, so a panel that leaves the window discards its
// state and comes back fresh.
//
// Coming and going may move: a slot with a width slides in from its leading
// edge and out again, fading, within its room, which it takes at once when
// it comes and gives back once gone; a slot without one moves in from the
// top over the widget below it (setOverlaid), fading, and takes its room in
// the layout only once in place (and gives it back as it starts to leave).
// Either way what lies beside or below is laid out once, not at every
// frame. While it moves the view is shown as a picture taken once.
class PanelSlot : public QWidget {
    Q_OBJECT
public:
    using Factory = std::function<QWidget *(QWidget *parent)>;

    // width 0: the slot takes what the layout gives it.
    PanelSlot(const QString &name, int width, QWidget *parent = nullptr);

    // A 1-pixel line along one side, outside the panel's width.
    void setEdgeLine(Qt::Edge edge, const QColor &color);
    // The panel's area inside the slot (without the line).
    QRect panelRect() const;

    void setFactory(Factory factory);
    bool hasFactory() const { return bool(m_factory); }
    QWidget *view() const { return m_view; }
    QSize sizeHint() const override;

    // Present or absent; with animated, it moves as set by setMotion().
    void setPresent(bool present, bool animated = false);
    bool isPresent() const { return m_present; }
    void setMotion(int ms, const QEasingCurve &curve);
    // What a slot without a width moves in over.
    void setOverlaid(QWidget *below);
    bool isAnimating() const;
    // How far in it is: 0 (away) ... 1 (in place).
    double progress() const { return m_progress; }

signals:
    void presenceSettled(bool present);
    // Each step of a move (0 away ... 1 in place), and settling in place.
    void progressChanged(double progress);

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void makeView();
    void dropView();
    void applyWidth(int width);
    void place();
    bool slidesSideways() const { return m_width > 0; }
    // Takes the view's picture where it lies in place, and shows it instead.
    void takePicture();
    QPixmap pictureOf(const QRect &area) const;
    void step(double progress);
    QRect lineRect() const;
    // How far a sideways panel stands out past its leading edge now (<= 0).
    int slideOffset() const;
    void settle();
    void relayoutWindow();

    int fullWidth() const { return m_width + (m_lineEdge ? 1 : 0); }

    int m_width = 0;
    std::optional<Qt::Edge> m_lineEdge;
    QColor m_lineColor;
    bool m_present = true;
    double m_progress = 1;
    int m_durationMs = 200;
    QEasingCurve m_curve;
    Factory m_factory;
    QPointer<QWidget> m_view;
    QPointer<QWidget> m_below;
    QVariantAnimation *m_motion = nullptr;
    SlidePicture *m_picture = nullptr;
};

} // namespace window
