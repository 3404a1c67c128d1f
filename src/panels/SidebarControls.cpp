#include "panels/SidebarControls.h"

#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/controls/StyledField.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace panels {

namespace {
constexpr int kSymbol = 13;
constexpr int kGap = 6;
} // namespace

SidebarButton::SidebarButton(const QString &symbol, const QString &title, QMargins padding,
                             glass::StyleStore &styles, Look look, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_symbol(symbol), m_padding(padding), m_look(std::move(look))
{
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    connect(&m_styles, &glass::StyleStore::changed, this, [this] {
        updateGeometry();
        update();
    });
}

QSize SidebarButton::sizeHint() const
{
    QFont font;
    QColor color;
    m_look(m_styles.styles(), font, color);
    const QFontMetrics fm(font);
    const int height = std::max(fm.height(), kSymbol) + m_padding.top() + m_padding.bottom();
    return {m_padding.left() + kSymbol + kGap + fm.horizontalAdvance(text()) + m_padding.right(), height};
}

void SidebarButton::paintEvent(QPaintEvent *)
{
    const glass::Styles &s = m_styles.styles();
    QFont font;
    QColor color;
    m_look(s, font, color);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if ((underMouse() || isDown()) && isEnabled()) {
        QColor fill = s.text;
        fill.setAlphaF(isDown() ? 0.10f : 0.05f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
    const QRect inner = rect().marginsRemoved(m_padding);
    const QRectF mark(inner.left(), inner.center().y() - kSymbol / 2.0 + 0.5, kSymbol, kSymbol);
    p.drawImage(mark, glass::SymbolIcons::render(m_symbol, mark.size(), color, devicePixelRatioF()));
    const QRect label = inner.adjusted(kSymbol + kGap, 0, 0, 0);
    p.setFont(font);
    p.setPen(color);
    p.drawText(label, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(font).elidedText(text(), Qt::ElideMiddle, label.width()));
}

SearchField::SearchField(glass::StyleStore &styles, QWidget *parent) : QWidget(parent), m_styles(styles)
{
    setObjectName(QStringLiteral("sessionSearch"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(6);
    m_icon = new QLabel(this);
    m_icon->setFixedSize(12, 12);
    row->addWidget(m_icon);
    m_edit = new QLineEdit(this);
    m_edit->setFrame(false);
    m_edit->setPlaceholderText(QStringLiteral("Search"));
    m_edit->setAccessibleName(QStringLiteral("Search sessions"));
    m_edit->setTextMargins(0, 0, 0, 0);
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    glass::FocusRing::setFrame(m_edit, this);
    glass::FocusRing::setShape(m_edit, 8);
    row->addWidget(m_edit, 1);
    connect(&m_styles, &glass::StyleStore::changed, this, &SearchField::restyle);
    restyle();
}

void SearchField::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_icon->setPixmap(
        glass::SymbolIcons::pixmap(QStringLiteral("magnifyingglass"), 12, s.textTertiary, devicePixelRatioF()));
    m_edit->setFont(s.tertiary.font);
    m_edit->setPalette(glass::StyledField::textPalette(m_edit->palette(), s.text, s.textTertiary, s.selection));
}

SidebarDivider::SidebarDivider(glass::StyleStore &styles, QWidget *parent)
    : glass::HairlineRule(
          styles,
          [](const glass::Styles &s) {
              QColor line = s.separator;
              line.setAlphaF(line.alphaF() * 0.55f);
              return line;
          },
          parent)
{
}

} // namespace panels
