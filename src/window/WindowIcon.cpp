#include "window/WindowIcon.h"

#include "window/AfterFirstFrame.h"

#include <QApplication>
#include <QIcon>

namespace window {

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/brand/AppIcon-%1.png").arg(size), QSize(size, size));
    return icon;
}

void setWindowIconAfterFirstFrame(QWidget &window)
{
    afterFirstFrame(window, [] { QApplication::setWindowIcon(windowIcon()); });
}

} // namespace window
