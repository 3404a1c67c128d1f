#pragma once

#include "model/RunRecords.h"

#include <QWidget>

class QLabel;

namespace glass {
class FrostShapeBackground;
class StyleStore;
class SymbolButton;
} // namespace glass

namespace chat {

class AttachmentThumbnails;

// One staged attachment above the composer's field: a thumbnail (images)
// or a symbol, the name shown, the size line and a remove button, on a
// small frosted tile whose tooltip says how it will be sent.
class AttachmentChip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTile = 36;

    AttachmentChip(const model::AttachedFile &file, AttachmentThumbnails &thumbnails, glass::StyleStore &styles,
                   QWidget *parent = nullptr);

    const model::AttachedFile &file() const { return m_file; }
    void setFile(const model::AttachedFile &file);

    QString nameText() const;
    QString sizeText() const;
    // Whether the leading square shows the thumbnail (else a symbol).
    bool showsThumbnail() const;

signals:
    void removeClicked(const QUuid &id);

private:
    class Tile;
    void applyLook();
    void refresh();

    model::AttachedFile m_file;
    AttachmentThumbnails &m_thumbnails;
    glass::StyleStore &m_styles;
    Tile *m_tile = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_size = nullptr;
    glass::SymbolButton *m_remove = nullptr;
};

} // namespace chat
