#pragma once

#include "chat/transcript/MessageChrome.h"

#include <QImage>
#include <QPointer>
#include <QRegion>

namespace glass {
class BackdropSheet;
}

namespace chat {

// The straight rows of the reply's bubble with its decoration laid on (the
// accent's wash, the rims), kept where they lie over the list's sheet. A
// streamed frame moves the bubble by a few lines; its rows are then one
// copy, not a copy and a wash. The wash moves with the bubble, so it is laid
// again from the sheet once the one kept would be off by half a level.
class WashedRows {
public:
    struct Decor {
        double visibility = 0;
        stage::UISkin skin;
        QColor border; // the light glass's hairline at the sides; invalid: none
    };

    // Copies part (within straightRows of bubble, in its coordinates) at
    // the painter's opacity.
    void paint(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &part,
               const MessageChrome::TurnGlass &look, const Decor &decor);
    void clear();
    // Times the wash was laid afresh (for tests).
    int washes() const { return m_washes; }

    // Levels (of 255) by which the wash laid for bubble a differs from the
    // one for bubble b anywhere over area, for a wash whose ends differ by
    // spread levels.
    static double washDifference(const QRectF &a, const QRectF &b, const QRectF &area, double spread);

private:
    QPointer<glass::BackdropSheet> m_sheet;
    quint64 m_generation = 0;
    quint64 m_look = 0;
    QRgb m_accent = 0;
    QRgb m_border = 0;
    double m_visibility = -1;
    QRectF m_washFor; // the bubble's rect on the sheet's host that the wash was laid for
    QRect m_area;     // what the image holds, on the host
    QImage m_image;
    QRegion m_valid;  // on the host
    int m_washes = 0;
};

} // namespace chat
