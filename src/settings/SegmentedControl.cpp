#include "settings/SegmentedControl.h"

#include "glass/look/Contrast.h"
#include "settings/RoundedBox.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace settings {

SegmentedControl::SegmentedControl(const QStringList &segments, QWidget *parent)
    : QWidget(parent), m_segments(segments)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Before anything asks for this control's interface; a second call adds nothing.
    QAccessible::installFactory(accessFor);
}

void SegmentedControl::setCurrent(int index)
{
    show(index);
}

void SegmentedControl::choose(int index)
{
    if (index < 0 || index >= m_segments.size())
        return;
    show(index);
    emit activated(index);
}

void SegmentedControl::show(int index)
{
    const int previous = m_current;
    m_current = index;
    update();
    if (previous == index || !QAccessible::isActive())
        return;
    QAccessibleInterface *group = QAccessible::queryAccessibleInterface(this);
    QAccessible::State checked;
    checked.checked = true;
    for (int i : {previous, index}) {
        if (QAccessibleInterface *segment = group ? group->child(i) : nullptr) {
            QAccessibleStateChangeEvent change(segment, checked);
            QAccessible::updateAccessibility(&change);
        }
    }
    // The keyboard stays on the control; a reader follows the checked segment.
    if (hasFocus() && group && group->child(index)) {
        QAccessibleEvent focus(group->child(index), QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void SegmentedControl::applyLook(const SettingsLook &look)
{
    m_look = look;
    setFont(look.callout);
    updateGeometry();
    update();
}

QSize SegmentedControl::sizeHint() const
{
    const QFontMetrics metrics(font());
    int width = 0;
    for (const QString &segment : m_segments)
        width += metrics.horizontalAdvance(segment) + 24;
    return QSize(width, 26);
}

QRect SegmentedControl::segmentRect(int index) const
{
    const int count = int(m_segments.size());
    const int left = index * width() / count;
    const int right = (index + 1) * width() / count;
    return QRect(left, 0, right - left, height());
}

void SegmentedControl::mouseReleaseEvent(QMouseEvent *event)
{
    for (int i = 0; i < m_segments.size(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) {
            choose(i);
            return;
        }
    }
}

void SegmentedControl::keyPressEvent(QKeyEvent *event)
{
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    const int next = m_current + step;
    if (step == 0 || next < 0 || next >= m_segments.size()) {
        QWidget::keyPressEvent(event);
        return;
    }
    choose(next);
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintRoundedBox(p, rect(), 7, m_look.elevated2, m_look.border);
    const QColor selectedFill = m_look.prominent.fill;
    for (int i = 0; i < m_segments.size(); ++i) {
        const QRectF segment = QRectF(segmentRect(i)).adjusted(2, 2, -2, -2);
        QColor ink = m_look.text;
        if (i == m_current) {
            QPainterPath chosen;
            chosen.addRoundedRect(segment, 5, 5);
            p.fillPath(chosen, selectedFill);
            ink = m_look.prominent.text;
        } else {
            ink = glass::Contrast::ensure(ink, m_look.elevated2, 4.5);
        }
        if (i > 0 && i != m_current && i - 1 != m_current) {
            p.setPen(QPen(m_look.border, 1));
            p.drawLine(QPointF(segmentRect(i).left(), 6), QPointF(segmentRect(i).left(), height() - 6));
        }
        p.setPen(ink);
        p.setFont(font());
        p.drawText(segment, Qt::AlignCenter, m_segments.at(i));
    }
    if (hasFocus() && m_current >= 0) {
        QColor ring = m_look.accent;
        ring.setAlphaF(0.6f);
        p.setPen(QPen(ring, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(segmentRect(m_current)).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
    }
}

} // namespace settings
