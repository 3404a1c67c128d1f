#pragma once

#include "look/Backdrop.h"
#include "look/SkinStore.h"
#include "look/UISkin.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace look {

// (SkinStore below)

// Base of the glass widgets: knows the skin store (the shared one unless
// given), repaints when the skin changes, and finds the stage behind it.
class GlassSurface : public QWidget {
    Q_OBJECT
public:
    explicit GlassSurface(QWidget *parent = nullptr, SkinStore *skins = nullptr);

    SkinStore *skinStore() const { return m_skins; }
    // The skin in use, read at each draw.
    UISkin skin() const;

protected:
    BackdropLocation backdrop() const { return locateBackdrop(this); }

private:
    QPointer<SkinStore> m_skins;
};

// Keeps a decoration piece placed with its host: filling it from behind,
// lying over it, or (for shadows) as a sibling around it, stacked under it.
class HostFollower : public QObject {
    Q_OBJECT
public:
    enum class Placement { behind, over, around };
    HostFollower(QWidget *piece, QWidget *host, Placement placement, QMargins around = {});
    void setMargins(QMargins around);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sync();

    QPointer<QWidget> m_piece;
    QPointer<QWidget> m_host;
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Paint m_paint;
};

// Puts piece behind, over or around host and keeps it there.
void attachToHost(QWidget *piece, QWidget *host, HostFollower::Placement placement, QMargins around = {});

} // namespace look
