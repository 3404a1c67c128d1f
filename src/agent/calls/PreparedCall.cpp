#include "agent/calls/PreparedCall.h"

#include "agent/calls/ToolDefinitions.h"

namespace agent {

PreparedCall PreparedCall::read(QString id, QString name, QString argumentsJSON)
{
    PreparedCall call;
    call.risk = ToolDefinitions::risk(name);
    auto parsed = ToolArguments::parse(argumentsJSON);
    if (parsed) {
        call.arguments = std::move(parsed).value();
        call.shellCommand = ToolArguments::string(call.arguments, QStringLiteral("command"));
    } else {
        call.unreadable = parsed.error();
    }
    call.id = std::move(id);
    call.name = std::move(name);
    call.argumentsJSON = std::move(argumentsJSON);
    return call;
}

} // namespace agent
