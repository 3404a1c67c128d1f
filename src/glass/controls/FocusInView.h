#pragma once

#include <QObject>

class QWidget;

namespace glass {

// A scrolling view that places its rows itself (no QScrollArea) and brings
// one of their controls into view when asked.
class RevealsControls {
public:
    virtual ~RevealsControls() = default;
    virtual void revealControl(QWidget *control) = 0;
};

// A control the keyboard reaches (Tab, Shift+Tab, a shortcut, the app
// moving it) is scrolled into view in every scroll area it lies in, from the
// innermost out, wherever the keyboard came from: a scroll area only does
// so itself when Tab moves within it. A click leaves the page where it is.
// One per application.
class FocusInView : public QObject {
    Q_OBJECT
public:
    explicit FocusInView(QObject *parent = nullptr);
    ~FocusInView() override;

    // Room kept between the control and the area's edge.
    static constexpr int kMargin = 24;
    static void reveal(QWidget *control);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace glass
