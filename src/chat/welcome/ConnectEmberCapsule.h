#pragma once

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTimer>

namespace glass {
class PaintedPiece;
class StyleStore;
} // namespace glass

namespace chat {

// The warm, glowing call to action of the chat view: a capsule with a
// symbol and a title that slowly breathes (a 9-second swing of its top
// bloom and outer glow), brightens and grows a little under the pointer,
// and sinks while held. The breathing ticks only while the capsule is
// shown, and repaints only when what it shows has changed by a visible step.
class ConnectEmberCapsule : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kBreathPeriodMs = 9000;
    static constexpr int kMargin = 2; // room for the hover growth

    ConnectEmberCapsule(const QString &title, const QString &symbol, glass::StyleStore &styles,
                        QWidget *parent = nullptr);

    // Turns the breathing off (the opacities keep their resting values).
    void setReduceMotion(bool on);
    bool reduceMotion() const { return m_reduceMotion; }

    // The animated values as shown now.
    double breath() const { return m_breath; }
    bool hovering() const { return m_hovering; }
    bool isBreathing() const { return m_ticker.isActive(); }
    double bloomTopOpacity() const;
    double glowOpacity() const;
    double scale() const;
    // Paints so far, for tests and benchmarks.
    int paintCount() const { return m_paints; }
    // The symbol shown before the title.
    QString symbol() const { return m_symbol; }

    // The resting values of the two breathing opacities (reduce motion,
    // breath at rest, breath at its peak), hover raising both.
    static double bloomTopOpacity(bool reduceMotion, double breath, double hover);
    static double glowOpacity(bool reduceMotion, double breath, double hover);
    // The breathing curve at time ms: 0 to 1 and back, easing in and out.
    static double breathAt(qint64 ms);

    // A soft light inside the capsule: a radial gradient of color (to
    // clear) centred at unitCentre of the capsule's box, reaching endRadius,
    // filling the capsule and blurred by blur. The image covers the capsule
    // with margin logical pixels on every side, at device pixel ratio dpr.
    struct SoftLight {
        QImage image;
        qreal margin = 0;
    };
    static SoftLight softLight(QSizeF capsule, QPointF unitCentre, qreal endRadius, qreal blur, const QColor &color,
                               qreal dpr);

    QSize sizeHint() const override;
    // A narrow card squeezes the label to its first letters and an ellipsis.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    // The capsule, its light, rim and label; the symbol is rendered once a paint.
    void paintCapsule(QPainter &p, QImage &symbol);
    struct Ease {
        double from = 0, to = 0;
        qint64 start = 0;
        int duration = 0;
    };
    void tick();
    void startTicking();
    void easeTo(Ease &ease, double current, double target, int duration);
    static double easeValue(const Ease &ease, qint64 now);
    QRectF capsuleRect() const;
    void paintGlow(QPainter &p, const QRectF &capsule);
    // The warm bloom above and the ember glow below, kept while the size holds.
    const SoftLight &bloom(QSizeF capsule, qreal dpr);
    const SoftLight &ember(QSizeF capsule, qreal dpr);

    glass::StyleStore &m_styles;
    QString m_symbol;
    bool m_reduceMotion = false;
    bool m_hovering = false;
    double m_breath = 0, m_hover = 0, m_press = 0;
    Ease m_hoverEase, m_pressEase;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    glass::PaintedPiece *m_glow = nullptr;
    // What was last painted, by visible steps.
    int m_shownLevel = -1;
    int m_paints = 0;
    SoftLight m_bloom, m_ember;
    QSizeF m_lightsFor;
    qreal m_lightsDpr = 0;
};

} // namespace chat
