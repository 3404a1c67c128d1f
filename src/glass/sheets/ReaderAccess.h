#pragma once

#include <QAccessibleWidget>

class QObject;
class QString;
class QWidget;

namespace glass {

// A widget's children as Qt's own interface lists them, less those hidden
// from readers, and with the open menus it owns. The list is built anew for
// every question, so it never holds a widget that is gone.
class ReaderWidget : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    bool isValid() const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

protected:
    QList<QWidget *> readerChildren() const;
};

// What screen readers are given beyond Qt's own interfaces. Install once the
// application object exists (Qt installs its factory there, and factories
// installed later are asked first); a second call adds nothing.
void installReaderAccess();

// Keeps a decorative widget (a mark, a flourish) out of the tree readers
// walk: its parent's interface leaves it out of its children, and it sends
// them no events (shown, hidden, renamed). Call it before the widget is shown.
void hideFromReaders(QWidget *widget);
bool isHiddenFromReaders(const QWidget *widget);

// Qt's own interface for scroll areas counts a scroll bar among its children
// only while the bar shows, and reads its child list without a bounds check.
// A screen reader holding the count from before a bar hid (a reply growing,
// a card arriving) then asked for a child past the end and got a wild
// pointer, which brought the app down. Ours lists the area's child widgets
// as any widget does, hidden bars included, so the count holds while bars
// come and go, and an index past it answers nothing.
QAccessibleInterface *accessibleScrollArea(const QString &className, QObject *object);

// A plain widget whose children hidden from readers are left out, and whose
// open menus (a row's actions, say) are among its children.
QAccessibleInterface *accessiblePlainWidget(const QString &className, QObject *object);

// An alert sheet is an alert: its title is its name and its message its
// description, so a reader speaks the message when the sheet comes.
QAccessibleInterface *accessibleAlertSheet(const QString &className, QObject *object);

} // namespace glass
