#include "glass/sheets/FocusTrap.h"

#include <QApplication>
#include <QEvent>

namespace glass {

FocusTrap::FocusTrap(QWidget *content, Home home, QWidget *entry)
    : QObject(content), m_content(content), m_window(content->window()), m_entry(entry), m_home(std::move(home))
{
    if (QWidget *had = m_window->focusWidget(); had && !holds(had))
        m_previous = had;
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this,
                           [this](QWidget *old, QWidget *now) { onFocusChanged(old, now); });
    // A window shown or activated later puts its own idea of the focus
    // back: the trap answers after it.
    m_window->installEventFilter(this);
    enter();
}

FocusTrap::~FocusTrap()
{
    // Focus moves while widgets die: no handler may run on a dying trap.
    disconnect(m_focusWatch);
    if (m_window)
        m_window->removeEventFilter(this);
}

QList<QWidget *> FocusTrap::tabStops(QWidget *content)
{
    QList<QWidget *> stops;
    if (!content)
        return stops;
    for (QWidget *w = content->nextInFocusChain(); w && w != content; w = w->nextInFocusChain()) {
        if (content->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(content) && !stops.contains(w))
            stops.append(w);
    }
    return stops;
}

bool FocusTrap::canTakeFocus(const QWidget *w)
{
    return w && w->isEnabled() && w->window() && w->isVisibleTo(w->window()) && !w->window()->isHidden();
}

bool FocusTrap::holds(const QWidget *w) const
{
    return m_content && w && (w == m_content || m_content->isAncestorOf(w));
}

void FocusTrap::enter()
{
    if (!m_content)
        return;
    QWidget *target = m_entry && holds(m_entry) && m_entry->isEnabled() && m_entry->isVisibleTo(m_content)
        ? m_entry.data()
        : nullptr;
    if (!target) {
        const QList<QWidget *> stops = tabStops(m_content);
        target = stops.isEmpty() ? m_content.data() : stops.first();
    }
    target->setFocus(Qt::PopupFocusReason);
}

void FocusTrap::onFocusChanged(QWidget *old, QWidget *now)
{
    if (!m_content || !now || now->window() != m_window)
        return;
    if (holds(now)) {
        m_entry = now; // where to come back to after a detour
        return;
    }
    // Out of the content in its own window: Tab past the last control or
    // Shift+Tab before the first wraps around; anything else comes back.
    const QList<QWidget *> stops = tabStops(m_content);
    QWidget *back = m_entry && holds(m_entry) ? m_entry.data() : nullptr;
    if (!stops.isEmpty()) {
        if (old == stops.last())
            back = stops.first();
        else if (old == stops.first())
            back = stops.last();
    }
    if (!back)
        back = stops.isEmpty() ? m_content.data() : stops.first();
    back->setFocus(Qt::OtherFocusReason);
}

bool FocusTrap::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) &&
        m_content && !holds(m_window->focusWidget()))
        enter();
    return false;
}

void FocusTrap::release()
{
    disconnect(m_focusWatch);
    if (m_window)
        m_window->removeEventFilter(this);
    if (!m_content || !m_window) {
        m_content = nullptr;
        return;
    }
    QWidget *had = m_window->focusWidget();
    if (!had || holds(had)) {
        QWidget *target = canTakeFocus(m_previous) && m_previous->window() == m_window && !holds(m_previous)
            ? m_previous.data()
            : nullptr;
        if (!target && m_home) {
            QWidget *home = m_home();
            if (canTakeFocus(home) && home->window() == m_window && !holds(home))
                target = home;
        }
        if (target)
            target->setFocus(Qt::OtherFocusReason);
        else if (had)
            had->clearFocus();
    }
    m_content = nullptr;
}

} // namespace glass
