#pragma once

#include "chat/transcript/MessageChrome.h"

#include <QImage>
#include <QPointer>
#include <QRegion>

namespace glass {
class BackdropSheet;
}

namespace chat {

// The reply's bubble with its decoration laid on its glass (the accent's
// wash, the rims), kept where it lies over the list's sheet. A streamed
// frame moves the bubble by a few lines: its straight rows are then one
// copy, not a copy and a wash, and an end that stayed put (the bottom one
// while the list follows) is one copy too. The wash moves with the bubble,
// so it is laid again once the one kept would be off by half a level.
class WashedRows {
public:
    // What the reply's bubble lays over its glass: the accent's wash and
    // the rim, and on light glass (where the white rim is lost) a dark hairline.
    struct Decor {
        double visibility = 0;
        stage::UISkin skin;
        QColor border; // the light glass's hairline; invalid: none

        // Over part, within the straight rows of bubble rect: plain fills and lines.
        void paintStraight(QPainter &painter, const QRectF &rect, const QRect &part) const;
        // Over drawn, the stretch of the shape of bubble rect (as shapeInView gives it).
        void paintShaped(QPainter &painter, const QRectF &rect, const QRectF &drawn) const;
    };

    // Paints rows (bubble coordinates, within straightRows) at the
    // painter's opacity.
    void paintStraight(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &rows,
                       const MessageChrome::TurnGlass &look, const Decor &decor);
    // Paints rows within one of the bubble's rounded ends, over what lies
    // beneath. False (nothing painted) for a bubble without straight rows.
    bool paintEnd(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &rows,
                  const MessageChrome::TurnGlass &look, const Decor &decor);
    void clear();
    // Whether kept pieces can be copied on a screen of this scale: at a
    // fractional one, a piece placed on the widget's grid does not lie on
    // the device's, and its copy would be resampled, its rims smeared.
    static bool suits(qreal devicePixelRatio);
    // Times the wash was laid afresh (for tests).
    int washes() const { return m_washes; }

    // Levels (of 255) by which the wash laid for bubble a differs from the
    // one for bubble b anywhere over area, for a wash whose ends differ by
    // spread levels.
    static double washDifference(const QRectF &a, const QRectF &b, const QRectF &area, double spread);

private:
    // An end as drawn, clear around its corners.
    struct End {
        int edge = 0; // the bubble's top or bottom on the host
        QImage image;
    };
    // What the kept pieces are drawn for, but the bubble's height and place
    // down the host (the wash allows for those): equal keys, same pixels.
    struct Key {
        QPointer<glass::BackdropSheet> sheet;
        quint64 generation = 0; // the sheet's
        quint64 look = 0;       // the glass's
        QRgb accent = 0;
        QRgb border = 0;        // 0: none
        double visibility = -1;
        QRect area;             // the host's columns the bubble spans
        qreal dpr = 0;
        qreal left = 0;         // the bubble's, on the host
        qreal width = 0;
        bool operator==(const Key &) const = default;
    };
    // Where the bubble lies on the host; drops what is kept when that no
    // longer fits it.
    QPoint keep(glass::BackdropSheet &sheet, const QWidget *bubble, const MessageChrome::TurnGlass &look,
                const Decor &decor);

    Key m_key;
    QRectF m_washFor; // the bubble's rect on the sheet's host that the wash was laid for
    QImage m_image;
    QRegion m_valid;  // on the host
    End m_top, m_bottom;
    int m_washes = 0;
};

} // namespace chat
