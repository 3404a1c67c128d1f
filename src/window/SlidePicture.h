#pragma once

#include <QPixmap>
#include <QWidget>

namespace window {

// A picture of a panel taken once, shown while the panel slides and fades:
// each frame only moves and fades the picture, the panel itself is not
// drawn again. Clicks go through it.
class SlidePicture : public QWidget {
    Q_OBJECT
public:
    explicit SlidePicture(QWidget *parent);

    void setPicture(const QPixmap &picture);
    void clear();
    // Where the picture's top-left corner lies in this widget, and how opaque it is.
    void setPlacement(QPoint offset, qreal opacity);
    QPoint offset() const { return m_offset; }
    qreal opacity() const { return m_opacity; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
    QPoint m_offset;
    qreal m_opacity = 1;
};

} // namespace window
