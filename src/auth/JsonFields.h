#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace auth {

// Members of OAuth and session JSON are read strictly: a value of another
// type than the one asked for counts as missing (a number is no string, a
// fraction is no integer).
std::optional<QString> stringField(const QJsonObject &object, const QString &key);
std::optional<qint64> integerField(const QJsonObject &object, const QString &key);

} // namespace auth
