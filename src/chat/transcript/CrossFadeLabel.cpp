#include "chat/transcript/CrossFadeLabel.h"

#include "glass/look/Motion.h"

#include <QPainter>
#include <QStyle>
#include <QVariantAnimation>

namespace chat {

CrossFadeLabel::CrossFadeLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    m_fade = new QVariantAnimation(this);
    m_fade->setObjectName(QStringLiteral("statusCrossFade"));
    m_fade->setStartValue(0.0);
    m_fade->setEndValue(1.0);
    m_fade->setEasingCurve(glass::Motion::easeOut());
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toDouble();
        update();
    });
    connect(m_fade, &QVariantAnimation::finished, this, [this] {
        m_old.clear();
        update();
    });
}

bool CrossFadeLabel::isFading() const
{
    return m_fade->state() == QAbstractAnimation::Running;
}

void CrossFadeLabel::setTextFaded(const QString &next)
{
    if (next == text())
        return;
    // A change during a fade starts from the text that was showing most.
    const QString previous = isFading() && m_progress < 0.5 ? m_old : text();
    m_fade->stop();
    setText(next);
    if (m_durationMs <= 0 || previous.isEmpty()) {
        m_old.clear();
        m_progress = 1;
        return;
    }
    m_old = previous;
    m_progress = 0;
    m_fade->setDuration(m_durationMs);
    m_fade->start();
}

void CrossFadeLabel::paintEvent(QPaintEvent *event)
{
    if (!isFading() || m_old.isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    const QRect area = contentsRect();
    const int flags = int(alignment()) | Qt::TextSingleLine;
    p.setOpacity(1 - m_progress);
    style()->drawItemText(&p, area, flags, palette(), isEnabled(), m_old, foregroundRole());
    p.setOpacity(m_progress);
    style()->drawItemText(&p, area, flags, palette(), isEnabled(), text(), foregroundRole());
}

} // namespace chat
