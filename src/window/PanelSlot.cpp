#include "window/PanelSlot.h"

#include "glass/paint/PaintBands.h"

#include "window/SlidePicture.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace window {

PanelSlot::PanelSlot(const QString &name, int width, QWidget *parent)
    : QWidget(parent), m_width(width), m_curve(QEasingCurve::InOutQuad)
{
    setObjectName(name);
    if (m_width > 0)
        setFixedWidth(m_width);
    // Views here are glass over the stage: the slot itself draws nothing
    // but its line.
    else
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_motion = new QVariantAnimation(this);
    m_motion->setObjectName(name + QStringLiteral("Slide"));
    connect(m_motion, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) { step(v.toDouble()); });
    connect(m_motion, &QVariantAnimation::finished, this, &PanelSlot::settle);
}

void PanelSlot::setEdgeLine(Qt::Edge edge, const QColor &color)
{
    m_lineEdge = edge;
    m_lineColor = color;
    if (m_width > 0 && m_present && !isAnimating())
        setFixedWidth(fullWidth());
    place();
    update();
}

QRect PanelSlot::panelRect() const
{
    QRect r = rect();
    if (m_lineEdge == Qt::LeftEdge)
        r.setLeft(1);
    else if (m_lineEdge == Qt::RightEdge)
        r.setRight(r.right() - 1);
    return r;
}

void PanelSlot::paintEvent(QPaintEvent *)
{
    if (!m_lineEdge)
        return;
    // The line rides on the panel's trailing edge while it moves, fading.
    QPainter p(this);
    p.setOpacity(m_progress);
    // In bands: a line the window's height is as many spans, which Qt's
    // engine would share out among its threads on every frame of a video stage.
    glass::paintInBands(p, lineRect(), [&](const QRect &band) { p.fillRect(band, m_lineColor); });
}

QRect PanelSlot::lineRect() const
{
    if (!m_lineEdge)
        return {};
    const QRect inPlace(*m_lineEdge == Qt::LeftEdge ? 0 : width() - 1, 0, 1, height());
    return slidesSideways() ? inPlace.translated(slideOffset(), 0) : inPlace;
}

int PanelSlot::slideOffset() const
{
    return -int(std::lround((1 - m_progress) * m_width));
}

void PanelSlot::setFactory(Factory factory)
{
    m_factory = std::move(factory);
    dropView();
    if (m_present)
        makeView();
}

QSize PanelSlot::sizeHint() const
{
    if (m_view && m_width <= 0)
        return m_view->sizeHint();
    return {fullWidth(), 0};
}

void PanelSlot::setMotion(int ms, const QEasingCurve &curve)
{
    m_durationMs = ms;
    m_curve = curve;
}

void PanelSlot::setOverlaid(QWidget *below)
{
    m_below = below;
}

bool PanelSlot::isAnimating() const
{
    return m_motion->state() == QAbstractAnimation::Running;
}

void PanelSlot::setPresent(bool present, bool animated)
{
    if (present == m_present && !isAnimating())
        return;
    m_present = present;
    if (present)
        makeView();
    const bool moving = isAnimating();
    m_motion->stop();
    const bool canMove = m_view && (slidesSideways() || m_below);
    if (!animated || m_durationMs <= 0 || !canMove) {
        settle();
        return;
    }
    // A sideways slot holds its whole room while it moves: taken at once
    // when it comes, given back only once it is gone, so the columns beside
    // it are laid out once, not at every frame.
    if (slidesSideways() && present && isHidden()) {
        applyWidth(fullWidth());
        setVisible(true);
        relayoutWindow();
    }
    // Turning back keeps the picture it moves already.
    if (!moving)
        takePicture();
    m_motion->setDuration(m_durationMs);
    m_motion->setEasingCurve(m_curve);
    m_motion->setStartValue(m_progress);
    m_motion->setEndValue(present ? 1.0 : 0.0);
    m_motion->start();
}

void PanelSlot::takePicture()
{
    if (slidesSideways()) {
        setVisible(true);
        if (!m_picture)
            m_picture = new SlidePicture(this);
        m_picture->setObjectName(objectName() + QStringLiteral("Picture"));
        // Taken where it lies in place: its glass shows what is behind it there.
        m_view->move(m_lineEdge == Qt::LeftEdge ? 1 : 0, 0);
        m_picture->setPicture(pictureOf(m_view->geometry()));
        m_view->hide();
        place();
    } else {
        if (!m_picture || m_picture->parentWidget() != m_below) {
            delete m_picture;
            m_picture = new SlidePicture(m_below);
            m_picture->setObjectName(objectName() + QStringLiteral("Picture"));
        }
        // Shown but no room taken while it moves: the room below is given
        // back at once and taken only in place. (A hidden view would be
        // laid out for its picture by laying out the whole window.)
        const QRect inPlace(QPoint(0, 0), m_present ? QSize(m_below->width(), qMin(m_view->sizeHint().height(),
                                                                                   m_view->maximumHeight()))
                                                    : m_view->size());
        setMaximumHeight(0);
        setVisible(true);
        relayoutWindow();
        m_view->setGeometry(inPlace);
        m_view->show();
        m_picture->setPicture(pictureOf(inPlace));
        m_picture->setGeometry(inPlace);
        m_view->hide();
    }
    m_picture->show();
    m_picture->raise();
    step(m_progress);
}

QPixmap PanelSlot::pictureOf(const QRect &area) const
{
    // The view with what lies behind and over it: its glass is a piece of
    // its own beside it in the slot.
    const qreal dpr = devicePixelRatioF();
    QPixmap picture((QSizeF(area.size()) * dpr).toSize());
    picture.setDevicePixelRatio(dpr);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    for (QObject *child : children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && w != m_picture && w->isVisibleTo(this) && w->geometry().intersects(area))
            w->render(&p, w->pos() - area.topLeft(), QRegion(), QWidget::DrawChildren);
    }
    return picture;
}

void PanelSlot::step(double progress)
{
    const QRect lineBefore = lineRect();
    m_progress = progress;
    emit progressChanged(progress);
    if (m_lineEdge)
        update(lineBefore.united(lineRect()));
    if (!m_picture || m_picture->isHidden())
        return;
    // Out of sight past the leading edge, or above the top.
    const QPoint travel = slidesSideways() ? QPoint(slideOffset(), 0)
                                           : QPoint(0, -int(std::lround((1 - progress) * m_picture->height())));
    m_picture->setPlacement(travel, progress);
}

void PanelSlot::settle()
{
    m_progress = m_present ? 1 : 0;
    // Settled away, what stood beside it is laid out anew just after: only
    // settling in place is a step of its own.
    if (m_present)
        emit progressChanged(m_progress);
    if (m_picture)
        m_picture->clear();
    if (slidesSideways())
        applyWidth(m_present ? fullWidth() : 0);
    else
        setMaximumHeight(QWIDGETSIZE_MAX);
    setVisible(m_present);
    if (m_present && m_view) {
        place();
        m_view->show();
    } else if (!m_present) {
        dropView();
    }
    if (!slidesSideways() && m_below)
        relayoutWindow();
    emit presenceSettled(m_present);
}

void PanelSlot::relayoutWindow()
{
    // Now, so the picture and the room below agree in this very frame.
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (w->layout())
            w->layout()->activate();
        if (w->isWindow())
            break;
    }
}

void PanelSlot::applyWidth(int width)
{
    setFixedWidth(width);
    place();
}

void PanelSlot::makeView()
{
    if (m_view || !m_factory)
        return;
    m_view = m_factory(this);
    if (!m_view)
        return;
    place();
    m_view->show();
}

void PanelSlot::dropView()
{
    // Later, not now: the view may be the one whose click sent it away (the
    // tool log's reveal steps it aside), still inside its own handler.
    if (QWidget *view = m_view.data()) {
        m_view = nullptr;
        view->hide();
        view->deleteLater();
    }
}

void PanelSlot::place()
{
    // A sliding panel keeps its own width and moves out at the leading
    // edge, rather than being squeezed.
    const QRect panel = panelRect();
    const int w = m_width > 0 ? m_width : panel.width();
    const QRect where(panel.right() + 1 - w, 0, w, height());
    if (m_view)
        m_view->setGeometry(where);
    if (m_picture && slidesSideways())
        m_picture->setGeometry(where);
}

bool PanelSlot::event(QEvent *event)
{
    // A view sized by its content asks again for room.
    if (event->type() == QEvent::LayoutRequest && m_width <= 0)
        updateGeometry();
    return QWidget::event(event);
}

void PanelSlot::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    place();
}

} // namespace window
