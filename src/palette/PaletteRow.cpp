#include "palette/PaletteRow.h"

#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "stage/SkinHex.h"

#include <QPainter>

namespace palette {

namespace {
QFont titleFont(const glass::Styles &s)
{
    QFont f = s.body.font;
    f.setWeight(QFont::Medium);
    return f;
}
QFont hintFont(const glass::Styles &s)
{
    QFont f = s.mono.font;
    f.setPixelSize(s.caption.font.pixelSize());
    return f;
}
} // namespace

PaletteRow::PaletteRow(const PaletteCommand &command, glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_command(command), m_styles(styles)
{
    setText(command.title);
    setAccessibleName(command.title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus); // the search field keeps the focus
}

QSize PaletteRow::sizeHint() const
{
    const glass::Styles &s = m_styles.styles();
    int h = QFontMetrics(titleFont(s)).height();
    if (!m_command.subtitle.isEmpty())
        h += 2 + QFontMetrics(s.caption.font).height();
    return {520, h + 20};
}

void PaletteRow::paintEvent(QPaintEvent *)
{
    const glass::Styles &s = m_styles.styles();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect inner = rect().adjusted(14, 10, -14, -10);
    // The symbol, in a frame 24 wide.
    const int symbol = 16;
    p.drawImage(QPointF(inner.left() + (24 - symbol) / 2.0, rect().center().y() - symbol / 2.0),
                glass::SymbolIcons::render(m_command.systemImage, QSizeF(symbol, symbol), s.accent, devicePixelRatioF()));
    int right = inner.right();
    if (m_command.shortcutHint) {
        const QFont font = hintFont(s);
        const QFontMetrics fm(font);
        const QRect box(right - fm.horizontalAdvance(*m_command.shortcutHint) - 12 + 1,
                        rect().center().y() - (fm.height() + 4) / 2, fm.horizontalAdvance(*m_command.shortcutHint) + 12,
                        fm.height() + 4);
        QColor fill = stage::colorFromSkinHex(s.skin.colors.elevated2);
        fill.setAlphaF(s.skin.isLight() ? 0.95f : 0.55f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(box, 8, 8);
        p.setFont(font);
        p.setPen(s.textTertiary);
        p.drawText(box, Qt::AlignCenter, *m_command.shortcutHint);
        right = box.left() - 12;
    }
    const int textLeft = inner.left() + 24 + 12;
    const QFont title = titleFont(s);
    const QFontMetrics tm(title);
    const int textHeight = tm.height() + (m_command.subtitle.isEmpty() ? 0 : 2 + QFontMetrics(s.caption.font).height());
    int y = rect().center().y() - textHeight / 2;
    p.setFont(title);
    p.setPen(s.text);
    p.drawText(QRect(textLeft, y, right - textLeft, tm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               tm.elidedText(m_command.title, Qt::ElideRight, right - textLeft));
    if (!m_command.subtitle.isEmpty()) {
        y += tm.height() + 2;
        const QFontMetrics cm(s.caption.font);
        p.setFont(s.caption.font);
        p.setPen(s.textSecondary);
        p.drawText(QRect(textLeft, y, right - textLeft, cm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   cm.elidedText(m_command.subtitle, Qt::ElideMiddle, right - textLeft));
    }
}

} // namespace palette
