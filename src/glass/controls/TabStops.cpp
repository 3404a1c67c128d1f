#include "glass/controls/TabStops.h"

#include <QWidget>

#include <algorithm>

namespace glass::TabStops {

namespace {
constexpr int kSameRow = 8; // pixels between middles that still count as one row
}

bool isStop(const QWidget *w)
{
    return w && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->window() && w->isVisibleTo(w->window()) &&
           !w->window()->isHidden();
}

QList<QWidget *> readingOrder(const QWidget *region)
{
    struct Placed {
        QWidget *w;
        QPoint middle;
    };
    QList<Placed> placed;
    if (!region)
        return {};
    const QWidget *window = region->window();
    for (QWidget *w : region->findChildren<QWidget *>()) {
        if (!isStop(w) || !w->isVisibleTo(region))
            continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        placed.append({w, r.center()});
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed &a, const Placed &b) { return a.middle.y() < b.middle.y(); });
    // Rows: each takes what lies within kSameRow of its first middle.
    QList<QWidget *> out;
    for (qsizetype start = 0; start < placed.size();) {
        qsizetype end = start + 1;
        while (end < placed.size() && placed[end].middle.y() - placed[start].middle.y() <= kSameRow)
            ++end;
        std::stable_sort(placed.begin() + start, placed.begin() + end,
                         [](const Placed &a, const Placed &b) { return a.middle.x() < b.middle.x(); });
        for (qsizetype i = start; i < end; ++i)
            out.append(placed[i].w);
        start = end;
    }
    return out;
}

QWidget *step(const QList<QWidget *> &stops, const QWidget *from, bool forward)
{
    if (stops.isEmpty())
        return nullptr;
    const qsizetype n = stops.size();
    const qsizetype at = stops.indexOf(const_cast<QWidget *>(from));
    if (at < 0)
        return forward ? stops.first() : stops.last();
    return stops[(at + (forward ? 1 : n - 1)) % n];
}

} // namespace glass::TabStops
