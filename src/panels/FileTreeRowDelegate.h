#pragma once

#include <QStyledItemDelegate>

namespace glass {
class StyleStore;
}

namespace panels {

// A file tree row: the folder or file symbol and the name, tinted with the
// accent when the row shows the peeked or highlighted path.
class FileTreeRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    FileTreeRowDelegate(glass::StyleStore &styles, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    glass::StyleStore &m_styles;
};

} // namespace panels
