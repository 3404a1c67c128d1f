#pragma once

#include "model/ChatRecords.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

namespace agent {

// Turns the run's working list into the "messages" of a request. Pure: the
// working list itself is never changed.
namespace RequestContext {

inline constexpr qsizetype kToolContentCap = 10'000;
inline constexpr qsizetype kContentCap = 24'000;
inline constexpr qsizetype kContextBudget = 220'000;
inline constexpr qsizetype kMessageCost = 32;
// Tool-call arguments longer than this are replaced by a stand-in when their
// message would otherwise push the newest user message out of the request.
inline constexpr qsizetype kArgumentsCap = 2'000;

QString truncationSuffix();   // "\n…(truncated for context window)"
QString omittedToolTurnText(); // content of a repaired tool turn
QString omittedArgumentsJSON(); // the valid JSON that stands in for long arguments

// Shrinks the list to the context budget: removes inline base64 images,
// caps contents, keeps the newest messages that fit (always from the newest
// user message on), then repairs a front that starts inside a tool turn.
QList<model::ChatMessage> trimmedForAPI(const QList<model::ChatMessage> &messages);

// One message in wire form.
QJsonObject toAPIMessage(const model::ChatMessage &message);

// The system object first, then every message in wire form.
QJsonArray buildPayload(const model::ChatMessage &system, const QList<model::ChatMessage> &conversation);

} // namespace RequestContext
} // namespace agent
