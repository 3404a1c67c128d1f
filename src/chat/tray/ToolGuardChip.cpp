#include "chat/tray/ToolGuardChip.h"

#include "chat/tray/TrayChips.h"
#include "glass/controls/FocusRing.h"
#include "glass/look/Styles.h"

#include <QBoxLayout>
#include <QPainter>

namespace chat {

namespace {
constexpr int kPadX = 12;
constexpr int kPadY = 8;
constexpr int kSymbolFrame = 16;
constexpr int kSymbol = 13;
constexpr int kCheck = 11;
} // namespace

ToolGuardModeInfo toolGuardInfo(model::ToolGuardMode mode)
{
    switch (mode) {
    case model::ToolGuardMode::Ask:
        return {QStringLiteral("hand.raised.fill"), QStringLiteral("Ask"), QStringLiteral("approve writes & shell"),
                QStringLiteral("Ask: approve every write and shell. Reads are free.")};
    case model::ToolGuardMode::Balanced:
        return {QStringLiteral("shield.lefthalf.filled"), QStringLiteral("Balanced"),
                QStringLiteral("free writes, ask shell"),
                QStringLiteral("Balanced: writes auto-run; shell still needs your OK. Good default for builders.")};
    case model::ToolGuardMode::Yolo:
        return {QStringLiteral("bolt.fill"), QStringLiteral("YOLO"), QStringLiteral("no prompts"),
                QStringLiteral("YOLO: tools run without approval prompts. Fast. Dangerous. You own the blast radius.")};
    }
    return {};
}

QString toolGuardTooltip(model::ToolGuardMode mode)
{
    const ToolGuardModeInfo info = toolGuardInfo(mode);
    return QStringLiteral("Permissions \u00B7 ") + info.title + QStringLiteral(". ") + info.description +
           QStringLiteral("\nClick to change Ask / Balanced / YOLO.");
}

ToolGuardPopover::ToolGuardPopover(model::ToolGuardMode current, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("toolGuardPopover"));
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 6, 0, 6);
    column->setSpacing(4);
    for (model::ToolGuardMode mode : model::kAllToolGuardModes) {
        auto *row = new ToolGuardRow(mode, mode == current, styles, this);
        row->setObjectName(QStringLiteral("guard-") + model::toRaw(mode));
        connect(row, &QAbstractButton::clicked, this, [this, mode] { emit chosen(mode); });
        column->addWidget(row);
    }
}

ToolGuardRow::ToolGuardRow(model::ToolGuardMode mode, bool current, glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_mode(mode), m_current(current)
{
    setText(toolGuardInfo(mode).title);
    setCheckable(true);
    setChecked(current);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // reached by Tab while the popover holds the keyboard
    glass::FocusRing::setInside(this, 8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

QSize ToolGuardRow::sizeHint() const
{
    const glass::Styles &s = m_styles.styles();
    const QFontMetrics title(trayFont(s, 12, QFont::DemiBold));
    const QFontMetrics sub(trayFont(s, 10));
    return {ToolGuardPopover::kWidth, kPadY + title.height() + 1 + sub.height() + kPadY};
}

void ToolGuardRow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    const ToolGuardModeInfo info = toolGuardInfo(m_mode);
    const QRectF r(rect());
    const QFont titleFont = trayFont(s, 12, QFont::DemiBold);
    const QFont subFont = trayFont(s, 10);
    const QFontMetrics tm(titleFont);
    const QFontMetrics sm(subFont);

    paintTraySymbol(p, info.symbol,
                    QRectF(kPadX + (kSymbolFrame - kSymbol) / 2.0, (r.height() - kSymbol) / 2, kSymbol, kSymbol), s.text);
    const qreal x = kPadX + kSymbolFrame + 8;
    const qreal right = r.width() - kPadX - (m_current ? kCheck + 8 : 0);
    const qreal top = (r.height() - (tm.height() + 1 + sm.height())) / 2;
    p.setFont(titleFont);
    p.setPen(s.text);
    p.drawText(QRectF(x, top, right - x, tm.height()), Qt::AlignLeft | Qt::AlignVCenter, info.title);
    p.setFont(subFont);
    p.setPen(s.textTertiary);
    p.drawText(QRectF(x, top + tm.height() + 1, right - x, sm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               sm.elidedText(info.subtitle, Qt::ElideRight, int(right - x)));
    if (m_current)
        paintTraySymbol(p, QStringLiteral("checkmark"),
                        QRectF(r.width() - kPadX - kCheck, (r.height() - kCheck) / 2, kCheck, kCheck), s.link.color);
}

} // namespace chat
