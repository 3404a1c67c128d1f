#pragma once

#include "glass/sheets/FocusTrap.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace glass {

class StyleStore;

// A sheet inside a window: a scrim over the window's content and one
// content widget centred on sheet glass. Whatever the content, the sheet
// holds the keyboard while it is open (nothing typed reaches the window
// behind it) and gives it back when it closes, to what had it before or
// else to the window's home control; Escape and Return pressed in it (and
// not taken by the focused control) come here. One sheet at a time per
// window: opening one closes any other sheet of the same window first.
class SheetOverlay : public QWidget {
    Q_OBJECT
public:
    SheetOverlay(QWidget *window, StyleStore &styles);
    ~SheetOverlay() override;

    // Where the keyboard goes when a sheet closes and what had it before
    // is gone (the window's main control).
    void setFocusHome(FocusTrap::Home home) { m_home = std::move(home); }

    // Shows content (taking ownership of it) and moves focus into it: to
    // entry when given, else to its first control. The content is deleted
    // on close.
    void open(QWidget *content, QWidget *entry = nullptr);
    // Hides the sheet and deletes its content; closed() follows. Nothing
    // happens when no sheet is open.
    void close();

    bool isOpen() const { return m_content != nullptr; }
    QWidget *content() const { return m_content; }
    // Where the content sits, in the overlay's coordinates.
    QRect contentGeometry() const;

    static constexpr int kMargin = 24; // at least this much scrim around the sheet

signals:
    void accepted(); // Return: the opener decides whether the sheet closes
    void rejected(); // Escape; the sheet closes after it
    void closed();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void place();

    QPointer<QWidget> m_window;
    StyleStore &m_styles;
    QPointer<QWidget> m_content;
    QPointer<FocusTrap> m_trap;
    FocusTrap::Home m_home;
    // The sheet's glass, drawn again only when what it shows changed: the
    // stage moving under the scrim repaints the sheet many times a second.
    QImage m_glass;
    struct GlassKey {
        const void *provider = nullptr;
        quint64 revision = 0;
        QRect sheet;
        qreal dpr = 1;
        quint64 look = 0;
        bool operator==(const GlassKey &) const = default;
    } m_glassKey;
    quint64 m_look = 0; // moves with the skin
};

} // namespace glass
