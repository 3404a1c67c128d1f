#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace glass {

class StyleStore;

// Shows where the keyboard is: a ring in the skin's accent around whatever
// control has the focus, in every window of the application, drawn over
// the control's neighbours and following it as it moves, scrolls or goes.
// Controls whose focus policy is Qt::NoFocus never get it (what should not
// take the keyboard says so with that policy). One per application.
class FocusRing : public QObject {
    Q_OBJECT
public:
    explicit FocusRing(StyleStore &styles, QObject *parent = nullptr);
    ~FocusRing() override;

    // The control the ring is around now, and the widget that draws it
    // (both null while no ring shows).
    QWidget *target() const { return m_target; }
    QWidget *ringWidget() const;
    // The rectangle the ring's stroke surrounds (kGap away), in its window's coordinates.
    QRect aroundInWindow() const;

    // The shape a control's ring follows: a rounded rectangle of this
    // radius, or with a negative radius a capsule. Default: 6.
    static void setShape(QWidget *control, qreal radius);
    // The ring goes around an ancestor (a field's frame) instead.
    static void setFrame(QWidget *control, QWidget *frame);
    // The ring lies just inside the control: rows that fill the popover or
    // list they are in, whose edge a ring outside would cross.
    static void setInside(QWidget *control, qreal radius);
    // A control that shows the keyboard its own way (a caret in the
    // accent where a ring would mean something else).
    static void setOwnIndicator(QWidget *control);

    static constexpr qreal kGap = 1.5;   // between the control and the ring
    static constexpr qreal kWidth = 2.5; // the ring's stroke
    static constexpr int kMargin = 5;    // room around the control for both

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(QWidget *focus);
    void place();
    void unwatch();
    QWidget *frameOf(QWidget *control) const;

    StyleStore &m_styles;
    QPointer<QWidget> m_target; // the focused control
    QPointer<QWidget> m_frame;  // what the ring goes around
    QList<QPointer<QWidget>> m_watched;
    QPointer<QWidget> m_ring;
    QMetaObject::Connection m_focusWatch;
};

} // namespace glass
