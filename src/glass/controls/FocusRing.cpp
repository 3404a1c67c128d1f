#include "glass/controls/FocusRing.h"

#include "glass/look/Styles.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace glass {

namespace {

constexpr char kRadiusProperty[] = "moonshelfFocusRingRadius";
constexpr char kFrameProperty[] = "moonshelfFocusRingFrame"; // how many parents up the frame is
constexpr char kOwnProperty[] = "moonshelfFocusRingOwn";
constexpr char kInsideProperty[] = "moonshelfFocusRingInside";
constexpr qreal kDefaultRadius = 6;

class RingWidget final : public QWidget {
public:
    RingWidget(StyleStore &styles, QWidget *parent) : QWidget(parent), m_styles(styles)
    {
        setObjectName(QStringLiteral("focusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

    QRectF around; // the control, in this widget's coordinates
    qreal radius = kDefaultRadius;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal out = FocusRing::kGap + FocusRing::kWidth / 2;
        const QRectF r = around.adjusted(-out, -out, out, out);
        const qreal corner = qMin(radius < 0 ? r.height() / 2 : radius + out, qMin(r.width(), r.height()) / 2);
        p.setPen(QPen(m_styles.styles().focusRing, FocusRing::kWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r, corner, corner);
    }

private:
    StyleStore &m_styles;
};

bool isViewport(const QWidget *w)
{
    const auto *area = w ? qobject_cast<const QAbstractScrollArea *>(w->parentWidget()) : nullptr;
    return area && area->viewport() == w;
}

// The nearest ancestor of frame that holds the whole ring; a scrolled
// viewport or the window when none does (the ring is clipped there as the
// control is).
QWidget *hostFor(QWidget *frame, int margin)
{
    QWidget *host = frame->parentWidget();
    while (host && !host->isWindow() && !isViewport(host)) {
        const QRect ring =
            QRect(frame->mapTo(host, QPoint(0, 0)), frame->size()).adjusted(-margin, -margin, margin, margin);
        if (host->rect().contains(ring))
            break;
        host = host->parentWidget();
    }
    return host;
}

} // namespace

FocusRing::FocusRing(StyleStore &styles, QObject *parent) : QObject(parent), m_styles(styles)
{
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
    connect(&styles, &StyleStore::changed, this, [this] {
        if (m_ring)
            m_ring->update();
    });
    follow(QApplication::focusWidget());
}

FocusRing::~FocusRing()
{
    disconnect(m_focusWatch);
    unwatch();
    delete m_ring;
}

QWidget *FocusRing::ringWidget() const
{
    return m_ring && m_ring->isVisible() ? m_ring.data() : nullptr;
}

QRect FocusRing::aroundInWindow() const
{
    QWidget *ring = ringWidget();
    if (!ring)
        return {};
    const QRectF around = static_cast<RingWidget *>(ring)->around;
    return around.translated(ring->mapTo(ring->window(), QPoint(0, 0))).toRect();
}

void FocusRing::setShape(QWidget *control, qreal radius)
{
    control->setProperty(kRadiusProperty, radius);
}

void FocusRing::setFrame(QWidget *control, QWidget *frame)
{
    int depth = 0;
    for (QWidget *w = control; w && w != frame; w = w->parentWidget())
        ++depth;
    control->setProperty(kFrameProperty, depth);
}

void FocusRing::setInside(QWidget *control, qreal radius)
{
    setShape(control, radius);
    control->setProperty(kInsideProperty, true);
}

void FocusRing::setOwnIndicator(QWidget *control)
{
    control->setProperty(kOwnProperty, true);
}

QWidget *FocusRing::frameOf(QWidget *control) const
{
    QWidget *frame = control;
    for (int up = control->property(kFrameProperty).toInt(); up > 0 && frame->parentWidget() && !frame->isWindow();
         --up)
        frame = frame->parentWidget();
    return frame;
}

void FocusRing::unwatch()
{
    for (const QPointer<QWidget> &w : std::as_const(m_watched))
        if (w)
            w->removeEventFilter(this);
    m_watched.clear();
}

void FocusRing::follow(QWidget *focus)
{
    unwatch();
    m_target = nullptr;
    m_frame = nullptr;
    if (!focus || focus->isWindow() || focus->focusPolicy() == Qt::NoFocus || focus->property(kOwnProperty).toBool()) {
        if (m_ring)
            m_ring->hide();
        return;
    }
    m_target = focus;
    m_frame = frameOf(focus);
    // Whatever moves the control moves the ring: it and each ancestor.
    for (QWidget *w = m_frame; w; w = w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.append(w);
        if (w->isWindow())
            break;
    }
    place();
}

void FocusRing::place()
{
    if (!m_frame || !m_frame->isVisible()) {
        if (m_ring)
            m_ring->hide();
        return;
    }
    const bool inside = m_target->property(kInsideProperty).toBool();
    QWidget *host = hostFor(m_frame, inside ? 0 : kMargin);
    if (!host)
        return;
    if (!m_ring)
        m_ring = new RingWidget(m_styles, host);
    else if (m_ring->parentWidget() != host)
        m_ring->setParent(host);
    auto *ring = static_cast<RingWidget *>(m_ring.data());
    const QRect around(m_frame->mapTo(host, QPoint(0, 0)), m_frame->size());
    const QVariant radius = m_target->property(kRadiusProperty);
    ring->radius = radius.isValid() ? radius.toReal() : kDefaultRadius;
    if (inside) {
        const qreal in = kGap + kWidth + 0.5;
        ring->setGeometry(around);
        ring->around = QRectF(0, 0, around.width(), around.height()).adjusted(in, in, -in, -in);
        ring->radius = qMax<qreal>(0, ring->radius - in);
    } else {
        ring->setGeometry(around.adjusted(-kMargin, -kMargin, kMargin, kMargin));
        ring->around = QRectF(kMargin, kMargin, around.width(), around.height());
    }
    ring->show();
    ring->raise();
    ring->update();
    // Whatever the focus change belonged to may raise its own widgets
    // (a popover) after this: stay on top of them.
    QTimer::singleShot(0, ring, [ring] { ring->raise(); });
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        // Perhaps into another window: its ancestors are others now.
        follow(m_target.data());
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched != m_ring)
            place();
        break;
    default:
        break;
    }
    return false;
}

} // namespace glass
