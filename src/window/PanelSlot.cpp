#include "window/PanelSlot.h"

#include <QPainter>
#include <QVariantAnimation>

namespace window {

PanelSlot::PanelSlot(const QString &name, int width, QWidget *parent) : QWidget(parent), m_width(width)
{
    setObjectName(name);
    if (m_width > 0)
        setFixedWidth(m_width);
    // Views here are glass over the stage: the slot itself draws nothing
    // but its line.
    else
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
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
    QPainter p(this);
    const int x = *m_lineEdge == Qt::LeftEdge ? 0 : width() - 1;
    p.fillRect(QRect(x, 0, 1, height()), m_lineColor);
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

bool PanelSlot::isAnimating() const
{
    return m_slide && m_slide->state() == QAbstractAnimation::Running;
}

void PanelSlot::setPresent(bool present, bool animated)
{
    if (present == m_present && !isAnimating())
        return;
    m_present = present;
    if (present)
        makeView();
    if (m_slide)
        m_slide->stop();
    if (m_width <= 0) {
        setVisible(present);
        if (!present)
            dropView();
        emit presenceSettled(present);
        return;
    }
    if (!animated || m_durationMs <= 0) {
        applyWidth(present ? fullWidth() : 0);
        setVisible(present);
        if (!present)
            dropView();
        emit presenceSettled(present);
        return;
    }
    if (!m_slide) {
        m_slide = new QVariantAnimation(this);
        m_slide->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) { applyWidth(v.toInt()); });
        connect(m_slide, &QVariantAnimation::finished, this, [this] {
            setVisible(m_present);
            if (!m_present)
                dropView();
            emit presenceSettled(m_present);
        });
    }
    setVisible(true);
    m_slide->setDuration(m_durationMs);
    m_slide->setStartValue(width());
    m_slide->setEndValue(present ? fullWidth() : 0);
    m_slide->start();
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
    if (m_view)
        delete m_view.data();
}

void PanelSlot::place()
{
    if (!m_view)
        return;
    // A sliding panel keeps its own width and moves out at the leading
    // edge, rather than being squeezed.
    const QRect panel = panelRect();
    const int w = m_width > 0 ? m_width : panel.width();
    m_view->setGeometry(panel.right() + 1 - w, 0, w, height());
}

void PanelSlot::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    place();
}

} // namespace window
