#include "agent/calls/ToolArguments.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace agent::ToolArguments {

platform::Result<QJsonObject, ParseFailure> parse(const QString &argumentsJSON)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(argumentsJSON.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return platform::Result<QJsonObject, ParseFailure>::failure({ParseFailure::Kind::Syntax, error.errorString()});
    if (!doc.isObject())
        return platform::Result<QJsonObject, ParseFailure>::failure({ParseFailure::Kind::NotAnObject, {}});
    return doc.object();
}

std::optional<QString> string(const QJsonObject &arguments, const QString &key)
{
    const QJsonValue value = arguments.value(key);
    if (value.type() != QJsonValue::String)
        return std::nullopt;
    return value.toString();
}

} // namespace agent::ToolArguments
