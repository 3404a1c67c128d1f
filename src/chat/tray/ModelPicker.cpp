#include "chat/tray/ModelPicker.h"

#include "chat/tray/TrayChips.h"
#include "glass/controls/FocusRing.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"

#include <QBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace chat {

namespace {

constexpr int kPadX = 14;
constexpr int kPadY = 8;
constexpr int kCheck = 11;

// A divider with space above (and below) it.
QWidget *spacedDivider(glass::StyleStore &styles, int above, int below, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, above, 0, below);
    layout->addWidget(new TrayDivider(styles, box));
    return box;
}

} // namespace

QString modelChipTooltip(const QString &selectedID)
{
    return QStringLiteral("Model: ") + selectedID + QStringLiteral("\nWhich Qirv answers this session. Change anytime.");
}

ModelPickerPopover::ModelPickerPopover(const QString &selectedID, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("modelPickerPopover"));
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new TrayText(tr("Model"), 11, QFont::DemiBold, &TrayText::tertiary, styles, this);
    header->setObjectName(QStringLiteral("modelHeader"));
    header->setInsets(QMargins(14, 10, 14, 6));
    column->addWidget(header);

    for (const model::QirvModelOption &option : model::ModelCatalog::options()) {
        auto *row = new ModelRow(option, option.id == selectedID, styles, this);
        row->setObjectName(QStringLiteral("model-") + option.id);
        connect(row, &QAbstractButton::clicked, this, [this, id = option.id] { emit modelChosen(id); });
        column->addWidget(row);
    }
    if (!model::ModelCatalog::isKnown(selectedID)) {
        column->addWidget(spacedDivider(styles, 4, 4, this));
        auto *custom = new CustomModelEntry(selectedID, styles, this);
        custom->setObjectName(QStringLiteral("customEntry"));
        column->addWidget(custom);
    }
    column->addWidget(spacedDivider(styles, 4, 0, this));
    auto *settings = new TrayPopoverRow(QStringLiteral("Custom id in Settings\u2026"), QStringLiteral("gearshape"),
                                        styles, this);
    settings->setObjectName(QStringLiteral("customInSettings"));
    connect(settings, &QAbstractButton::clicked, this, &ModelPickerPopover::customRequested);
    column->addWidget(settings);
    column->addSpacing(4);
}

// ---- ModelRow

ModelRow::ModelRow(const model::QirvModelOption &option, bool selected, glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_option(option), m_selected(selected)
{
    setText(option.title);
    setCheckable(true);
    setChecked(selected);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // reached by Tab while the popover holds the keyboard
    glass::FocusRing::setInside(this, 8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

QSize ModelRow::sizeHint() const
{
    const glass::Styles &s = m_styles.styles();
    const QFontMetrics title(trayFont(s, 12, QFont::DemiBold));
    const QFontMetrics sub(trayFont(s, 10));
    return {ModelPickerPopover::kWidth, kPadY + title.height() + 2 + sub.height() + kPadY};
}

void ModelRow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    const QRectF r(rect());
    if (m_selected) {
        QPainterPath highlight;
        highlight.addRoundedRect(r.adjusted(6, 0, -6, 0), 8, 8);
        p.fillPath(highlight, glass::QirvTheme::withOpacity(s.accent, s.skin.isLight() ? 0.10 : 0.14));
    }
    const QFont titleFont = trayFont(s, 12, QFont::DemiBold);
    const QFont subFont = trayFont(s, 10);
    const QFont badgeFont = trayFont(s, 9, QFont::Bold);
    const QFontMetrics tm(titleFont);
    const QFontMetrics sm(subFont);
    const QFontMetrics bm(badgeFont);
    const qreal right = r.width() - kPadX - (m_selected ? kCheck + 10 : 0);
    const qreal top = (r.height() - (tm.height() + 2 + sm.height())) / 2;

    p.setFont(titleFont);
    p.setPen(s.text);
    const int titleWidth = tm.horizontalAdvance(m_option.title);
    p.drawText(QRectF(kPadX, top, right - kPadX, tm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               tm.elidedText(m_option.title, Qt::ElideRight, int(right - kPadX)));
    if (m_option.badge) {
        const QRectF badge(kPadX + titleWidth + 6, top + (tm.height() - (bm.height() + 2)) / 2.0,
                           bm.horizontalAdvance(*m_option.badge) + 10, bm.height() + 2);
        QPainterPath capsule;
        capsule.addRoundedRect(badge, badge.height() / 2, badge.height() / 2);
        p.fillPath(capsule, glass::QirvTheme::withOpacity(s.accent, 0.14));
        p.setFont(badgeFont);
        p.setPen(s.link.color);
        p.drawText(badge, Qt::AlignCenter, *m_option.badge);
    }
    p.setFont(subFont);
    p.setPen(s.textTertiary);
    p.drawText(QRectF(kPadX, top + tm.height() + 2, right - kPadX, sm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               sm.elidedText(m_option.subtitle, Qt::ElideRight, int(right - kPadX)));
    if (m_selected)
        paintTraySymbol(p, QStringLiteral("checkmark"),
                        QRectF(r.width() - kPadX - kCheck, (r.height() - kCheck) / 2, kCheck, kCheck), s.link.color);
}

// ---- CustomModelEntry

CustomModelEntry::CustomModelEntry(const QString &id, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_styles(styles), m_id(id)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&styles, &glass::StyleStore::changed, this, qOverload<>(&QWidget::update));
}

QSize CustomModelEntry::sizeHint() const
{
    const glass::Styles &s = m_styles.styles();
    const QFontMetrics title(trayFont(s, 12, QFont::DemiBold));
    QFont mono = s.mono.font;
    mono.setPixelSize(10);
    return {ModelPickerPopover::kWidth, kPadY + title.height() + 1 + QFontMetrics(mono).height() + kPadY};
}

void CustomModelEntry::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    const QRectF r(rect());
    const QFont titleFont = trayFont(s, 12, QFont::DemiBold);
    QFont mono = s.mono.font;
    mono.setPixelSize(10);
    const QFontMetrics tm(titleFont);
    const QFontMetrics mm(mono);
    paintTraySymbol(p, QStringLiteral("text.cursor"), QRectF(kPadX, (r.height() - 12) / 2, 12, 12), s.textTertiary);
    const qreal x = kPadX + 12 + 8;
    const qreal right = r.width() - kPadX - kCheck - 8;
    const qreal top = (r.height() - (tm.height() + 1 + mm.height())) / 2;
    p.setFont(titleFont);
    p.setPen(s.text);
    p.drawText(QRectF(x, top, right - x, tm.height()), Qt::AlignLeft | Qt::AlignVCenter, tr("Custom"));
    p.setFont(mono);
    p.setPen(s.textTertiary);
    p.drawText(QRectF(x, top + tm.height() + 1, right - x, mm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               mm.elidedText(m_id, Qt::ElideRight, int(right - x)));
    paintTraySymbol(p, QStringLiteral("checkmark"),
                    QRectF(r.width() - kPadX - kCheck, (r.height() - kCheck) / 2, kCheck, kCheck), s.link.color);
}

} // namespace chat
