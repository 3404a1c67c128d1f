#pragma once

#include <QPointer>
#include <QWidget>

namespace glass {

class StyleStore;

// A sheet inside a window: a scrim over the window's content and one
// content widget centred on sheet glass. Focus stays inside the sheet while
// it is open; Escape and Return pressed in it (and not taken by the focused
// control) come here. One sheet at a time per window: opening one closes
// any other sheet of the same window first.
class SheetOverlay : public QWidget {
    Q_OBJECT
public:
    SheetOverlay(QWidget *window, StyleStore &styles);

    // Shows content (taking ownership of it) and moves focus into it. The
    // content is deleted on close.
    void open(QWidget *content);
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
    void keepFocusInside(QWidget *now);

    QPointer<QWidget> m_window;
    StyleStore &m_styles;
    QPointer<QWidget> m_content;
};

} // namespace glass
