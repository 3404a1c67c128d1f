#include "chat/markdown/TabColumns.h"

namespace chat::TabColumns {

int shownColumn(QStringView line, int column)
{
    int shown = 0;
    for (int i = 0; i < column && i < line.size(); ++i)
        shown += line[i] == u'\t' ? 4 - shown % 4 : 1;
    return shown;
}

int writtenColumn(QStringView line, int shown)
{
    int at = 0;
    for (int i = 0; i < line.size(); ++i) {
        const int width = line[i] == u'\t' ? 4 - at % 4 : 1;
        if (shown < at + width)
            return (shown - at) * 2 <= width ? i : i + 1;
        at += width;
    }
    return int(line.size());
}

} // namespace chat::TabColumns
