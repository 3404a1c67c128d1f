#pragma once

#include <QObject>
#include <QPointer>

class QWindow;

namespace window {

// Lets a window without the window manager's frame be resized from its
// edges: near an edge the pointer shows the resize shape and a press hands
// the drag to the window system (startSystemResize). Watches the window's
// own events, before any widget sees them.
class FramelessResize : public QObject {
    Q_OBJECT
public:
    explicit FramelessResize(QWindow *window, QObject *parent = nullptr);

    static constexpr int kBorder = 6;

    // The edges a point (window coordinates) is near, for a window of size.
    static Qt::Edges edgesAt(QPointF point, QSize size, int border = kBorder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWindow> m_window;
    bool m_cursorSet = false;
};

} // namespace window
