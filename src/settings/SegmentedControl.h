#pragma once

#include "settings/SettingsLook.h"

#include <QStringList>
#include <QWidget>

class QAccessibleInterface;

namespace settings {

// A row of mutually exclusive segments. Showing a selection never emits;
// only a click does.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList &segments, QWidget *parent = nullptr);

    int current() const { return m_current; }
    void setCurrent(int index); // no signal
    // As a click on that segment: it becomes current and activated is emitted.
    void choose(int index);
    QStringList segments() const { return m_segments; }
    QRect segmentRect(int index) const;
    void applyLook(const SettingsLook &look);
    QSize sizeHint() const override;

    // What a screen reader is told of one: a group named after the control,
    // one radio button per segment, the current one checked. A factory for
    // QAccessible, installed by the first control made.
    static QAccessibleInterface *accessFor(const QString &className, QObject *object);

signals:
    void activated(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Makes index current and tells screen readers which segment is checked.
    void show(int index);

    QStringList m_segments;
    int m_current = -1;
    SettingsLook m_look;
};

} // namespace settings
