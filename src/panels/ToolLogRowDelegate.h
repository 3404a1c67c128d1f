#pragma once

#include "panels/ToolLogRows.h"

#include <QStyledItemDelegate>

namespace glass {
class StyleStore;
}

namespace panels {

// Paints a tool log row from its layout. Heights are not kept here: the list
// keeps one per row and asks again only for rows that changed.
class ToolLogRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ToolLogRowDelegate(glass::StyleStore &styles, QObject *parent);

    ToolLogRows::Layout layoutFor(const QModelIndex &index, int width) const;
    // The fonts rows are laid out and painted in (the skin's, now).
    ToolLogRows::Fonts fonts() const;
    static std::optional<QString> pathOf(const QModelIndex &index);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The "Reveal in Files" button's help text, over the button.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
    // The selectable result text, over the row's result lines.
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override {}

private:
    glass::StyleStore &m_styles;
};

} // namespace panels
