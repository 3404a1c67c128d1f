#include "platform/MotionPreference.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QPointer>

namespace platform {

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kReducedMotion = QStringLiteral("reduced-motion");
const QString kGnomeInterface = QStringLiteral("org.gnome.desktop.interface");
const QString kEnableAnimations = QStringLiteral("enable-animations");

// The older Read wraps the value in a second variant.
QVariant unwrap(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

} // namespace

MotionPreference::MotionPreference(QDBusConnection bus, const QString &service, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_service(service)
{
    if (!m_bus.isConnected())
        return;
    // The slot's parameter types are looked up by name.
    qRegisterMetaType<QDBusVariant>();
    m_bus.connect(m_service, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                  SLOT(settingChanged(QString,QString,QDBusVariant)));
    readInitial();
}

bool MotionPreference::decide(std::optional<uint> reducedMotion, std::optional<bool> enableAnimations)
{
    if (reducedMotion)
        return *reducedMotion == 1;
    return enableAnimations.has_value() && !*enableAnimations;
}

QCoro::Task<> MotionPreference::readInitial()
{
    static const std::pair<QString, QString> keys[] = {{kAppearance, kReducedMotion}, {kGnomeInterface, kEnableAnimations}};
    QPointer<MotionPreference> self(this);
    for (const auto &[nameSpace, key] : keys) {
        QDBusMessage call = QDBusMessage::createMethodCall(m_service, kPath, kInterface, QStringLiteral("Read"));
        call << nameSpace << key;
        QDBusPendingCall pending = m_bus.asyncCall(call, 2000);
        const QDBusMessage reply = co_await pending;
        if (!self)
            co_return;
        // A key the desktop does not know comes back as an error: no preference.
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            take(nameSpace, key, reply.arguments().constFirst());
    }
}

void MotionPreference::settingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value)
{
    take(nameSpace, key, value.variant());
}

void MotionPreference::take(const QString &nameSpace, const QString &key, const QVariant &raw)
{
    const QVariant value = unwrap(raw);
    if (nameSpace == kAppearance && key == kReducedMotion) {
        bool ok = false;
        const uint v = value.toUInt(&ok);
        m_reducedMotion = ok ? std::optional<uint>(v) : std::nullopt;
    } else if (nameSpace == kGnomeInterface && key == kEnableAnimations) {
        m_enableAnimations = value.userType() == QMetaType::Bool ? std::optional<bool>(value.toBool()) : std::nullopt;
    } else {
        return;
    }
    const bool reduce = decide(m_reducedMotion, m_enableAnimations);
    if (reduce == m_reduce)
        return;
    m_reduce = reduce;
    emit reduceMotionChanged(reduce);
}

} // namespace platform
