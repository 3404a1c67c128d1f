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

// Takes the text of a turn as it streams in: what arrived since the last
// call, joined, never empty.
using DeltaHandler = std::function<void(const QString &fragment)>;

} // namespace agent
