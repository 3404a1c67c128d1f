#include "window/AfterFirstFrame.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace window {

namespace {

// Watches the whole application for the first paint of a widget in the
// window (the window itself may never get one: its children cover it).
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget &window, std::function<void()> work)
        : QObject(&window), m_window(window), m_work(std::move(work))
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_fired && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == &m_window) {
            m_fired = true;
            qApp->removeEventFilter(this);
            // After the frame this paint belongs to has gone out.
            QTimer::singleShot(0, this, [this] {
                m_work();
                deleteLater();
            });
        }
        return false;
    }

private:
    QWidget &m_window;
    std::function<void()> m_work;
    bool m_fired = false;
};

} // namespace

void afterFirstFrame(QWidget &window, std::function<void()> work)
{
    new AfterFirstPaint(window, std::move(work));
}

} // namespace window
