#include "glass/StageCover.h"

#include "glass/GlassSurface.h"

#include <QWidget>

namespace glass {

namespace {

// Whether surface is painted as it is into top's window: an effect (a
// fade, a shadow) on it or a parent draws it through a pixmap, and a window
// of its own is another surface altogether.
bool drawnAsItIs(const QWidget *surface, const QWidget *top)
{
    for (const QWidget *w = surface; w; w = w->parentWidget()) {
        if (w->graphicsEffect() || w->isWindow())
            return false;
        if (w == top)
            return true;
    }
    return false;
}

} // namespace

QRegion coveredByGlass(const QWidget *stage)
{
    QRegion covered;
    const QWidget *parent = stage ? stage->parentWidget() : nullptr;
    if (!parent || !stage->isVisible())
        return covered;
    const QObjectList &siblings = parent->children();
    // Children are painted in their order: only those after the stage lie above it.
    for (qsizetype i = siblings.indexOf(stage) + 1; i > 0 && i < siblings.size(); ++i) {
        auto *above = qobject_cast<QWidget *>(siblings.at(i));
        if (!above || above->isWindow() || !above->isVisible())
            continue;
        QList<GlassSurface *> surfaces = above->findChildren<GlassSurface *>();
        if (auto *self = qobject_cast<GlassSurface *>(above))
            surfaces.append(self);
        for (const GlassSurface *surface : std::as_const(surfaces)) {
            // A surface that does not repaint would leave the stage's old pixels there.
            if (!surface->isVisible() || !surface->updatesEnabled() || !drawnAsItIs(surface, above))
                continue;
            // Only what its parents let show of it.
            QRegion solid = surface->solidRegion() & surface->visibleRegion();
            if (!surface->mask().isEmpty())
                solid &= surface->mask();
            covered += solid.translated(surface->mapTo(parent, QPoint(0, 0)) - stage->pos());
        }
    }
    return covered & stage->rect();
}

} // namespace glass
