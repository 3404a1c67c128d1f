#include "chat/composer/DropOverlay.h"

#include "glass/look/Contrast.h"
#include "glass/paint/FrostShape.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"

#include <QEvent>
#include <QPainter>

namespace chat {

DropOverlay::DropOverlay(glass::StyleStore &styles, QWidget *card) : QWidget(card), m_styles(styles)
{
    setObjectName(QStringLiteral("dropOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(card->rect());
    card->installEventFilter(this);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
    hide();
}

bool DropOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void DropOverlay::paintEvent(QPaintEvent *)
{
    const glass::Styles &s = m_styles.styles();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect());
    const glass::FrostShape shape = glass::FrostShape::roundedRectangle(kRadius);
    // The card's own glass first, nearly opaque: the sign stays legible
    // over whatever the field and the tray show beneath it.
    p.fillPath(shape.path(box), glass::QirvTheme::withOpacity(s.glass, 0.85));
    p.fillPath(shape.path(box), glass::QirvTheme::withOpacity(s.accent, 0.1));

    QPen dash(glass::QirvTheme::withOpacity(s.accent, 0.85), 1.5, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    // Qt measures dashes in pen widths.
    dash.setDashPattern({7 / 1.5, 5 / 1.5});
    dash.setDashOffset(0);
    p.setPen(dash);
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape.inset(box, 0.75));

    // The sign reads on the accent wash over the card's glass.
    const QColor ground = glass::Contrast::over(glass::QirvTheme::withOpacity(s.accent, 0.1), s.glass);
    const QColor ink = glass::Contrast::ensure(glass::Contrast::ensure(s.accent, s.glassEdge, 4.5), ground, 4.5);
    QFont f = s.body.font;
    f.setPixelSize(12);
    f.setWeight(QFont::DemiBold);
    const QFontMetricsF fm(f);
    const qreal symbol = 22;
    const qreal total = symbol + 8 + fm.height();
    const qreal top = (height() - total) / 2;
    const qreal dpr = devicePixelRatioF();
    const QImage icon = glass::SymbolIcons::render(QStringLiteral("arrow.down.doc.fill"), QSizeF(symbol, symbol), ink, dpr);
    p.drawImage(QRectF((width() - symbol) / 2, top, symbol, symbol), icon);
    p.setFont(f);
    p.setPen(ink);
    p.drawText(QRectF(0, top + symbol + 8, width(), fm.height()), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Drop files here"));
}

} // namespace chat
