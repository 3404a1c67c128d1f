#include "chat/tray/TrayChips.h"

#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace chat {

using glass::QirvTheme::withOpacity;

namespace {

constexpr int kChipPadX = 8;
constexpr int kChipPadY = 5;
constexpr int kChipGap = 4;
constexpr int kChipSymbol = 11; // the symbol at a 10-pixel font
constexpr int kRowPadX = 14;
constexpr int kRowPadY = 8;
constexpr int kRowSymbol = 14;
constexpr int kRowGap = 7;

// Return presses a tray control that holds the keyboard, as Space does.
bool pressedByReturn(QAbstractButton *button, QKeyEvent *event)
{
    if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) ||
        (event->modifiers() & ~Qt::KeypadModifier))
        return false;
    if (button->isEnabled())
        button->click();
    event->accept();
    return true;
}

} // namespace

double clampedGlow(double introGlow)
{
    if (std::isnan(introGlow) || introGlow < 0)
        return 0;
    return introGlow > 1 ? 1 : introGlow;
}

ChipColors contextChipColors(const glass::Styles &s, bool emphasized, double introGlow, bool warning)
{
    const double g = clampedGlow(introGlow);
    // Content colours are the legible forms of accent and danger; borders
    // take the skin's accent as it is.
    const QColor accentText = s.link.color;
    if (warning)
        return {withOpacity(s.danger, 0.55 + 0.25 * g), withOpacity(s.danger, 0.9)};
    if (emphasized)
        return {withOpacity(s.accent, 0.28 + 0.25 * g), withOpacity(accentText, 0.75 + 0.15 * g)};
    if (g > 0.02)
        return {withOpacity(s.accent, 0.38 * g), withOpacity(accentText, 0.55 + 0.35 * g)};
    return {trayRim(s), s.textSecondary};
}

QColor trayFill(const glass::Styles &s, bool active)
{
    if (active)
        return withOpacity(s.accent, 0.22);
    return withOpacity(glass::QirvTheme::color(s.skin.colors.elevated), 0.28);
}

QColor trayRim(const glass::Styles &s)
{
    return s.light ? QColor::fromRgbF(0, 0, 0, 0.10f) : QColor::fromRgbF(1, 1, 1, 0.14f);
}

QFont trayFont(const glass::Styles &s, int pixels, QFont::Weight weight)
{
    QFont f = s.body.font;
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

QString plainToolTip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<qt>") + text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")) +
           QStringLiteral("</qt>");
}

void paintTraySymbol(QPainter &p, const QString &name, const QRectF &box, const QColor &color)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QImage image = glass::SymbolIcons::render(name, box.size(), color, dpr);
    if (!image.isNull())
        p.drawImage(box.topLeft(), image);
}

void TraySymbolImage::paint(QPainter &p, const QString &name, const QRectF &box, const QColor &color)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    if (name != m_name || box.size() != m_size || color.rgba() != m_color || dpr != m_dpr) {
        m_name = name;
        m_size = box.size();
        m_color = color.rgba();
        m_dpr = dpr;
        m_image = glass::SymbolIcons::render(name, box.size(), color, dpr);
    }
    if (!m_image.isNull())
        p.drawImage(box.topLeft(), m_image);
}

void TrayOutlineImage::draw(QPainter &p, const Look &look)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(p.opacity() * look.opacity);
    const QRectF r(QPointF(0, 0), QSizeF(look.size));
    if (look.round) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgba(look.fill));
        p.drawEllipse(r);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor::fromRgba(look.rim), 1));
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    } else {
        p.setPen(QPen(QColor::fromRgba(look.rim), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(glass::FrostShape::capsule().inset(r, 0.5));
    }
    p.restore();
}

void TrayOutlineImage::paint(QPainter &p, const Look &look)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    if (!(look == m_look) || dpr != m_dpr || m_image.isNull()) {
        m_look = look;
        m_dpr = dpr;
        m_image = QImage((QSizeF(look.size) * dpr).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(dpr);
        m_image.fill(Qt::transparent);
        QPainter picture(&m_image);
        draw(picture, look);
    }
    p.drawImage(QPointF(0, 0), m_image);
}

// ---- ContextChip

ContextChip::ContextChip(glass::StyleStore &styles, QWidget *parent) : QAbstractButton(parent), m_styles(styles)
{
    setCursor(Qt::PointingHandCursor);
    // Tab reaches it; a press never takes the keyboard from the composer.
    setFocusPolicy(Qt::TabFocus);
    glass::FocusRing::setShape(this, -1);
    // Shrinks below its title's width in a narrow row, never grows past it.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    glass::FrostShapeBackground::install(this, glass::QirvTheme::FrostRole::chip, glass::FrostShape::capsule(), false,
                                         false, styles);
    connect(&styles, &glass::StyleStore::changed, this, &ContextChip::restyle);
}

void ContextChip::setSymbol(const QString &symbol)
{
    if (m_symbol == symbol)
        return;
    m_symbol = symbol;
    update();
}

void ContextChip::setLook(bool emphasized, double introGlow, bool warning)
{
    m_emphasized = emphasized;
    m_glow = introGlow;
    m_warning = warning;
    update();
}

void ContextChip::setMaximumTitleWidth(int pixels)
{
    m_maxTitleWidth = pixels;
    updateGeometry();
    update();
}

QString ContextChip::shownTitle() const
{
    if (m_maxTitleWidth <= 0)
        return text();
    const QFontMetrics fm(trayFont(m_styles.styles(), 11, QFont::DemiBold));
    return fm.elidedText(text(), Qt::ElideMiddle, m_maxTitleWidth);
}

QString ContextChip::paintedTitle() const
{
    const QFontMetrics fm(trayFont(m_styles.styles(), 11, QFont::DemiBold));
    const int room = width() - (kChipPadX + kChipSymbol + kChipGap) - kChipPadX;
    const QString title = fm.elidedText(shownTitle(), Qt::ElideRight, std::max(0, room));
    // An ellipsis alone says nothing: the symbol stands for the chip then.
    return title == QString(QChar(0x2026)) ? QString() : title;
}

ChipColors ContextChip::colors() const
{
    return contextChipColors(m_styles.styles(), m_emphasized, m_glow, m_warning);
}

QSize ContextChip::sizeHint() const
{
    const QFont font = trayFont(m_styles.styles(), 11, QFont::DemiBold);
    const QFontMetrics fm(font);
    // Eliding measures the title in fractions of a pixel: round up, or a
    // title that fits would lose its last letters to an ellipsis.
    const int title = int(std::ceil(QFontMetricsF(font).horizontalAdvance(shownTitle()))) + 1;
    const int w = kChipPadX + kChipSymbol + kChipGap + title + kChipPadX;
    const int h = kChipPadY + qMax(fm.height(), kChipSymbol) + kChipPadY;
    return {w, h};
}

QSize ContextChip::minimumSizeHint() const
{
    return {kChipPadX + kChipSymbol + kChipPadX, sizeHint().height()};
}

void ContextChip::restyle()
{
    updateGeometry();
    update();
}

void ContextChip::keyPressEvent(QKeyEvent *event)
{
    if (!pressedByReturn(this, event))
        QAbstractButton::keyPressEvent(event);
}

bool ContextChip::hitButton(const QPoint &pos) const
{
    return glass::FrostShape::capsule().path(QRectF(rect())).contains(QPointF(pos) + QPointF(0.5, 0.5));
}

void ContextChip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        p.setOpacity(0.7);
    const ChipColors c = colors();
    const QRectF r(rect());
    {
        const qreal opacity = p.opacity();
        p.setOpacity(1);
        m_outline.paint(p, {size(), false, 0, c.border.rgba(), opacity});
        p.setOpacity(opacity);
    }

    const QFont f = trayFont(m_styles.styles(), 11, QFont::DemiBold);
    const qreal symbolTop = (r.height() - kChipSymbol) / 2;
    const QString title = paintedTitle();
    const qreal symbolLeft = title.isEmpty() ? (r.width() - kChipSymbol) / 2 : kChipPadX;
    m_symbolImage.paint(p, m_symbol, QRectF(symbolLeft, symbolTop, kChipSymbol, kChipSymbol), c.content);
    if (title.isEmpty())
        return;
    p.setFont(f);
    p.setPen(c.content);
    const QRectF textBox(kChipPadX + kChipSymbol + kChipGap, 0, r.width() - (kChipPadX + kChipSymbol + kChipGap), r.height());
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
}

// ---- TrayIconButton

TrayIconButton::TrayIconButton(glass::StyleStore &styles, QWidget *parent) : QAbstractButton(parent), m_styles(styles)
{
    setCursor(Qt::PointingHandCursor);
    // Tab reaches it; a press never takes the keyboard from the composer.
    setFocusPolicy(Qt::TabFocus);
    glass::FocusRing::setShape(this, -1);
    setFixedSize(26, 26);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

void TrayIconButton::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    update();
}

void TrayIconButton::setTint(const QColor &tint)
{
    m_tint = tint;
    update();
}

void TrayIconButton::setFill(const QColor &fill)
{
    m_fill = fill;
    update();
}

void TrayIconButton::setRim(const QColor &rim)
{
    m_rim = rim;
    update();
}

void TrayIconButton::setSymbolPixelSize(int pixels)
{
    m_symbolPixels = pixels;
    update();
}

void TrayIconButton::setOpacity(qreal opacity)
{
    m_opacity = opacity;
    update();
}

void TrayIconButton::keyPressEvent(QKeyEvent *event)
{
    if (!pressedByReturn(this, event))
        QAbstractButton::keyPressEvent(event);
}

bool TrayIconButton::hitButton(const QPoint &pos) const
{
    return glass::FrostShape::circle().path(QRectF(rect())).contains(QPointF(pos) + QPointF(0.5, 0.5));
}

void TrayIconButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(isDown() ? m_opacity * 0.7 : m_opacity); // a plain button dims while pressed
    const QRectF r(rect());
    const QColor rim = m_rim.isValid() ? m_rim : trayRim(m_styles.styles());
    {
        const qreal opacity = p.opacity();
        p.setOpacity(1);
        m_outline.paint(p, {size(), true, m_fill.rgba(), rim.rgba(), opacity});
        p.setOpacity(opacity);
    }
    const qreal s = m_symbolPixels;
    m_symbolImage.paint(p, m_symbol, QRectF((r.width() - s) / 2, (r.height() - s) / 2, s, s), m_tint);
}

// ---- TrayPopoverRow

TrayPopoverRow::TrayPopoverRow(const QString &title, const QString &symbol, glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_symbol(symbol)
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // an open popover holds the keyboard: Tab reaches each row
    glass::FocusRing::setInside(this, 8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, [this] {
        updateGeometry();
        update();
    });
}

void TrayPopoverRow::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    update();
}

QFont TrayPopoverRow::font() const
{
    return trayFont(m_styles.styles(), 12, QFont::Medium);
}

QSize TrayPopoverRow::sizeHint() const
{
    const QFontMetrics fm(font());
    return {kRowPadX + kRowSymbol + kRowGap + fm.horizontalAdvance(text()) + kRowPadX,
            kRowPadY + qMax(fm.height(), kRowSymbol) + kRowPadY};
}

QSize TrayPopoverRow::minimumSizeHint() const
{
    return {kRowPadX * 2, sizeHint().height()};
}

void TrayPopoverRow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    const QRectF r(rect());
    m_symbolImage.paint(p, m_symbol, QRectF(kRowPadX, (r.height() - kRowSymbol) / 2, kRowSymbol, kRowSymbol), s.text);
    p.setFont(font());
    p.setPen(s.text);
    const qreal x = kRowPadX + kRowSymbol + kRowGap;
    const QFontMetrics fm(font());
    p.drawText(QRectF(x, 0, r.width() - x - kRowPadX, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(text(), Qt::ElideRight, int(r.width() - x - kRowPadX)));
}

// ---- TrayText

TrayText::TrayText(const QString &text, int pixels, QFont::Weight weight, Color color, glass::StyleStore &styles,
                   QWidget *parent)
    : QWidget(parent), m_styles(styles), m_text(text), m_pixels(pixels), m_weight(weight), m_color(color)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(&styles, &glass::StyleStore::changed, this, [this] {
        updateGeometry();
        update();
    });
}

QColor TrayText::tertiary(const glass::Styles &s)
{
    return s.textTertiary;
}

QColor TrayText::primary(const glass::Styles &s)
{
    return s.text;
}

void TrayText::setInsets(QMargins insets)
{
    m_insets = insets;
    updateGeometry();
}

QFont TrayText::font() const
{
    return trayFont(m_styles.styles(), m_pixels, m_weight);
}

QSize TrayText::sizeHint() const
{
    const QFontMetrics fm(font());
    return {m_insets.left() + fm.horizontalAdvance(m_text) + m_insets.right(),
            m_insets.top() + fm.height() + m_insets.bottom()};
}

QSize TrayText::minimumSizeHint() const
{
    return {m_insets.left() + m_insets.right(), sizeHint().height()};
}

int TrayText::heightForWidth(int width) const
{
    const QFontMetrics fm(font());
    const int inner = qMax(1, width - m_insets.left() - m_insets.right());
    return m_insets.top() + fm.boundingRect(QRect(0, 0, inner, 10000), Qt::TextWordWrap, m_text).height() +
           m_insets.bottom();
}

void TrayText::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setFont(font());
    p.setPen(m_color(m_styles.styles()));
    p.drawText(QRectF(rect()).marginsRemoved(QMarginsF(m_insets)), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               m_text);
}

// ---- TrayDivider

// The separator tone of the glass is very faint at 0.35; its text tone is the line a menu would draw.
TrayDivider::TrayDivider(glass::StyleStore &styles, QWidget *parent)
    : glass::HairlineRule(styles, [](const glass::Styles &s) { return withOpacity(s.textTertiary, 0.35); }, parent)
{
}

} // namespace chat
