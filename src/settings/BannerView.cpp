#include "settings/BannerView.h"

#include "glass/look/Contrast.h"
#include "glass/look/TextInk.h"
#include "settings/RoundedBox.h"
#include "settings/SettingsLook.h"
#include "settings/SettingsText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace settings {

BannerView::BannerView(QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    m_symbol = new SymbolView(QString(), 15, this);
    m_text = makeText(QString(), this, true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
}

QString BannerView::symbolOf(Banner::Kind kind)
{
    switch (kind) {
    case Banner::Kind::Success:
        return QStringLiteral("checkmark.circle.fill");
    case Banner::Kind::Error:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Banner::Kind::Info:
        return QStringLiteral("info.circle.fill");
    }
    return {};
}

QString BannerView::text() const
{
    return m_text->text();
}

void BannerView::setBanner(const Banner &banner, const SettingsLook &look)
{
    QColor ink = look.text;
    switch (banner.kind) {
    case Banner::Kind::Success:
        m_fill = glass::Contrast::over(SettingsLook::faded(look.success, 0.12), look.elevated);
        ink = look.success;
        break;
    case Banner::Kind::Error:
        m_fill = glass::Contrast::over(SettingsLook::faded(look.danger, 0.12), look.elevated);
        ink = look.danger;
        break;
    case Banner::Kind::Info:
        m_fill = look.elevated2;
        break;
    }
    // The tinted fill is a little lighter or darker than the card the
    // colours were checked against.
    ink = glass::Contrast::ensure(ink, m_fill, 4.5);
    m_stroke = look.border;
    m_symbol->setSymbol(symbolOf(banner.kind));
    m_symbol->setColor(ink);
    m_text->setText(banner.text);
    glass::setTextStyle(m_text, look.callout, ink);
    update();
}

void BannerView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintRoundedBox(p, rect(), 10, m_fill, m_stroke);
}

} // namespace settings
