#pragma once

#include "glass/paint/Backdrop.h"
#include "glass/look/Styles.h"
#include "stage/UISkin.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace glass {

// Base of the glass widgets: paints with the style store it is given,
// repaints when the skin changes, and finds the stage behind it.
class GlassSurface : public QWidget {
    Q_OBJECT
public:
    explicit GlassSurface(StyleStore &styles, QWidget *parent = nullptr);

    StyleStore &styleStore() const { return *m_styles; }

    // The part of the surface (its coordinates) painted opaque whatever the
    // stage behind it shows: a stage frame need not be drawn under it, nor
    // anything over it drawn again. Its whole rectangle when it paints
    // every pixel of it, else nothing unless it says otherwise.
    virtual QRegion solidRegion() const;
    // The style values and the skin in use, read at each draw.
    const Styles &styles() const;
    const stage::UISkin &skin() const;

protected:
    BackdropLocation backdrop() const { return locateBackdrop(this); }

    // Draws the whole surface through a cached image, drawn again only when
    // the backdrop's revision, the surface's place or size, the skin or the
    // surface's own look (invalidate()) changed. A stage frame that moves the
    // wallpaper by a fraction of a pixel then costs one blit per surface.
    using Draw = std::function<void(QPainter &, const BackdropFrame *backdrop, QPointF origin)>;
    void paintCached(QPainter &painter, const Draw &draw);
    void invalidate();

private:
    // What of the backdrop a surface shows enough of to be drawn again for:
    // whether media shows, how strongly, and the veil. The stage's frames
    // (a drifting image, a video) do not count; its switching on or off,
    // its fades and a new veil do, also for a surface Qt would not repaint
    // with the stage (an opaque one stands in for the stage below it).
    struct Shown {
        bool media = false;
        int opacity = 0; // in 64ths
        QRgb veil = 0, base = 0;
        bool operator==(const Shown &) const = default;
    };
    static Shown shownOf(const BackdropFrame *frame);
    void follow(BackdropProvider *provider);
    void backdropChanged();

    QPointer<StyleStore> m_styles;
    QPointer<QObject> m_followed;
    Shown m_shown;
    QImage m_cache;
    quint64 m_generation = 0;
    struct CacheKey {
        const void *provider = nullptr;
        quint64 revision = 0;
        QPointF origin;
        QSize pixels;
        quint64 generation = ~quint64(0);
        bool operator==(const CacheKey &) const = default;
    } m_cacheKey;
};

// Keeps a decoration piece placed with its host: under it as a sibling of
// the same size (a background: the host paints its own content over it),
// lying over it as a child (a border), or around it as a sibling (a shadow,
// stacked under the host's background when it has one). A host without a
// parent gets its background as its lowest child instead.
class HostFollower : public QObject {
    Q_OBJECT
public:
    enum class Placement { behind, over, around };
    HostFollower(QWidget *piece, QWidget *host, Placement placement, QMargins around = {},
                 QWidget *stackUnder = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sync();

    QPointer<QWidget> m_piece;
    QPointer<QWidget> m_host;
    QPointer<QWidget> m_under;
    Placement m_placement;
    QMargins m_around;
};

// A piece of decoration that only paints: overlays and shadows. It takes no
// mouse events.
class PaintedPiece : public QWidget {
    Q_OBJECT
public:
    using Paint = std::function<void(QPainter &, const QRectF &)>;
    PaintedPiece(QWidget *parent, Paint paint);

    // Keeps what it painted and copies that until invalidate() or a new
    // size: for a piece whose look changes only when its owner says so,
    // which a video stage below would otherwise have stroked again with
    // every frame.
    void setCached(bool cached);
    // The look changed: painted again at the next paint.
    void invalidate();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Paint m_paint;
    bool m_cached = false;
    QImage m_cache; // null: to be painted
};

// Puts piece behind, over or around host and keeps it there.
void attachToHost(QWidget *piece, QWidget *host, HostFollower::Placement placement, QMargins around = {},
                  QWidget *stackUnder = nullptr);

// A painted piece around host, reach pixels wider on every side and stacked
// under it, for what spills out of host's frame (a mark's shadow) while the
// layout sees only host's own size. paint gets host's rectangle in the
// piece's coordinates; it is not called once host is gone.
PaintedPiece *paintAround(QWidget *host, int reach, const PaintedPiece::Paint &paint);

} // namespace glass
