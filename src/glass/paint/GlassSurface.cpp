#include "glass/paint/GlassSurface.h"

#include "glass/paint/PaintBands.h"
#include "glass/look/Styles.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>

namespace glass {

GlassSurface::GlassSurface(StyleStore &styles, QWidget *parent)
    : QWidget(parent)
    , m_styles(&styles)
{
    connect(&styles, &StyleStore::changed, this, &GlassSurface::invalidate);
}

QRegion GlassSurface::solidRegion() const
{
    return testAttribute(Qt::WA_OpaquePaintEvent) ? QRegion(rect()) : QRegion();
}

void GlassSurface::invalidate()
{
    ++m_generation;
    update();
}

GlassSurface::Shown GlassSurface::shownOf(const BackdropFrame *frame)
{
    if (!frame)
        return {};
    return {!frame->blurred.isNull(), int(std::lround(frame->mediaOpacity * 64)), frame->veil.rgba(),
            frame->base.rgba()};
}

void GlassSurface::follow(BackdropProvider *provider)
{
    QObject *notifier = provider ? provider->backdropWidget() : nullptr;
    if (notifier == m_followed)
        return;
    if (m_followed)
        disconnect(m_followed, nullptr, this, nullptr);
    m_followed = notifier;
    if (provider)
        // Queued: the stage may say so while a paint is under way, when an
        // update asked for would be lost.
        provider->followBackdrop(this, [this] { backdropChanged(); });
}

void GlassSurface::backdropChanged()
{
    if (!isVisible())
        return;
    const BackdropLocation where = backdrop();
    if (!(shownOf(where.provider ? &where.provider->backdropFrame() : nullptr) == m_shown))
        update();
}

void GlassSurface::paintCached(QPainter &painter, const Draw &draw)
{
    const BackdropLocation where = backdrop();
    follow(where.provider);
    const BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
    const qreal dpr = devicePixelRatioF();
    const CacheKey key{where.provider, frame ? frame->revision : 0, where.origin,
                       (QSizeF(size()) * dpr).toSize(), m_generation};
    if (!(key == m_cacheKey) || m_cache.isNull()) {
        m_cacheKey = key;
        m_shown = shownOf(frame);
        m_cache = QImage(key.pixels, QImage::Format_ARGB32_Premultiplied);
        m_cache.setDevicePixelRatio(dpr);
        m_cache.fill(Qt::transparent);
        QPainter cache(&m_cache);
        draw(cache, frame, where.origin);
    }
    paintInBands(painter, rect(), [&](const QRect &) { painter.drawImage(QPointF(0, 0), m_cache); });
}

const Styles &GlassSurface::styles() const
{
    return m_styles->styles();
}

const stage::UISkin &GlassSurface::skin() const
{
    return m_styles->styles().skin;
}

HostFollower::HostFollower(QWidget *piece, QWidget *host, Placement placement, QMargins around,
                           QWidget *stackUnder)
    : QObject(piece)
    , m_piece(piece)
    , m_host(host)
    , m_under(stackUnder)
    , m_placement(placement)
    , m_around(around)
{
    host->installEventFilter(this);
    sync();
}

bool HostFollower::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_host)
        return false;
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::Hide:
    // Hidden or shown while its window is not on screen yet: no Show/Hide
    // comes, and a piece left visible would cover its neighbours.
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::ParentChange:
    case QEvent::ZOrderChange:
        sync();
        break;
    case QEvent::ChildAdded:
        // Children added later stack above the overlay: lift it again once they are in.
        if (m_placement == Placement::over)
            QTimer::singleShot(0, this, [this] {
                if (m_piece)
                    m_piece->raise();
            });
        break;
    default:
        break;
    }
    return false;
}

void HostFollower::sync()
{
    if (!m_piece || !m_host)
        return;
    QWidget *parent = m_host->parentWidget();
    if (m_placement == Placement::over) {
        m_piece->setGeometry(m_host->rect());
        m_piece->raise();
        return;
    }
    if (m_placement == Placement::behind && !parent) {
        if (m_piece->parentWidget() != m_host)
            m_piece->setParent(m_host);
        m_piece->setGeometry(m_host->rect());
        m_piece->lower();
        m_piece->show();
        return;
    }
    if (!parent)
        return;
    if (m_piece->parentWidget() != parent)
        m_piece->setParent(parent);
    const QRect body = m_host->geometry();
    m_piece->setGeometry(m_placement == Placement::around ? body.marginsAdded(m_around) : body);
    m_piece->setVisible(m_host->isVisibleTo(parent));
    QWidget *above = m_under && m_under->parentWidget() == parent ? m_under.data() : m_host.data();
    m_piece->stackUnder(above);
}

PaintedPiece::PaintedPiece(QWidget *parent, Paint paint)
    : QWidget(parent)
    , m_paint(std::move(paint))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void PaintedPiece::setCached(bool cached)
{
    m_cached = cached;
    invalidate();
}

void PaintedPiece::invalidate()
{
    m_cache = QImage();
    update();
}

void PaintedPiece::paintEvent(QPaintEvent *event)
{
    if (m_cached) {
        const qreal dpr = devicePixelRatioF();
        const QSize pixels = (QSizeF(size()) * dpr).toSize();
        if (m_cache.size() != pixels || m_cache.devicePixelRatio() != dpr) {
            m_cache = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            m_cache.setDevicePixelRatio(dpr);
            m_cache.fill(Qt::transparent);
            QPainter cache(&m_cache);
            cache.setRenderHint(QPainter::Antialiasing);
            m_paint(cache, QRectF(rect()));
        }
        QPainter p(this);
        // Only the parts asked for: over a video stage that is the thin
        // rim its glass leaves uncovered.
        paintInBands(p, event->rect() & rect(), [&](const QRect &band) {
            p.drawImage(QRectF(band), m_cache, QRectF(QPointF(band.topLeft()) * dpr, QSizeF(band.size()) * dpr));
        });
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // In bands: a piece as tall as the composer is stroked whenever the list
    // scrolls under it, and the raster engine would share each stroke out
    // to its thread pool.
    paintInBands(p, event->rect() & rect(), [&](const QRect &) { m_paint(p, QRectF(rect())); });
}

void attachToHost(QWidget *piece, QWidget *host, HostFollower::Placement placement, QMargins around,
                  QWidget *stackUnder)
{
    piece->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (placement == HostFollower::Placement::over) {
        piece->setParent(host);
        piece->show();
    }
    new HostFollower(piece, host, placement, around, stackUnder);
    // A sibling piece goes with its host.
    if (placement != HostFollower::Placement::over)
        QObject::connect(host, &QObject::destroyed, piece, [piece] {
            piece->hide();
            piece->deleteLater();
        });
}

PaintedPiece *paintAround(QWidget *host, int reach, const PaintedPiece::Paint &paint)
{
    const QPointer<QWidget> guard(host);
    const QMarginsF margins(reach, reach, reach, reach);
    auto *piece = new PaintedPiece(host->parentWidget(), [guard, margins, paint](QPainter &p, const QRectF &r) {
        if (guard)
            paint(p, r.marginsRemoved(margins));
    });
    attachToHost(piece, host, HostFollower::Placement::around, QMargins(reach, reach, reach, reach));
    return piece;
}

} // namespace glass
