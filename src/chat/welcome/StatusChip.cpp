#include "chat/welcome/StatusChip.h"

#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/GlassPainter.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"

#include <QPainter>

namespace chat {

namespace {

constexpr int kPadX = 14;
constexpr int kPadY = 9;
constexpr int kSymbol = 13;
constexpr int kGap = 6;

QFont chipFont(const glass::Styles &s)
{
    QFont f = s.body.font;
    f.setPixelSize(12);
    f.setWeight(QFont::DemiBold);
    return f;
}

} // namespace

StatusChip::StatusChip(const QString &title, const QString &symbol, const QColor &tint, glass::StyleStore &styles,
                       QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_symbol(symbol), m_tint(tint)
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // a click leaves the keyboard where it was
    glass::FocusRing::setShape(this, -1);
    // A long folder name gives way in a narrow column: its end is cut.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setAttribute(Qt::WA_NoSystemBackground);
    glass::FrostShapeBackground::install(this, glass::QirvTheme::FrostRole::chip, glass::FrostShape::capsule(), false,
                                         false, styles);
}

void StatusChip::setLook(const QString &title, const QString &symbol, const QColor &tint)
{
    if (title == text() && symbol == m_symbol && tint == m_tint)
        return;
    setText(title);
    m_symbol = symbol;
    m_tint = tint;
    updateGeometry();
    update();
}

QSize StatusChip::sizeHint() const
{
    const QFontMetrics fm(chipFont(m_styles.styles()));
    return {kPadX + kSymbol + kGap + fm.horizontalAdvance(text()) + kPadX, qMax(fm.height(), kSymbol) + 2 * kPadY};
}

QSize StatusChip::minimumSizeHint() const
{
    const QFontMetrics fm(chipFont(m_styles.styles()));
    const int shortest = fm.horizontalAdvance(text().left(3) + QChar(0x2026));
    return {kPadX + kSymbol + kGap + qMin(shortest, fm.horizontalAdvance(text())) + kPadX, sizeHint().height()};
}

void StatusChip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    glass::GlassPainter::innerBorder(p, box, glass::FrostShape::capsule(),
                                     glass::QirvTheme::withOpacity(m_tint, isDown() ? 0.6 : 0.4), 1);
    const QFont font = chipFont(m_styles.styles());
    const QFontMetricsF fm(font);
    const QString shown = fm.elidedText(text(), Qt::ElideRight, width() - (kPadX + kSymbol + kGap + kPadX) + 0.5);
    const qreal textWidth = fm.horizontalAdvance(shown);
    const qreal left = (width() - (kSymbol + kGap + textWidth)) / 2;
    const QRectF symbolBox(left, (height() - kSymbol) / 2.0, kSymbol, kSymbol);
    p.drawImage(symbolBox, glass::SymbolIcons::render(m_symbol, symbolBox.size(), m_tint, devicePixelRatioF()));
    p.setFont(font);
    p.setPen(m_tint);
    p.drawText(QRectF(left + kSymbol + kGap, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

} // namespace chat
