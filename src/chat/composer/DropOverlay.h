#pragma once

#include <QWidget>

namespace glass {
class StyleStore;
}

namespace chat {

// The dashed "Drop files here" sign over the composer card while a drag
// hovers it. It takes no input: clicks and the drag reach the card.
class DropOverlay : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal kRadius = 14;

    DropOverlay(glass::StyleStore &styles, QWidget *card);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    glass::StyleStore &m_styles;
};

} // namespace chat
