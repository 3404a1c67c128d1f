#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class QTimer;

namespace settings {

// An indeterminate spinner with an optional label after it.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(const QString &label = {}, QWidget *parent = nullptr);

    void setLook(const QFont &font, const QColor &color);
    QString label() const { return m_label; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QString m_label;
    QFont m_font;
    QColor m_color;
    int m_angle = 0;
    QTimer *m_timer = nullptr;
};

} // namespace settings
