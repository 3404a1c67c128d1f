#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace agent {

// A tool call assembled from the streamed reply. The arguments stay the raw
// JSON text exactly as streamed.
struct OVUToolCall {
    QString id;
    QString name;
    QString arguments;

    friend bool operator==(const OVUToolCall &, const OVUToolCall &) = default;
};

// The result of one streamed model turn.
struct OVUAssistantTurn {
    QString text;
    QList<OVUToolCall> toolCalls; // ascending stream index
    std::optional<QString> finishReason;

    friend bool operator==(const OVUAssistantTurn &, const OVUAssistantTurn &) = default;
};

// Takes each non-empty text fragment of a turn as it streams in.
using DeltaHandler = std::function<void(const QString &fragment)>;

} // namespace agent
