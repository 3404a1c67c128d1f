#include "window/FramelessResize.h"

#include <QMouseEvent>
#include <QWindow>

namespace window {

namespace {

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
    const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
    if ((left && top) || (right && bottom))
        return Qt::SizeFDiagCursor;
    if ((right && top) || (left && bottom))
        return Qt::SizeBDiagCursor;
    if (left || right)
        return Qt::SizeHorCursor;
    return Qt::SizeVerCursor;
}

} // namespace

FramelessResize::FramelessResize(QWindow *window, QObject *parent) : QObject(parent), m_window(window)
{
    if (m_window)
        m_window->installEventFilter(this);
}

Qt::Edges FramelessResize::edgesAt(QPointF point, QSize size, int border)
{
    Qt::Edges edges;
    if (point.x() < border)
        edges |= Qt::LeftEdge;
    if (point.x() >= size.width() - border)
        edges |= Qt::RightEdge;
    if (point.y() < border)
        edges |= Qt::TopEdge;
    if (point.y() >= size.height() - border)
        edges |= Qt::BottomEdge;
    return edges;
}

bool FramelessResize::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    const bool resizable = !(m_window->windowStates() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->buttons() != Qt::NoButton)
            break;
        const Qt::Edges edges = resizable ? edgesAt(mouse->position(), m_window->size()) : Qt::Edges();
        if (edges) {
            m_window->setCursor(cursorFor(edges));
            m_cursorSet = true;
        } else if (m_cursorSet) {
            m_window->unsetCursor();
            m_cursorSet = false;
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !resizable)
            break;
        const Qt::Edges edges = edgesAt(mouse->position(), m_window->size());
        if (edges && m_window->startSystemResize(edges))
            return true;
        break;
    }
    case QEvent::Leave:
        if (m_cursorSet) {
            m_window->unsetCursor();
            m_cursorSet = false;
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace window
