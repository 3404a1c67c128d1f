#pragma once

#include <QListView>

#include <functional>

namespace panels {

// The sidebar's list with the keyboard: one Tab stop; Up, Down, Home, End,
// Page Up and Page Down move among the rows that act (sessions and the
// "Archived" toggle, never a header or an empty line); Return or Space acts
// on the current row; the menu key or Shift+F10 asks for a session row's
// menu. The current row is ringed while the list holds the keyboard, and
// it stays on its session when the rows are sorted or filtered again.
class SessionList : public QListView {
    Q_OBJECT
public:
    explicit SessionList(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // The row the keyboard is on (-1: none).
    int currentRow() const;
    // Where the keyboard lands on entering: the selected session's row;
    // without one the current row, else the first row that acts.
    void setEntryRow(std::function<int()> entry) { m_entry = std::move(entry); }

    // The row a key moves to from `from` among rows that act (enabled[i]);
    // `page` rows make a page. -1 when no row acts.
    static int stepped(const QList<bool> &enabled, int from, int key, int page);

signals:
    void rowActivated(int row);
    void menuRequested(int row, const QPoint &globalPos);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    bool acts(int row) const;
    void moveTo(int row);
    void enter();
    void requestMenu();
    void rememberCurrent();
    void restoreCurrent();

    std::function<int()> m_entry;
    QMetaObject::Connection m_aboutToReset;
    QMetaObject::Connection m_reset;
    QVariant m_keptID; // the current row's session (or the toggle's kind) across a reset
};

} // namespace panels
