#include "chat/MessageRowParts.h"

#include "glass/QirvTheme.h"
#include "glass/Styles.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolTip>

namespace chat {

using glass::QirvTheme::color;
using glass::QirvTheme::withOpacity;

MessageRowCopyButton::MessageRowCopyButton(glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles)
{
    setFixedSize(36, 36);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Copy"));
    connect(this, &QAbstractButton::clicked, this, [this] {
        // Each click schedules its own reset; the first one clears the mark.
        m_copied = 1;
        m_hovering = true;
        update();
        QTimer::singleShot(1200, this, [this] {
            m_copied = 0;
            setAttribute(Qt::WA_TransparentForMouseEvents, !isShown());
            update();
        });
    });
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

void MessageRowCopyButton::setHovering(bool on)
{
    if (m_hovering == on)
        return;
    m_hovering = on;
    setAttribute(Qt::WA_TransparentForMouseEvents, !isShown());
    update();
}

void MessageRowCopyButton::setCopied(bool on)
{
    m_copied = on ? 1 : 0;
    setAttribute(Qt::WA_TransparentForMouseEvents, !isShown());
    update();
}

bool MessageRowCopyButton::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           isCopied() ? QStringLiteral("Copied") : QStringLiteral("Copy"), this);
        return true;
    }
    return QAbstractButton::event(event);
}

void MessageRowCopyButton::paintEvent(QPaintEvent *)
{
    if (!isShown())
        return;
    const stage::SkinColors &c = m_styles.styles().skin.colors;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(0.72);
    const QRectF box(6, 6, 24, 24);
    p.setPen(QPen(withOpacity(color(c.border), 0.35), 0.5));
    p.setBrush(withOpacity(color(c.elevated2), 0.45));
    p.drawRoundedRect(box.adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
    p.setPen(QPen(color(c.textTertiary), 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QRectF glyph = box.adjusted(7, 7, -7, -7);
    if (isCopied()) {
        QPainterPath tick;
        tick.moveTo(glyph.left(), glyph.center().y());
        tick.lineTo(glyph.left() + glyph.width() * 0.38, glyph.bottom() - 1);
        tick.lineTo(glyph.right(), glyph.top() + 1);
        p.drawPath(tick);
    } else {
        const qreal s = glyph.width() * 0.66;
        p.drawRoundedRect(QRectF(glyph.right() - s, glyph.top(), s, s), 1.5, 1.5);
        p.drawRoundedRect(QRectF(glyph.left(), glyph.bottom() - s, s, s), 1.5, 1.5);
    }
}

MessageRowTools::MessageRowTools(glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

void MessageRowTools::setTools(const QList<model::ToolCallRecord> &tools)
{
    m_names.clear();
    for (const model::ToolCallRecord &tool : tools)
        m_names.append(tool.name);
    updateGeometry();
    update();
}

QFont MessageRowTools::chipFont() const
{
    QFont font = m_styles.styles().caption.font;
    font.setPixelSize(11);
    font.setWeight(QFont::Medium);
    return font;
}

QSize MessageRowTools::sizeHint() const
{
    const QFontMetrics fm(chipFont());
    const int chip = fm.height() + 6;
    int widest = 0;
    for (const QString &name : m_names)
        widest = qMax(widest, fm.horizontalAdvance(name) + 16 + 16);
    return {widest, m_names.isEmpty() ? 0 : int(m_names.size()) * chip + (int(m_names.size()) - 1) * 3};
}

void MessageRowTools::paintEvent(QPaintEvent *)
{
    const stage::SkinColors &c = m_styles.styles().skin.colors;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(chipFont());
    const QFontMetricsF fm(chipFont());
    const qreal h = fm.height() + 6;
    qreal y = 0;
    const QColor ink = color(c.textSecondary);
    for (const QString &name : std::as_const(m_names)) {
        const qreal w = fm.horizontalAdvance(name) + 16 + 16;
        const QRectF chip(0.5, y + 0.5, w - 1, h - 1);
        p.setPen(QPen(withOpacity(color(c.border), 0.4), 0.5));
        p.setBrush(withOpacity(color(c.elevated), 0.42));
        p.drawRoundedRect(chip, h / 2, h / 2);
        // A small wrench.
        p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap));
        const QPointF a(8, y + h - 4), b(15, y + 4);
        p.drawLine(a, b);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(b, 2.2, 2.2);
        p.setPen(ink);
        p.drawText(QRectF(20, y, w - 24, h), Qt::AlignLeft | Qt::AlignVCenter, name);
        y += h + 3;
    }
}

MessageRowRetryButton::MessageRowRetryButton(glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles)
{
    setText(QStringLiteral("Retry"));
    setToolTip(QStringLiteral("Retry"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize MessageRowRetryButton::sizeHint() const
{
    QFont font = m_styles.styles().caption.font;
    font.setWeight(QFont::DemiBold);
    const QFontMetrics fm(font);
    return {fm.height() + 4 + fm.horizontalAdvance(text()), fm.height()};
}

void MessageRowRetryButton::paintEvent(QPaintEvent *)
{
    QFont font = m_styles.styles().caption.font;
    font.setWeight(QFont::DemiBold);
    const QColor ink = withOpacity(color(m_styles.styles().skin.colors.text), isDown() ? 0.55 : 0.78);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(font);
    const qreal s = fm.height() * 0.72;
    const QRectF arc(1, (height() - s) / 2, s, s);
    p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arc, 90 * 16, -300 * 16);
    // The arrow head at the arc's start, pointing clockwise.
    QPainterPath head;
    head.moveTo(arc.center().x() - 1, arc.top() - 2);
    head.lineTo(arc.center().x() + 2, arc.top());
    head.lineTo(arc.center().x() - 1, arc.top() + 2);
    p.drawPath(head);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRectF(fm.height() + 4, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace chat
