#pragma once

#include "glass/sheets/FocusTrap.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace glass {
class StyleStore;
}

namespace chat {

// Shows one popover at a time as an overlay inside the anchor's window, so
// its glass shows the stage behind it. The popover sits above its anchor,
// centred on it and kept inside the window. A press outside it closes it and
// still reaches what was pressed, except a press on one of the registered
// anchors, which decide themselves (a chip toggles its own popover and
// switches from another one in one press). It fades in over 0.12 s.
// While open it holds the keyboard (Tab goes round its controls, Return
// presses the focused one, nothing typed reaches the composer behind it);
// closed, it gives the keyboard back to what had it, else to the home
// control. Escape closes it before any window shortcut sees the key.
class TrayPopoverHost : public QObject {
    Q_OBJECT
public:
    explicit TrayPopoverHost(glass::StyleStore &styles, QObject *parent = nullptr);
    ~TrayPopoverHost() override;

    // Presses on these are left to them.
    void addAnchor(QWidget *anchor);
    // Where the keyboard goes on close when what had it is gone.
    void setFocusHome(glass::FocusTrap::Home home) { m_home = std::move(home); }

    // Takes the content (deleted when closed), gives it the tray glass
    // dressing unless it draws its own, and shows it above anchor with the
    // keyboard on entry (null: its first control). An open popover is
    // closed first (without closed()).
    void open(QWidget *anchor, QWidget *content, bool dressed = true, QWidget *entry = nullptr);
    // Closes the open popover, if any, and emits closed().
    void close();
    bool isOpen() const { return !m_content.isNull(); }
    QWidget *content() const { return m_content; }

    // The widget popovers of anchor lie in: the nearest ancestor holding
    // the stage (so the glass finds what is behind it), else the window.
    static QWidget *overlayParent(QWidget *anchor);
    // Where a popover of choices opens: on the choice in use (the first
    // checked button Tab reaches), so Return right after opening keeps it.
    // Null when none is checked.
    static QWidget *choiceInUse(QWidget *content);

    // Where a popover of size sits over anchor in window: above it with a
    // gap, centred, inside the window's margins (below it when there is no
    // room above).
    static QRect placement(const QRect &anchorInWindow, const QSize &size, const QSize &window);

    static constexpr int kGap = 8;
    static constexpr int kMargin = 8;
    static constexpr int kFadeMs = 120;

signals:
    // The popover went, by a press outside, Escape or close().
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void fadeIn(QWidget *content);
    void dismiss();
    bool isInside(QWidget *widget, QWidget *container) const;

    glass::StyleStore &m_styles;
    QPointer<QWidget> m_content;
    QPointer<QWidget> m_anchor;
    QPointer<QWidget> m_window; // the overlay parent
    QList<QPointer<QWidget>> m_anchors;
    QPointer<glass::FocusTrap> m_trap;
    glass::FocusTrap::Home m_home;
};

} // namespace chat
