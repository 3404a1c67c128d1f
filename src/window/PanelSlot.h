#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

namespace window {

// A place in the main window for one view: laid out at its width, empty
// until a view is plugged in with setFactory(). While the slot is absent
// its view is destroyed, so a panel that leaves the window discards its
// state and comes back fresh. A slot may slide in and out by its width.
class PanelSlot : public QWidget {
    Q_OBJECT
public:
    using Factory = std::function<QWidget *(QWidget *parent)>;

    // width 0: the slot takes what the layout gives it.
    PanelSlot(const QString &name, int width, QWidget *parent = nullptr);

    // A 1-pixel line along one side, outside the panel's width.
    void setEdgeLine(Qt::Edge edge, const QColor &color);
    // The panel's area inside the slot (without the line).
    QRect panelRect() const;

    void setFactory(Factory factory);
    bool hasFactory() const { return bool(m_factory); }
    QWidget *view() const { return m_view; }
    QSize sizeHint() const override;
    int panelWidth() const { return m_width; }

    // Present or absent; with animated, the width moves over durationMs.
    void setPresent(bool present, bool animated = false);
    bool isPresent() const { return m_present; }
    void setAnimationDuration(int ms) { m_durationMs = ms; }
    bool isAnimating() const;

signals:
    void presenceSettled(bool present);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void makeView();
    void dropView();
    void applyWidth(int width);
    void place();

    int fullWidth() const { return m_width + (m_lineEdge ? 1 : 0); }

    int m_width = 0;
    std::optional<Qt::Edge> m_lineEdge;
    QColor m_lineColor;
    bool m_present = true;
    int m_durationMs = 200;
    Factory m_factory;
    QPointer<QWidget> m_view;
    QVariantAnimation *m_slide = nullptr;
};

} // namespace window
