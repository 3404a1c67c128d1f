#pragma once

#include <QScrollArea>

namespace settings {

// The settings page's scroll area. Tab scrolls the control it reaches into
// view, as any scroll area does. A focused control that hides or is
// disabled (a button shown only in some states, one held while its action
// runs) hands the keyboard to the control before it, its neighbour or the
// control standing in for it, and leaves the page where it is instead of
// jumping to whatever control comes next further down.
class PageScrollArea : public QScrollArea {
    Q_OBJECT
public:
    using QScrollArea::QScrollArea;

protected:
    bool focusNextPrevChild(bool next) override;
};

} // namespace settings
