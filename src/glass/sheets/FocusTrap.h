#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace glass {

// Holds the keyboard inside a widget while it is up (a sheet, a popover):
// the focus moves into it at once (or as soon as its window shows), no other
// control of its window can take the focus from it, and Tab past its last
// control comes back to its first (Shift+Tab the other way). Release gives
// the keyboard back to what had it before, or, when that is gone, to the
// home control the window names.
class FocusTrap : public QObject {
    Q_OBJECT
public:
    using Home = std::function<QWidget *()>;

    // entry: where the focus goes first (null: the first control Tab reaches).
    FocusTrap(QWidget *content, Home home, QWidget *entry = nullptr);
    ~FocusTrap() override;

    // Gives the keyboard back; call it before the content hides, so the
    // focus never passes through whatever happens to follow in the chain.
    // The trap holds nothing afterwards.
    void release();

    QWidget *content() const { return m_content; }
    QWidget *previous() const { return m_previous; }

    // The controls of content that Tab reaches, in order.
    static QList<QWidget *> tabStops(QWidget *content);
    // Whether w may take the keyboard back: alive, shown, enabled, focusable.
    static bool canTakeFocus(const QWidget *w);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool holds(const QWidget *w) const;
    void enter();
    void onFocusChanged(QWidget *old, QWidget *now);

    QPointer<QWidget> m_content;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_previous;
    QPointer<QWidget> m_entry;
    Home m_home;
    QMetaObject::Connection m_focusWatch;
};

} // namespace glass
