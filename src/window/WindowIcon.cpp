#include "window/WindowIcon.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>
#include <QWidget>

namespace window {

namespace {

// Watches the whole application for the first paint of a widget in the
// window (the window itself may never get one: its children cover it).
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(QWidget &window) : QObject(&window), m_window(window)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == &m_window) {
            qApp->removeEventFilter(this);
            // After the frame this paint belongs to has gone out.
            QTimer::singleShot(0, this, [this] {
                QApplication::setWindowIcon(windowIcon());
                deleteLater();
            });
        }
        return false;
    }

private:
    QWidget &m_window;
};

} // namespace

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/brand/AppIcon-%1.png").arg(size), QSize(size, size));
    return icon;
}

void setWindowIconAfterFirstFrame(QWidget &window)
{
    new AfterFirstPaint(window);
}

} // namespace window
