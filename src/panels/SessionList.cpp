#include "panels/SessionList.h"

#include "app/SessionListModel.h"
#include "glass/controls/FocusRing.h"
#include "panels/RowKeys.h"
#include "panels/SessionRowDelegate.h"
#include "panels/SessionSections.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

#include <utility>

namespace panels {

namespace {
using Kind = SessionSectionsModel::RowKind;
using Roles = app::SessionListModel::Role;
} // namespace

SessionList::SessionList(QWidget *parent) : QListView(parent)
{
    // Tab reaches it once; a click selects without taking the keyboard.
    setFocusPolicy(Qt::TabFocus);
    // The ring goes round the current row, drawn by the rows.
    glass::FocusRing::setOwnIndicator(this);
    setTabKeyNavigation(false);
    setAccessibleName(QStringLiteral("Sessions"));
}

void SessionList::setModel(QAbstractItemModel *model)
{
    disconnect(m_aboutToReset);
    disconnect(m_reset);
    QListView::setModel(model);
    if (!model)
        return;
    // A reset (a search, a re-sort) drops the current row: the keyboard
    // stays on its session.
    m_aboutToReset = connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &SessionList::rememberCurrent);
    m_reset = connect(model, &QAbstractItemModel::modelReset, this, &SessionList::restoreCurrent);
}

int SessionList::currentRow() const
{
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

bool SessionList::acts(int row) const
{
    return model() && row >= 0 && row < model()->rowCount() &&
           (model()->flags(model()->index(row, 0)) & Qt::ItemIsEnabled);
}

int SessionList::stepped(const QList<bool> &enabled, int from, int key, int page)
{
    const int n = int(enabled.size());
    const auto first = [&](int start, int step) {
        for (int i = start; i >= 0 && i < n; i += step)
            if (enabled[i])
                return i;
        return -1;
    };
    const bool onRow = from >= 0 && from < n && enabled[from];
    int target = -1;
    switch (key) {
    case Qt::Key_Home:
        return first(0, 1);
    case Qt::Key_End:
        return first(n - 1, -1);
    case Qt::Key_Down:
        target = onRow ? first(from + 1, 1) : first(0, 1);
        break;
    case Qt::Key_Up:
        target = onRow ? first(from - 1, -1) : first(n - 1, -1);
        break;
    case Qt::Key_PageDown:
        target = first(qMin(n - 1, qMax(0, from) + qMax(1, page)), -1);
        if (target <= from)
            target = first(n - 1, -1);
        break;
    case Qt::Key_PageUp:
        target = first(qMax(0, from - qMax(1, page)), 1);
        if (target < 0 || (from >= 0 && target >= from))
            target = first(0, 1);
        break;
    default:
        return onRow ? from : -1;
    }
    // At either end the keyboard stays where it is.
    return target >= 0 ? target : (onRow ? from : first(0, 1));
}

void SessionList::moveTo(int row)
{
    if (!acts(row))
        return;
    const QModelIndex index = model()->index(row, 0);
    setCurrentIndex(index);
    scrollTo(index);
    viewport()->update();
}

void SessionList::enter()
{
    const int entry = m_entry ? m_entry() : -1;
    if (acts(entry)) {
        moveTo(entry);
        return;
    }
    if (acts(currentRow()))
        return;
    if (m_keptID.isValid()) {
        restoreCurrent();
        if (acts(currentRow()))
            return;
    }
    QList<bool> enabled;
    for (int r = 0; model() && r < model()->rowCount(); ++r)
        enabled.append(acts(r));
    moveTo(stepped(enabled, -1, Qt::Key_Home, 1));
}

void SessionList::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = RowKeys::held(event);
    if (RowKeys::chooses(event)) {
        if (acts(currentRow()))
            emit rowActivated(currentRow());
        event->accept();
        return;
    }
    if (RowKeys::opensMenu(event)) {
        requestMenu();
        event->accept();
        return;
    }
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        if (mods != Qt::NoModifier)
            break;
        QList<bool> enabled;
        for (int r = 0; r < model()->rowCount(); ++r)
            enabled.append(acts(r));
        const int page = qMax(1, viewport()->height() / SessionRowDelegate::kRowHeight - 1);
        moveTo(stepped(enabled, currentRow(), key, page));
        event->accept();
        return;
    }
    default:
        break;
    }
    QListView::keyPressEvent(event);
}

bool SessionList::event(QEvent *event)
{
    // The current row's menu, where its "⋮" button is.
    if (RowKeys::asksMenu(event)) {
        requestMenu();
        event->accept();
        return true;
    }
    return QListView::event(event);
}

void SessionList::requestMenu()
{
    if (acts(currentRow()) &&
        model()->index(currentRow(), 0).data(SessionSectionsModel::KindRole).value<Kind>() == Kind::session) {
        const QRect button = SessionRowDelegate::menuButtonRect(visualRect(currentIndex()));
        emit menuRequested(currentRow(), viewport()->mapToGlobal(button.bottomLeft()));
    }
}

void SessionList::focusInEvent(QFocusEvent *event)
{
    // First: the view would put a keyboard coming by Tab on its first row.
    enter();
    QListView::focusInEvent(event);
    viewport()->update();
}

void SessionList::focusOutEvent(QFocusEvent *event)
{
    QListView::focusOutEvent(event);
    // Its session is kept for the keyboard's return.
    RowKeys::dropCurrentOnLeaving(this, event, [this] { rememberCurrent(); });
}

void SessionList::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    RowKeys::dropCurrentWithoutKeyboard(this, current);
}

void SessionList::rememberCurrent()
{
    m_keptID = {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    m_keptID = current.data(SessionSectionsModel::KindRole).value<Kind>() == Kind::session
        ? current.data(Roles::IdRole)
        : QVariant::fromValue(current.data(SessionSectionsModel::KindRole).value<Kind>());
}

void SessionList::restoreCurrent()
{
    const QVariant kept = std::exchange(m_keptID, QVariant());
    auto *sections = qobject_cast<SessionSectionsModel *>(model());
    if (!hasFocus() || !kept.isValid() || !sections)
        return;
    const bool session = kept.typeId() == QMetaType::QUuid;
    int row = session ? sections->rowOfSession(kept) : -1;
    for (int r = 0; !session && row < 0 && r < sections->rowCount(); ++r)
        if (sections->kindAt(r) == Kind::archivedToggle)
            row = r;
    if (acts(row))
        moveTo(row);
    else
        enter(); // its session went: the selected one
}

} // namespace panels
