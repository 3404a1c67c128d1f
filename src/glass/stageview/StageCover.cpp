#include "glass/stageview/StageCover.h"

#include "glass/paint/GlassSurface.h"

#include <QWidget>

namespace glass {

namespace {

// Adds what the glass in widget's tree hides. at: widget's top-left corner
// and shown: what its ancestors let show, both in the stage's parent's
// coordinates. A tree that shows nothing there, is hidden, is drawn
// through a pixmap (an effect: a fade, a shadow) or is a window of its own
// is not walked: a list keeps many rows out of sight or hidden for reuse,
// and each paint of the stage asks.
void addCovered(const QWidget *widget, QPoint at, const QRect &shown, QRegion &covered)
{
    const QRect inside = shown & QRect(at, widget->size());
    if (inside.isEmpty() || widget->graphicsEffect())
        return;
    // A surface that does not repaint would leave the stage's old pixels there.
    if (auto *surface = qobject_cast<const GlassSurface *>(widget); surface && surface->updatesEnabled()) {
        if (QRegion solid = surface->solidRegion(); !solid.isEmpty()) {
            // Only what its parents let show of it.
            solid &= surface->visibleRegion();
            if (!surface->mask().isEmpty())
                solid &= surface->mask();
            covered += solid.translated(at);
        }
    }
    for (const QObject *child : widget->children()) {
        if (!child->isWidgetType())
            continue;
        auto *w = static_cast<const QWidget *>(child);
        if (!w->isWindow() && w->isVisible())
            addCovered(w, at + w->pos(), inside, covered);
    }
}

} // namespace

QRegion coveredByGlass(const QWidget *stage)
{
    return stage ? coveredByGlass(stage, stage->rect()) : QRegion();
}

QRegion coveredByGlass(const QWidget *stage, const QRect &within)
{
    QRegion covered;
    const QWidget *parent = stage ? stage->parentWidget() : nullptr;
    if (!parent || !stage->isVisible())
        return covered;
    const QObjectList &siblings = parent->children();
    const QRect onStage = (within & stage->rect()).translated(stage->pos());
    // Children are painted in their order: only those after the stage lie above it.
    for (qsizetype i = siblings.indexOf(stage) + 1; i > 0 && i < siblings.size(); ++i) {
        if (!siblings.at(i)->isWidgetType())
            continue;
        auto *above = static_cast<const QWidget *>(siblings.at(i));
        if (!above->isWindow() && above->isVisible())
            addCovered(above, above->pos(), onStage, covered);
    }
    return covered.translated(-stage->pos()) & (within & stage->rect());
}

} // namespace glass
