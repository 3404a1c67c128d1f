#include "chat/tray/SkinPalette.h"

#include "chat/tray/TrayChips.h"
#include "glass/controls/FocusRing.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "stage/SkinStore.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>

namespace chat {

using glass::QirvTheme::color;
using glass::QirvTheme::withOpacity;

namespace {
constexpr int kColumns = 3;
constexpr int kSpacing = 8;
constexpr int kTilePad = 6;
constexpr int kMiniatureHeight = 44;
constexpr int kNamePixels = 10;
} // namespace

int skinNamePixelSize(const QFont &base, const QString &name, int width, QString *shown)
{
    QFont f = base;
    f.setPixelSize(kNamePixels);
    if (QFontMetrics(f).horizontalAdvance(name) <= width) {
        if (shown)
            *shown = name;
        return kNamePixels;
    }
    f.setPixelSize(8); // shrunk to 0.8 before it is cut
    if (shown)
        *shown = QFontMetrics(f).elidedText(name, Qt::ElideRight, width);
    return 8;
}

SkinPalettePopover::SkinPalettePopover(glass::StyleStore &styles, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("skinPalettePopover"));
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(10);

    auto *title = new TrayText(QStringLiteral("UI Skin"), 11, QFont::DemiBold, &TrayText::tertiary, styles, this);
    title->setObjectName(QStringLiteral("skinTitle"));
    column->addWidget(title);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(kSpacing);
    grid->setVerticalSpacing(kSpacing);
    const QList<stage::UISkin> &skins = styles.skins().skins();
    for (qsizetype i = 0; i < skins.size(); ++i) {
        auto *tile = new SkinTile(skins[i], styles, this);
        tile->setObjectName(QStringLiteral("skin-") + skins[i].id);
        connect(tile, &QAbstractButton::clicked, this,
                [&styles, id = skins[i].id] { styles.skins().select(id); });
        grid->addWidget(tile, int(i / kColumns), int(i % kColumns));
    }
    for (int c = 0; c < kColumns; ++c)
        grid->setColumnStretch(c, 1);
    column->addLayout(grid);

    auto *note = new TrayText(QStringLiteral("Dark packs + light packs. Text flips with the stage."), 10, QFont::Normal,
                              &TrayText::tertiary, styles, this);
    note->setObjectName(QStringLiteral("skinNote"));
    column->addWidget(note);
}

QWidget *SkinPalettePopover::selectedTile() const
{
    const QList<SkinTile *> tiles = findChildren<SkinTile *>(Qt::FindDirectChildrenOnly);
    for (SkinTile *tile : tiles)
        if (tile->isSelected())
            return tile;
    return tiles.isEmpty() ? nullptr : tiles.first();
}

// ---- SkinTile

SkinTile::SkinTile(const stage::UISkin &skin, glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_styles(styles), m_skin(skin)
{
    setText(skin.name);
    setToolTip(QString());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // reached by Tab while the palette holds the keyboard
    glass::FocusRing::setInside(this, 12);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(10 + 2 * kTilePad);
    setCheckable(true);
    setChecked(isSelected());
    connect(&styles, &glass::StyleStore::changed, this, [this] {
        setChecked(isSelected());
        update();
    });
}

bool SkinTile::isSelected() const
{
    return m_styles.skins().selectedID() == m_skin.id;
}

QSize SkinTile::sizeHint() const
{
    QFont f = trayFont(m_styles.styles(), kNamePixels, QFont::DemiBold);
    return {88, kTilePad + kMiniatureHeight + 6 + QFontMetrics(f).height() + kTilePad};
}

void SkinTile::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    const stage::SkinColors &own = m_skin.colors;
    const bool selected = isSelected();
    const QRectF r(rect());

    // The frame, in the skin in use.
    QPainterPath frame;
    frame.addRoundedRect(r, 12, 12);
    p.fillPath(frame, withOpacity(color(s.skin.colors.elevated), selected ? 1.0 : 0.55));
    QPainterPath frameEdge;
    frameEdge.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
    p.setPen(QPen(selected ? withOpacity(s.accent, 0.45) : color(s.skin.colors.border), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(frameEdge);

    // The miniature, in the tile's own skin.
    const QRectF mini(kTilePad, kTilePad, r.width() - 2 * kTilePad, kMiniatureHeight);
    QPainterPath miniPath;
    miniPath.addRoundedRect(mini, 10, 10);
    p.fillPath(miniPath, color(own.bg));
    QPainterPath miniEdge;
    miniEdge.addRoundedRect(mini.adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);
    p.setPen(QPen(color(own.border), 1));
    p.drawPath(miniEdge);
    p.setPen(Qt::NoPen);
    const qreal barsY = mini.bottom() - 8 - 6;
    QPainterPath accentBar;
    accentBar.addRoundedRect(QRectF(mini.left() + 8, barsY, 22, 6), 3, 3);
    p.fillPath(accentBar, color(own.accent));
    QPainterPath textBar;
    textBar.addRoundedRect(QRectF(mini.left() + 8 + 22 + 4, barsY, 14, 6), 3, 3);
    p.fillPath(textBar, withOpacity(color(own.text), 0.35));
    if (selected)
        paintTraySymbol(p, QStringLiteral("checkmark.circle.fill"), QRectF(mini.right() - 4 - 15, mini.top() + 4, 15, 15),
                        color(own.accent));

    // The name, in the skin in use.
    const QRectF nameBox(kTilePad, mini.bottom() + 6, r.width() - 2 * kTilePad, r.bottom() - kTilePad - mini.bottom() - 6);
    QString shown;
    QFont f = trayFont(s, kNamePixels, QFont::DemiBold);
    f.setPixelSize(skinNamePixelSize(f, m_skin.name, int(nameBox.width()), &shown));
    p.setFont(f);
    p.setPen(s.text);
    p.drawText(nameBox, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

} // namespace chat
