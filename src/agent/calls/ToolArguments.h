#pragma once

#include "platform/Result.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace agent {

// How a tool call's arguments text is read (once per call, PreparedCall) and
// how a member of it is taken.
namespace ToolArguments {

struct ParseFailure {
    enum class Kind { Syntax, NotAnObject };
    Kind kind = Kind::Syntax;
    QString message; // the parser's own description, for Syntax

    friend bool operator==(const ParseFailure &, const ParseFailure &) = default;
};

// The arguments as a JSON object. The top level must be an object; an array
// parses but fails with NotAnObject.
[[nodiscard]] platform::Result<QJsonObject, ParseFailure> parse(const QString &argumentsJSON);

// The member's text when it is a JSON string; any other type counts as missing.
std::optional<QString> string(const QJsonObject &arguments, const QString &key);

} // namespace ToolArguments
} // namespace agent
