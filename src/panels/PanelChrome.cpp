#include "panels/PanelChrome.h"

#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>

namespace panels {

namespace {
// The window's title strip stands above the panels and holds the title-bar
// controls, so no clear band is needed inside the panel.
constexpr int kBand = 0;
} // namespace

PanelHeader::PanelHeader(glass::StyleStore &styles, const QString &title, const QString &symbol, QWidget *parent)
    : QWidget(parent), m_styles(styles), m_symbol(symbol)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, kBand, 0, 1); // the divider is painted in the last pixel
    column->setSpacing(0);
    m_row = new QHBoxLayout;
    m_row->setContentsMargins(12, 10, 12, 10);
    m_row->setSpacing(6);
    column->addLayout(m_row);
    if (!symbol.isEmpty()) {
        m_icon = new QLabel(this);
        m_row->addWidget(m_icon);
    }
    m_title = new QLabel(title, this);
    m_row->addWidget(m_title);
    m_row->addStretch(1);
    connect(&m_styles, &glass::StyleStore::changed, this, &PanelHeader::restyle);
    restyle();
}

void PanelHeader::addTrailing(QWidget *widget)
{
    widget->setParent(this);
    m_row->addWidget(widget);
}

void PanelHeader::restyle()
{
    const glass::Styles &s = m_styles.styles();
    QFont font = s.tertiary.font; // subheadline, semibold
    font.setWeight(QFont::DemiBold);
    m_title->setFont(font);
    glass::setInk(m_title, s.text);
    if (m_icon)
        m_icon->setPixmap(glass::SymbolIcons::pixmap(m_symbol, 13, s.text, devicePixelRatioF()));
    update();
}

void PanelHeader::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QColor line = m_styles.styles().separator;
    line.setAlphaF(line.alphaF() * 0.55f);
    p.fillRect(QRect(0, height() - 1, width(), 1), line);
}

PanelEmptyState::PanelEmptyState(glass::StyleStore &styles, const QString &symbol, int symbolSize,
                                 const QString &headline, const QString &caption, QWidget *parent)
    : QWidget(parent), m_styles(styles), m_symbol(symbol), m_symbolSize(symbolSize)
{
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(16, 16, 16, 16);
    m_column->setSpacing(10);
    m_column->addStretch(1);
    m_icon = new QLabel(this);
    m_icon->setAlignment(Qt::AlignCenter);
    m_headline = new QLabel(headline, this);
    m_headline->setAlignment(Qt::AlignCenter);
    m_caption = new QLabel(caption, this);
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setWordWrap(true);
    m_column->addWidget(m_icon);
    m_column->addWidget(m_headline);
    m_column->addWidget(m_caption);
    m_column->addStretch(1);
    connect(&m_styles, &glass::StyleStore::changed, this, &PanelEmptyState::restyle);
    restyle();
}

void PanelEmptyState::addControl(QWidget *widget)
{
    widget->setParent(this);
    m_column->insertWidget(m_column->count() - 1, widget, 0, Qt::AlignHCenter);
}

void PanelEmptyState::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_icon->setPixmap(glass::SymbolIcons::pixmap(m_symbol, m_symbolSize, s.textTertiary, devicePixelRatioF()));
    m_headline->setFont(s.headline.font);
    m_caption->setFont(s.caption.font);
    glass::setInk(m_headline, s.text);
    glass::setInk(m_caption, s.textSecondary);
}

} // namespace panels
