#pragma once

// An event log of the animations under a root object: "start <name> <ms>
// <curve>" when one starts and "end <name>" when it stops, in the order
// they happen. Named curves are the app's (glass::Motion); others read
// "other".

#include "glass/look/Motion.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariantAnimation>

namespace testsupport {

class AnimationLog : public QObject {
public:
    explicit AnimationLog(QObject *root) { watch(root); }

    // Also the animations under root (made after the log was).
    void watch(QObject *root)
    {
        // The app's own motions have names; Qt's widgets keep unnamed ones.
        for (QVariantAnimation *animation : root->findChildren<QVariantAnimation *>())
            if (!animation->objectName().isEmpty())
                attach(animation);
    }
    QStringList entries() const { return m_entries; }
    // The starts only (ends of animations of one length may come in any order).
    QStringList starts() const { return m_entries.filter(QStringLiteral("start ")); }
    QStringList ends() const
    {
        QStringList ends = m_entries.filter(QStringLiteral("end "));
        ends.sort();
        return ends;
    }
    bool settled() const { return starts().size() == ends().size(); }
    void clear() { m_entries.clear(); }

    static QString curveName(const QEasingCurve &curve)
    {
        if (curve == glass::Motion::easeOut())
            return QStringLiteral("easeOut");
        if (curve == glass::Motion::easeInOut())
            return QStringLiteral("easeInOut");
        return QStringLiteral("other");
    }

private:
    void attach(QVariantAnimation *animation)
    {
        if (m_watched.contains(animation))
            return;
        m_watched.insert(animation);
        connect(animation, &QAbstractAnimation::stateChanged, this,
                [this, animation](QAbstractAnimation::State now, QAbstractAnimation::State was) {
                    if (now == QAbstractAnimation::Running && was == QAbstractAnimation::Stopped)
                        m_entries << QStringLiteral("start %1 %2 %3")
                                         .arg(animation->objectName())
                                         .arg(animation->duration())
                                         .arg(curveName(animation->easingCurve()));
                    else if (now == QAbstractAnimation::Stopped)
                        m_entries << QStringLiteral("end %1").arg(animation->objectName());
                });
    }

    QSet<QObject *> m_watched;
    QStringList m_entries;
};

} // namespace testsupport
