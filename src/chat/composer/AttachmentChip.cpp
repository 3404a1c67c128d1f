#include "chat/composer/AttachmentChip.h"

#include "chat/composer/AttachmentChipText.h"
#include "chat/composer/AttachmentThumbnails.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/GlassPainter.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>

#include <cmath>

namespace chat {

// The leading square: the thumbnail when there is one, else the symbol on
// a small frosted square.
class AttachmentChip::Tile : public QWidget {
public:
    Tile(AttachmentChip &chip, glass::StyleStore &styles) : QWidget(&chip), m_chip(chip), m_styles(styles)
    {
        setFixedSize(kTile, kTile);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // Under a thumbnail too: the picture covers it, and its edge stays soft.
        glass::FrostShapeBackground::install(this, glass::QirvTheme::FrostRole::chip,
                                             glass::FrostShape::roundedRectangle(8), false, false, styles);
    }

    int side() const { return int(std::ceil(kTile * devicePixelRatioF())); }

    void refresh() { update(); }

    QImage thumbnail() const
    {
        if (!m_chip.m_file.isImage)
            return {};
        return m_chip.m_thumbnails.image(m_chip.m_file.id);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF box(0, 0, kTile, kTile);
        const glass::FrostShape shape = glass::FrostShape::roundedRectangle(8);
        const QImage image = thumbnail();
        if (!image.isNull()) {
            p.save();
            p.setClipPath(shape.path(box));
            p.drawImage(box, image);
            p.restore();
            glass::GlassPainter::innerBorder(p, box, shape, QColor::fromRgbF(1, 1, 1, 0.14f), 1);
            return;
        }
        // Loading: the frosted square alone, so no "unreadable" sign flashes by.
        if (m_chip.m_file.isImage && m_chip.m_thumbnails.state(m_chip.m_file.id) != AttachmentThumbnails::State::Failed)
            return;
        const qreal symbol = 14;
        const QImage icon = glass::SymbolIcons::render(AttachmentChipText::symbol(m_chip.m_file), QSizeF(symbol, symbol),
                                                       m_styles.styles().accent, devicePixelRatioF());
        p.drawImage(QRectF((kTile - symbol) / 2, (kTile - symbol) / 2, symbol, symbol), icon);
    }

private:
    AttachmentChip &m_chip;
    glass::StyleStore &m_styles;
};

AttachmentChip::AttachmentChip(const model::AttachedFile &file, AttachmentThumbnails &thumbnails,
                               glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_file(file), m_thumbnails(thumbnails), m_styles(styles)
{
    setObjectName(QStringLiteral("attachmentChip"));
    setAttribute(Qt::WA_NoSystemBackground);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 4, 8, 4);
    row->setSpacing(8);

    m_tile = new Tile(*this, styles);
    row->addWidget(m_tile, 0, Qt::AlignVCenter);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(1);
    lines->setContentsMargins(0, 0, 0, 0);
    m_name = new QLabel;
    m_name->setTextFormat(Qt::PlainText);
    m_size = new QLabel;
    m_size->setTextFormat(Qt::PlainText);
    lines->addWidget(m_name);
    lines->addWidget(m_size);
    row->addLayout(lines);

    m_remove = new glass::SymbolButton(QStringLiteral("xmark"), styles.styles().textTertiary,
                                       QStringLiteral("Remove attachment"));
    m_remove->setSymbolSize(9);
    m_remove->setFixedSize(18, 18);
    m_remove->setCursor(Qt::PointingHandCursor);
    row->addWidget(m_remove, 0, Qt::AlignVCenter);
    connect(m_remove, &QAbstractButton::clicked, this, [this] { emit removeClicked(m_file.id); });

    glass::FrostShapeBackground::install(this, glass::QirvTheme::FrostRole::chip,
                                         glass::FrostShape::roundedRectangle(12), true, false, styles);
    connect(&thumbnails, &AttachmentThumbnails::ready, this, [this](const QUuid &id) {
        if (id == m_file.id)
            m_tile->refresh();
    });
    connect(&styles, &glass::StyleStore::changed, this, &AttachmentChip::applyLook);
    applyLook();
    refresh();
}

void AttachmentChip::setFile(const model::AttachedFile &file)
{
    if (file == m_file)
        return;
    m_file = file;
    refresh();
}

QString AttachmentChip::nameText() const
{
    return m_name->text();
}

QString AttachmentChip::sizeText() const
{
    return m_size->text();
}

bool AttachmentChip::showsThumbnail() const
{
    return !m_tile->thumbnail().isNull();
}

void AttachmentChip::refresh()
{
    m_name->setText(m_file.displayPath);
    m_size->setText(AttachmentChipText::sizeLine(m_file));
    setToolTip(AttachmentChipText::toolTip(m_file));
    if (m_file.isImage)
        m_thumbnails.request(m_file.id, m_file.url, m_tile->side());
    m_tile->refresh();
}

void AttachmentChip::applyLook()
{
    const glass::Styles &s = m_styles.styles();
    QFont name = s.body.font;
    name.setPixelSize(12);
    name.setWeight(QFont::DemiBold);
    m_name->setFont(name);
    glass::setInk(m_name, s.text);

    QFont size = s.body.font;
    size.setPixelSize(10);
    size.setWeight(QFont::Medium);
    m_size->setFont(size);
    glass::setInk(m_size, s.textTertiary);

    m_remove->setColor(s.textTertiary);
    m_tile->update();
}

} // namespace chat
