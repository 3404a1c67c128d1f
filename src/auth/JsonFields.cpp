#include "auth/JsonFields.h"

#include <QJsonValue>

#include <cmath>

namespace auth {

std::optional<QString> stringField(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.type() != QJsonValue::String)
        return std::nullopt;
    return value.toString();
}

std::optional<qint64> integerField(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.type() != QJsonValue::Double)
        return std::nullopt;
    const double d = value.toDouble();
    // Beyond 2^53 a double no longer tells integers apart.
    constexpr double limit = 9007199254740992.0;
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > limit)
        return std::nullopt;
    return static_cast<qint64>(d);
}

} // namespace auth
