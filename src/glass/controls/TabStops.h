#pragma once

#include <QList>

class QWidget;

namespace glass::TabStops {

// The controls under region that Tab reaches (taking the keyboard by Tab,
// enabled, shown), as a person reads them: row by row from the top, each
// row from the left. Controls whose middles lie within a few pixels of
// each other's height share a row, so a short chip beside a taller button
// is not taken for a row of its own.
QList<QWidget *> readingOrder(const QWidget *region);

// The stop after (forward) or before from, going round at either end; the
// first (last) one when from is not a stop. Null when there are none.
QWidget *step(const QList<QWidget *> &stops, const QWidget *from, bool forward);

// Whether w is a control Tab may reach now.
bool isStop(const QWidget *w);

} // namespace glass::TabStops
