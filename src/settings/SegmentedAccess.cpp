// What a screen reader is told of a SegmentedControl.

#include "settings/SegmentedControl.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

namespace settings {

namespace {

// One segment. It is no object of its own: it asks its control, which may
// be gone by the time a reader asks.
class SegmentAccess : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SegmentAccess(SegmentedControl *control, int index) : m_control(control), m_index(index) {}

    bool isValid() const override { return m_control && m_index < m_control->segments().size(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_control ? m_control->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_control.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    void setText(QAccessible::Text, const QString &) override {}

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? m_control->segments().at(m_index) : QString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_control->segmentRect(m_index);
        return QRect(m_control->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.checkable = true;
        s.checked = m_control->current() == m_index;
        s.focusable = true;
        s.focused = s.checked && m_control->hasFocus();
        s.invisible = !m_control->isVisible();
        s.disabled = !m_control->isEnabled();
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid() && m_control->isEnabled())
            m_control->choose(m_index);
    }

private:
    QPointer<SegmentedControl> m_control;
    int m_index;
};

class SegmentedControlAccess : public QAccessibleWidget {
public:
    explicit SegmentedControlAccess(SegmentedControl *control) : QAccessibleWidget(control, QAccessible::Grouping)
    {
        // The segments are fixed when the control is made.
        for (int i = 0; i < control->segments().size(); ++i)
            m_segments.append(QAccessible::registerAccessibleInterface(new SegmentAccess(control, i)));
    }

    ~SegmentedControlAccess() override
    {
        // Goes when the control goes; its segments go with it, so no reader
        // can reach one that asks a control no longer there.
        for (QAccessible::Id id : std::as_const(m_segments))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return int(m_segments.size()); }

    QAccessibleInterface *child(int index) const override
    {
        return index >= 0 && index < m_segments.size() ? QAccessible::accessibleInterface(m_segments.at(index))
                                                       : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < m_segments.size(); ++i) {
            if (QAccessible::accessibleInterface(m_segments.at(i)) == child)
                return i;
        }
        return -1;
    }

    QAccessibleInterface *focusChild() const override
    {
        const auto *control = static_cast<const SegmentedControl *>(widget());
        return control->hasFocus() ? child(control->current()) : nullptr;
    }

private:
    QList<QAccessible::Id> m_segments;
};

} // namespace

QAccessibleInterface *SegmentedControl::accessFor(const QString &className, QObject *object)
{
    if (className != QLatin1String(SegmentedControl::staticMetaObject.className()))
        return nullptr;
    return new SegmentedControlAccess(static_cast<SegmentedControl *>(object));
}

} // namespace settings
