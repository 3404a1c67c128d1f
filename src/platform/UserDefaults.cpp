#include "platform/UserDefaults.h"

namespace platform::UserDefaults {

namespace {

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("com.ovu"),
                     QStringLiteral("QirvMac"));
}

} // namespace

QVariant value(const QString &key, const QVariant &fallback)
{
    return settings().value(key, fallback);
}

QString string(const QString &key)
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

bool boolean(const QString &key)
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    // The ini backend reads booleans back as text.
    return v.toString() == QLatin1String("true");
}

bool setValue(const QString &key, const QVariant &value)
{
    QSettings s = settings();
    s.setValue(key, value);
    s.sync();
    return s.status() == QSettings::NoError;
}

QString location()
{
    return settings().fileName();
}

void remove(const QString &key)
{
    QSettings s = settings();
    s.remove(key);
    s.sync();
}

} // namespace platform::UserDefaults
