#pragma once

#include "panels/ToolLogRowHeights.h"

#include <QListView>
#include <QPersistentModelIndex>
#include <QTimer>

namespace panels {

// The tool log's list. Rows differ in height, so instead of the list view's
// own flow layout (which lays every row out again on each change) it keeps
// one cached height per row and their prefix sums: a status change measures
// one row, a new call on top measures one row and shifts the sums, and only
// the rows in sight are painted. Rows are measured by the delegate's size
// hint; at first fill or a new width the ones out of sight are measured in
// short slices while the UI stays free. Rows inserted or re-measured above
// what the user is reading keep it in place.
//
// With the keyboard it is one Tab stop: the arrow, Home, End and page keys
// move among the calls, Return or Space reveals the current call's file,
// the menu key or Shift+F10 opens its menu. A row is current, and ringed,
// only while the list holds the keyboard, so a reader hears no focused row
// once it has left.
class ToolLogList : public QListView {
    Q_OBJECT
public:
    explicit ToolLogList(QWidget *parent = nullptr);

    QRect visualRect(const QModelIndex &index) const override;
    QModelIndex indexAt(const QPoint &point) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;
    void reset() override;
    void setModel(QAbstractItemModel *model) override;

    const ToolLogRowHeights &rowHeights() const { return m_heights; }

signals:
    // The keyboard: Return or Space on the current row (its "Reveal in
    // Files"), the menu key or Shift+F10 (its menu, at globalPos).
    void rowChosen(const QModelIndex &index);
    void menuRequested(const QModelIndex &index, const QPoint &globalPos);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    QSize viewportSizeHint() const override;
    void verticalScrollbarValueChanged(int value) override;

private:
    void requestMenu();
    QPersistentModelIndex m_kept; // the row the keyboard left
    // What the user is reading: a row and how far into it the view starts.
    struct Anchor {
        int row = -1;
        int offset = 0;
        bool atTop = true;
    };
    Anchor anchor() const;
    void restore(const Anchor &anchor);

    int measure(const QStyleOptionViewItem &option, int row);
    QStyleOptionViewItem measureOption() const;
    int estimate() const;
    void measureInSight();
    void measureSome();
    void relayout();
    void measureAgain();

    ToolLogRowHeights m_heights;
    QTimer m_measurer;
    int m_measuredWidth = -1;
    int m_measureFrom = 0;
    int m_typical = 0;
    Anchor m_removing;
};

} // namespace panels
