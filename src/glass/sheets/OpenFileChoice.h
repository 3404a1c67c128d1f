#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace glass {

// Asks for a file to open in a modal file dialog over `over`'s window and
// gives that window the keyboard back once the dialog has closed: without a
// window manager nothing else would, and keys would reach no window at all.
// Returns the chosen path, or an empty text when the person cancelled.
QString chooseFileToOpen(QWidget *over, const QString &caption, const QStringList &filters);

} // namespace glass
