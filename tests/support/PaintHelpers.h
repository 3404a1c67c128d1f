#pragma once

// Helpers for tests that paint widgets and check pictures (the including
// test links Qt Widgets).

#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QRegion>
#include <QStringList>
#include <QWidget>

namespace testsupport {

// The ids of the skin files in a folder, sorted.
inline QStringList skinIds(const QString &folder)
{
    QStringList ids;
    QDirIterator it(folder, {QStringLiteral("*.json")});
    while (it.hasNext())
        ids << QFileInfo(it.next()).completeBaseName();
    ids.sort();
    return ids;
}

// The widget painted band by band, as exposure after scrolling paints it;
// a band as tall as the widget paints it whole.
inline QImage renderInBands(QWidget &widget, int band)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    for (int y = 0; y < widget.height(); y += band)
        widget.render(&image, QPoint(0, y), QRegion(0, y, widget.width(), band));
    return image;
}

} // namespace testsupport
