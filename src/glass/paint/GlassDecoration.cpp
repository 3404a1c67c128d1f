#include "glass/paint/GlassDecoration.h"

#include "glass/paint/BackdropBlur.h"
#include "glass/paint/GlassPainter.h"
#include "glass/paint/ShadowCache.h"
#include "glass/look/Styles.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace glass {

GlassDecoration::GlassDecoration(QWidget *content, QirvTheme::FrostRole role, FrostShape shape, bool stroke,
                                 bool strokeStrong, Overlay overlay, Shadow shadow, StyleStore &styles)
    : QObject(content)
    , m_content(content)
    , m_styles(&styles)
    , m_shape(shape)
    , m_paintOverlay(std::move(overlay))
    , m_shadowLook(shadow)
{
    m_background = FrostShapeBackground::install(content, role, shape, stroke, strokeStrong, styles);

    m_overlay = new PaintedPiece(content, [this](QPainter &p, const QRectF &r) {
        if (m_paintOverlay && m_styles)
            m_paintOverlay(p, r, m_styles->styles().skin);
    });
    // Its look changes only through this decoration, which says so.
    m_overlay->setCached(true);
    attachToHost(m_overlay, content, HostFollower::Placement::over);

    if (m_shadowLook.color.alpha() > 0) {
        const int reach = BackdropBlur::softMargin(m_shadowLook.radius) + 2;
        const QMargins margins(reach + int(std::ceil(std::abs(m_shadowLook.offset.x()))),
                               reach + int(std::ceil(std::abs(m_shadowLook.offset.y()))),
                               reach + int(std::ceil(std::abs(m_shadowLook.offset.x()))),
                               reach + int(std::ceil(std::abs(m_shadowLook.offset.y()))));
        const QPointer<GlassDecoration> self(this);
        m_shadow = new PaintedPiece(content->parentWidget(), [this, self, margins](QPainter &p, const QRectF &r) {
            if (!self) // the content and its dressing are gone; the shadow follows shortly
                return;
            const QRectF body = r.marginsRemoved(QMarginsF(margins));
            paintShadow(p, m_styles ? &ShadowCache::forStyles(*m_styles) : nullptr, body, m_shape, m_shadowLook.color,
                        m_shadowLook.radius, m_shadowLook.offset);
        });
        attachToHost(m_shadow, content, HostFollower::Placement::around, margins, m_background);
    }

    applyPalette();
    connect(&styles, &StyleStore::changed, this, &GlassDecoration::applyPalette);
}

void GlassDecoration::setOverlay(Overlay overlay)
{
    m_paintOverlay = std::move(overlay);
    m_overlay->invalidate();
}

void GlassDecoration::setShape(FrostShape shape)
{
    m_shape = shape;
    m_background->setShape(shape);
    m_overlay->invalidate();
    if (m_shadow)
        m_shadow->update();
}

void GlassDecoration::applyPalette()
{
    if (!m_content || !m_styles)
        return;
    m_content->setPalette(m_styles->styles().palette());
    m_overlay->invalidate();
    if (m_shadow)
        m_shadow->update();
}

GlassCard *GlassCard::apply(QWidget *content, qreal cornerRadius, QirvTheme::FrostRole role, StyleStore &styles)
{
    return new GlassCard(content, cornerRadius, role, styles);
}

GlassCard::GlassCard(QWidget *content, qreal cornerRadius, QirvTheme::FrostRole role, StyleStore &styles)
    : GlassDecoration(
          content, role, FrostShape::roundedRectangle(cornerRadius), true, false,
          [cornerRadius](QPainter &p, const QRectF &r, const stage::UISkin &) {
              GlassPainter::glassCardBorder(p, r, FrostShape::roundedRectangle(cornerRadius));
          },
          Shadow{QColor::fromRgbF(0, 0, 0, 0.28f), 14, QPointF(0, 4)}, styles)
    , m_cornerRadius(cornerRadius)
    , m_role(role)
{
}

FrostFieldModifier *FrostFieldModifier::apply(QWidget *content, qreal cornerRadius, bool emphasized,
                                              StyleStore &styles)
{
    return new FrostFieldModifier(content, cornerRadius, emphasized, styles);
}

FrostFieldModifier::FrostFieldModifier(QWidget *content, qreal cornerRadius, bool emphasized, StyleStore &styles)
    : GlassDecoration(content, QirvTheme::FrostRole::field, FrostShape::roundedRectangle(cornerRadius), true,
                      emphasized, {}, Shadow{QColor::fromRgbF(0, 0, 0, 0.3f), 12, QPointF(0, 5)}, styles)
    , m_cornerRadius(cornerRadius)
    , m_emphasized(emphasized)
{
    setEmphasized(emphasized);
}

void FrostFieldModifier::setEmphasized(bool emphasized)
{
    m_emphasized = emphasized;
    background()->setStroke(true, emphasized);
    const qreal radius = m_cornerRadius;
    setOverlay([radius, emphasized](QPainter &p, const QRectF &r, const stage::UISkin &skin) {
        GlassPainter::fieldBorder(p, r, FrostShape::roundedRectangle(radius), emphasized, skin);
    });
}

TrayGlassPopover *TrayGlassPopover::apply(QWidget *content, qreal cornerRadius, StyleStore &styles)
{
    return new TrayGlassPopover(content, cornerRadius, styles);
}

TrayGlassPopover::TrayGlassPopover(QWidget *content, qreal cornerRadius, StyleStore &styles)
    : GlassDecoration(
          content, QirvTheme::FrostRole::card, FrostShape::roundedRectangle(cornerRadius), false, false,
          [cornerRadius](QPainter &p, const QRectF &r, const stage::UISkin &skin) {
              GlassPainter::innerBorder(p, r, FrostShape::roundedRectangle(cornerRadius),
                                        skin.isLight() ? QColor::fromRgbF(0, 0, 0, 0.10f)
                                                       : QColor::fromRgbF(1, 1, 1, 0.14f),
                                        1.0);
          },
          Shadow{QColor::fromRgbF(0, 0, 0, 0.35f), 18, QPointF(0, 8)}, styles)
    , m_cornerRadius(cornerRadius)
{
    content->setMask(cornerMask(content->size(), cornerRadius));
    content->installEventFilter(this);
}

QRegion TrayGlassPopover::cornerMask(QSize size, qreal cornerRadius)
{
    // A pixel is in when its centre is: the glass behind draws the
    // antialiased edge itself.
    const QPolygonF outline =
        FrostShape::roundedRectangle(cornerRadius).path(QRectF(QPointF(0, 0), QSizeF(size))).toFillPolygon();
    return QRegion(outline.translated(-0.5, -0.5).toPolygon(), Qt::WindingFill);
}

bool TrayGlassPopover::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        if (auto *content = qobject_cast<QWidget *>(watched))
            content->setMask(cornerMask(content->size(), m_cornerRadius));
    return GlassDecoration::eventFilter(watched, event);
}

} // namespace glass
