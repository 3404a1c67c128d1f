#pragma once

#include <QColor>
#include <QFont>

class QWidget;

namespace glass {

// The colour a widget's text is drawn in: its window text and, for widgets
// that edit or select text, its text role too.
void setInk(QWidget *widget, const QColor &ink);
// A label's font and ink at once.
void setTextStyle(QWidget *widget, const QFont &font, const QColor &ink);

} // namespace glass
