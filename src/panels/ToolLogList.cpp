#include "panels/ToolLogList.h"

#include "glass/controls/FocusRing.h"
#include "panels/RowKeys.h"

#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

namespace panels {

namespace {
// Rows measured on the spot when they arrive; more go to the slices.
constexpr int kMeasureNow = 64;
// How long one slice of measuring may hold the UI thread.
constexpr qint64 kSliceNs = 2'000'000;
constexpr int kFirstGuess = 64;
} // namespace

ToolLogList::ToolLogList(QWidget *parent) : QListView(parent)
{
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Tab reaches it once; a click acts without taking the keyboard.
    setFocusPolicy(Qt::TabFocus);
    setTabKeyNavigation(false);
    glass::FocusRing::setOwnIndicator(this); // the rows ring the current one
    setAccessibleName(QStringLiteral("Tool log"));
    m_measurer.setSingleShot(true);
    m_measurer.setInterval(0);
    connect(&m_measurer, &QTimer::timeout, this, &ToolLogList::measureSome);
}

void ToolLogList::setModel(QAbstractItemModel *newModel)
{
    if (model())
        disconnect(model(), &QAbstractItemModel::rowsRemoved, this, nullptr);
    QListView::setModel(newModel);
    if (newModel) {
        connect(newModel, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &parent) {
            if (parent != rootIndex())
                return;
            restore(m_removing);
            measureInSight();
            viewport()->update();
        });
    }
    relayout();
}

int ToolLogList::estimate() const
{
    return m_typical > 0 ? m_typical : kFirstGuess;
}

int ToolLogList::measure(const QStyleOptionViewItem &option, int row)
{
    const QModelIndex index = model()->index(row, modelColumn(), rootIndex());
    QAbstractItemDelegate *delegate = itemDelegateForIndex(index);
    const int height = delegate ? delegate->sizeHint(option, index).height() : 0;
    m_typical = height;
    return height;
}

QStyleOptionViewItem ToolLogList::measureOption() const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, viewport()->width(), 0);
    return option;
}

ToolLogList::Anchor ToolLogList::anchor() const
{
    Anchor a;
    const int value = verticalScrollBar()->value();
    a.atTop = value <= 0;
    a.row = m_heights.rowAt(value);
    if (a.row >= 0)
        a.offset = value - m_heights.top(a.row);
    return a;
}

void ToolLogList::restore(const Anchor &a)
{
    updateGeometries();
    if (a.atTop || a.row < 0 || m_heights.count() == 0) {
        verticalScrollBar()->setValue(0);
        return;
    }
    const int row = std::min(a.row, m_heights.count() - 1);
    verticalScrollBar()->setValue(m_heights.top(row) + std::min(a.offset, m_heights.height(row)));
}

void ToolLogList::relayout()
{
    m_heights.reset(model() ? model()->rowCount(rootIndex()) : 0, estimate());
    m_measuredWidth = viewport()->width();
    m_measureFrom = 0;
    restore({});
    measureInSight();
    if (m_heights.unmeasured() > 0)
        m_measurer.start();
    viewport()->update();
}

void ToolLogList::measureAgain()
{
    // What is in sight first, the rest in slices; the row read stays put.
    const Anchor a = anchor();
    m_heights.forget();
    m_measureFrom = 0;
    m_measuredWidth = viewport()->width();
    measureInSight();
    restore(a);
    if (m_heights.unmeasured() > 0)
        m_measurer.start();
}

void ToolLogList::measureInSight()
{
    if (!model() || m_heights.count() == 0)
        return;
    const int value = verticalScrollBar()->value();
    const int bottom = value + viewport()->height();
    const QStyleOptionViewItem option = measureOption();
    bool changed = false;
    // Rows below the first in sight move with it; the first keeps its top.
    int row = m_heights.rowAt(value);
    int y = m_heights.top(row);
    for (; row < m_heights.count() && y < bottom; ++row) {
        if (!m_heights.isMeasured(row)) {
            const int before = m_heights.height(row);
            m_heights.set(row, measure(option, row));
            changed = changed || m_heights.height(row) != before;
        }
        y += m_heights.height(row);
    }
    if (changed)
        updateGeometries();
}

void ToolLogList::measureSome()
{
    if (!model() || m_heights.unmeasured() == 0)
        return;
    const Anchor a = anchor();
    const QStyleOptionViewItem option = measureOption();
    QElapsedTimer slice;
    slice.start();
    int row = std::clamp(m_measureFrom, 0, m_heights.count());
    for (int n = 0; row < m_heights.count(); ++row, ++n) {
        if (!m_heights.isMeasured(row))
            m_heights.set(row, measure(option, row));
        if (n % 16 == 15 && slice.nsecsElapsed() > kSliceNs)
            break;
    }
    m_measureFrom = row;
    if (m_measureFrom >= m_heights.count() && m_heights.unmeasured() > 0)
        m_measureFrom = 0; // some row above was forgotten meanwhile
    restore(a);
    viewport()->update();
    if (m_heights.unmeasured() > 0)
        m_measurer.start();
}

void ToolLogList::doItemsLayout()
{
    // Asked for when the looks or the rows as a whole changed: measure again.
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    if (rows != m_heights.count()) {
        relayout();
    } else {
        measureAgain();
    }
    QAbstractItemView::doItemsLayout();
}

void ToolLogList::reset()
{
    QListView::reset();
    relayout();
}

void ToolLogList::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (topLeft.parent() == rootIndex() && topLeft.isValid() && bottomRight.isValid()) {
        const int first = std::max(topLeft.row(), 0);
        const int last = std::min(bottomRight.row(), m_heights.count() - 1);
        if (last - first >= kMeasureNow) {
            doItemsLayout();
        } else if (first <= last) {
            const Anchor a = anchor();
            const QStyleOptionViewItem option = measureOption();
            bool moved = false;
            for (int row = first; row <= last; ++row) {
                const int before = m_heights.height(row);
                m_heights.set(row, measure(option, row));
                moved = moved || m_heights.height(row) != before;
            }
            if (moved) {
                restore(a);
                viewport()->update();
            }
        }
    }
    // Skips the list view's own handling, which would lay every row out again.
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void ToolLogList::rowsInserted(const QModelIndex &parent, int start, int end)
{
    if (parent == rootIndex() && end >= start) {
        Anchor a = anchor();
        const int rows = end - start + 1;
        m_heights.insert(start, rows, estimate());
        if (rows <= kMeasureNow) {
            const QStyleOptionViewItem option = measureOption();
            for (int row = start; row <= end; ++row)
                m_heights.set(row, measure(option, row));
        } else {
            m_measureFrom = std::min(m_measureFrom, start);
            m_measurer.start();
        }
        if (a.row >= start)
            a.row += rows;
        restore(a);
        measureInSight();
        viewport()->update();
    }
    QAbstractItemView::rowsInserted(parent, start, end);
}

void ToolLogList::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    if (parent != rootIndex() || end < start)
        return;
    m_removing = anchor();
    const int rows = end - start + 1;
    if (m_removing.row > end) {
        m_removing.row -= rows;
    } else if (m_removing.row >= start) {
        m_removing.row = start;
        m_removing.offset = 0;
    }
    m_heights.remove(start, rows);
    m_measureFrom = std::min(m_measureFrom, start);
}

void ToolLogList::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
}

void ToolLogList::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    if (viewport()->width() != m_measuredWidth && model()) {
        // Text wraps anew at another width.
        measureAgain();
        viewport()->update();
    }
}

void ToolLogList::wheelEvent(QWheelEvent *event)
{
    QAbstractItemView::wheelEvent(event);
}

void ToolLogList::verticalScrollbarValueChanged(int value)
{
    measureInSight();
    QAbstractItemView::verticalScrollbarValueChanged(value);
}

void ToolLogList::paintEvent(QPaintEvent *event)
{
    if (!model() || m_heights.count() == 0)
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int value = verticalScrollBar()->value();
    const QRect area = event->rect();
    const int first = m_heights.rowAt(value + area.top());
    const int last = m_heights.rowAt(value + area.bottom());
    for (int row = first; row >= 0 && row <= last; ++row) {
        const QModelIndex index = model()->index(row, modelColumn(), rootIndex());
        option.rect = visualRect(index);
        if (QAbstractItemDelegate *delegate = itemDelegateForIndex(index))
            delegate->paint(&painter, option, index);
    }
}

QRect ToolLogList::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent() != rootIndex() || index.row() >= m_heights.count())
        return {};
    return QRect(0, m_heights.top(index.row()) - verticalScrollBar()->value(), viewport()->width(),
                 m_heights.height(index.row()));
}

QModelIndex ToolLogList::indexAt(const QPoint &point) const
{
    const int y = point.y() + verticalScrollBar()->value();
    if (!model() || point.x() < 0 || point.x() >= viewport()->width() || y < 0 || y >= m_heights.total())
        return {};
    return model()->index(m_heights.rowAt(y), modelColumn(), rootIndex());
}

void ToolLogList::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.parent() != rootIndex() || index.row() >= m_heights.count())
        return;
    const int top = m_heights.top(index.row());
    const int height = m_heights.height(index.row());
    const int view = viewport()->height();
    const int value = verticalScrollBar()->value();
    int to = value;
    switch (hint) {
    case EnsureVisible:
        if (top < value)
            to = top;
        else if (top + height > value + view)
            to = std::min(top, top + height - view);
        break;
    case PositionAtTop:
        to = top;
        break;
    case PositionAtBottom:
        to = top + height - view;
        break;
    case PositionAtCenter:
        to = top + (height - view) / 2;
        break;
    }
    verticalScrollBar()->setValue(to);
}

int ToolLogList::horizontalOffset() const
{
    return 0;
}

int ToolLogList::verticalOffset() const
{
    return verticalScrollBar()->value();
}

void ToolLogList::keyPressEvent(QKeyEvent *event)
{
    if (RowKeys::chooses(event)) {
        if (currentIndex().isValid())
            emit rowChosen(currentIndex());
        event->accept();
        return;
    }
    if (RowKeys::opensMenu(event)) {
        requestMenu();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

bool ToolLogList::event(QEvent *event)
{
    if (RowKeys::asksMenu(event)) {
        requestMenu();
        event->accept();
        return true;
    }
    return QListView::event(event);
}

void ToolLogList::requestMenu()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return;
    const QRect row = visualRect(index);
    emit menuRequested(index, viewport()->mapToGlobal(QPoint(row.left() + 24, row.top() + 24)));
}

void ToolLogList::focusInEvent(QFocusEvent *event)
{
    // The newest call, unless the keyboard comes back to the one it left.
    if (!currentIndex().isValid() && model() && model()->rowCount() > 0) {
        const QModelIndex to = m_kept.isValid() ? QModelIndex(m_kept) : model()->index(0, 0);
        selectionModel()->setCurrentIndex(to, QItemSelectionModel::NoUpdate);
        scrollTo(to);
    }
    QListView::focusInEvent(event);
    viewport()->update();
}

void ToolLogList::focusOutEvent(QFocusEvent *event)
{
    QListView::focusOutEvent(event);
    RowKeys::dropCurrentOnLeaving(this, event, [this] { m_kept = currentIndex(); });
}

void ToolLogList::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    RowKeys::dropCurrentWithoutKeyboard(this, current);
}

QModelIndex ToolLogList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = m_heights.count();
    if (!model() || rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    int to = row;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        to = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        to = row + 1;
        break;
    case MoveHome:
        to = 0;
        break;
    case MoveEnd:
        to = rows - 1;
        break;
    case MovePageUp:
        to = row < 0 ? 0 : m_heights.rowAt(m_heights.top(row) - viewport()->height());
        break;
    case MovePageDown:
        to = row < 0 ? 0 : m_heights.rowAt(m_heights.top(row) + viewport()->height());
        break;
    case MoveLeft:
    case MoveRight:
        return current;
    }
    return model()->index(std::clamp(to, 0, rows - 1), modelColumn(), rootIndex());
}

void ToolLogList::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel() || !model() || m_heights.count() == 0)
        return;
    const QRect rows = rect.normalized();
    const int value = verticalScrollBar()->value();
    const int first = m_heights.rowAt(rows.top() + value);
    const int last = m_heights.rowAt(rows.bottom() + value);
    const QItemSelection selection(model()->index(first, modelColumn(), rootIndex()),
                                   model()->index(last, modelColumn(), rootIndex()));
    selectionModel()->select(selection, command);
}

QRegion ToolLogList::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const int value = verticalScrollBar()->value();
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.parent() != rootIndex() || range.bottom() >= m_heights.count())
            continue;
        const int top = m_heights.top(range.top()) - value;
        const int bottom = m_heights.top(range.bottom() + 1) - value;
        region += QRect(0, top, viewport()->width(), bottom - top).intersected(viewport()->rect());
    }
    return region;
}

void ToolLogList::updateGeometries()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setSingleStep(std::max(1, estimate() / 3));
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, m_heights.total() - viewport()->height()));
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

QSize ToolLogList::viewportSizeHint() const
{
    return {viewport()->width(), m_heights.total()};
}

} // namespace panels
