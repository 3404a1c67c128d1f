#pragma once

#include <QStringView>

namespace chat {

// Columns of a code line: the line as written against the line drawn, whose
// tabs are spaces to the next multiple of four.
namespace TabColumns {

int shownColumn(QStringView line, int column);
// The written column nearest to a drawn one (inside a tab: its nearer end).
int writtenColumn(QStringView line, int shownColumn);

} // namespace TabColumns
} // namespace chat
