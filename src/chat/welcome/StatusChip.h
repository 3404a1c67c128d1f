#pragma once

#include <QAbstractButton>
#include <QColor>

namespace glass {
class StyleStore;
}

namespace chat {

// A capsule of the welcome card's status row: a symbol and a title in one
// tint, on frosted chip glass with a faint ring of the same tint.
class StatusChip : public QAbstractButton {
    Q_OBJECT
public:
    StatusChip(const QString &title, const QString &symbol, const QColor &tint, glass::StyleStore &styles,
               QWidget *parent = nullptr);

    void setLook(const QString &title, const QString &symbol, const QColor &tint);
    QString symbol() const { return m_symbol; }
    QColor tint() const { return m_tint; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    glass::StyleStore &m_styles;
    QString m_symbol;
    QColor m_tint;
};

} // namespace chat
