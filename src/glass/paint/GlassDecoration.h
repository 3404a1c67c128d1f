#pragma once

#include "glass/paint/FrostShapeBackground.h"
#include "glass/look/Styles.h"

#include <QPointer>

namespace glass {

class PaintedPiece;

// A glass dressing put on a content widget, as a set of pieces kept with
// it: a glass background behind the content, a border over it, a
// pre-rendered shadow around it, and the palette of the glass (dark or
// light material) on it.
// Owned by the content widget.
class GlassDecoration : public QObject {
    Q_OBJECT
public:
    struct Shadow {
        QColor color;
        qreal radius = 0;
        QPointF offset;
    };
    using Overlay = std::function<void(QPainter &, const QRectF &, const stage::UISkin &)>;

    GlassDecoration(QWidget *content, QirvTheme::FrostRole role, FrostShape shape, bool stroke, bool strokeStrong,
                    Overlay overlay, Shadow shadow, StyleStore &styles);

    FrostShapeBackground *background() const { return m_background; }
    QWidget *overlay() const { return m_overlay; }
    QWidget *shadow() const { return m_shadow; }
    StyleStore &styleStore() const { return *m_styles; }

protected:
    void setOverlay(Overlay overlay);
    void setShape(FrostShape shape);

private:
    void applyPalette();

    QPointer<QWidget> m_content;
    QPointer<StyleStore> m_styles;
    FrostShapeBackground *m_background = nullptr;
    PaintedPiece *m_overlay = nullptr;
    QPointer<PaintedPiece> m_shadow;
    FrostShape m_shape;
    Overlay m_paintOverlay;
    Shadow m_shadowLook;
};

// The welcome card's dressing: card glass with a hairline, a gradient
// border over the content, a soft shadow.
class GlassCard : public GlassDecoration {
    Q_OBJECT
public:
    static GlassCard *apply(QWidget *content, qreal cornerRadius, QirvTheme::FrostRole role,
                            StyleStore &styles);
    qreal cornerRadius() const { return m_cornerRadius; }
    QirvTheme::FrostRole role() const { return m_role; }

private:
    GlassCard(QWidget *content, qreal cornerRadius, QirvTheme::FrostRole role, StyleStore &styles);
    qreal m_cornerRadius;
    QirvTheme::FrostRole m_role;
};

// The composer's dressing: field glass, and when emphasized a brighter
// hairline with an accent border over it.
class FrostFieldModifier : public GlassDecoration {
    Q_OBJECT
public:
    static FrostFieldModifier *apply(QWidget *content, qreal cornerRadius, bool emphasized,
                                     StyleStore &styles);
    qreal cornerRadius() const { return m_cornerRadius; }
    bool emphasized() const { return m_emphasized; }
    void setEmphasized(bool emphasized);

private:
    FrostFieldModifier(QWidget *content, qreal cornerRadius, bool emphasized, StyleStore &styles);
    qreal m_cornerRadius;
    bool m_emphasized;
};

// The glass card dressing with the card role, under the name the views use.
inline GlassCard *glassCard(QWidget *content, qreal cornerRadius, StyleStore &styles)
{
    return GlassCard::apply(content, cornerRadius, QirvTheme::FrostRole::card, styles);
}

// The tray popovers' dressing (the wallpaper panel's too): card glass
// without a hairline, a light border inside (white 0.14 on dark glass,
// black 0.10 on light glass), a deep shadow, the glass's palette. The
// content is cut to the card's rounded corners: nothing it draws edge to
// edge (rows with their own fill) shows or takes a press outside them.
class TrayGlassPopover : public GlassDecoration {
    Q_OBJECT
public:
    static TrayGlassPopover *apply(QWidget *content, qreal cornerRadius, StyleStore &styles);
    qreal cornerRadius() const { return m_cornerRadius; }

    // The pixels of a card of that size inside its rounded corners.
    static QRegion cornerMask(QSize size, qreal cornerRadius);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TrayGlassPopover(QWidget *content, qreal cornerRadius, StyleStore &styles);
    qreal m_cornerRadius;
};

// The same as TrayGlassPopover::apply, under the name the views use.
inline TrayGlassPopover *trayGlassPopover(QWidget *content, qreal cornerRadius, StyleStore &styles)
{
    return TrayGlassPopover::apply(content, cornerRadius, styles);
}

} // namespace glass
