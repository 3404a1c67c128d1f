#pragma once

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

#include <optional>

namespace platform {

// Whether the desktop asks for less motion. Read from the desktop portal's
// settings: the freedesktop "reduced-motion" key where the desktop sets it,
// else GNOME's "enable-animations"; followed as either changes. Without a
// portal (a bare X session, a test bus) motion stays on.
class MotionPreference : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
public:
    static constexpr auto kPortalService = "org.freedesktop.portal.Desktop";

    explicit MotionPreference(QDBusConnection bus = QDBusConnection::sessionBus(),
                              const QString &service = QString::fromLatin1(kPortalService), QObject *parent = nullptr);

    bool reduceMotion() const { return m_reduce; }

    // The two settings together: the freedesktop key (0 no preference,
    // 1 reduce) when given, else animations switched off.
    static bool decide(std::optional<uint> reducedMotion, std::optional<bool> enableAnimations);

signals:
    void reduceMotionChanged(bool reduce);

private slots:
    void settingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value);

private:
    QCoro::Task<> readInitial();
    void take(const QString &nameSpace, const QString &key, const QVariant &value);

    QDBusConnection m_bus;
    QString m_service;
    std::optional<uint> m_reducedMotion;
    std::optional<bool> m_enableAnimations;
    bool m_reduce = false;
};

} // namespace platform
