#include "agent/stream/RequestContext.h"

#include "platform/Graphemes.h"

#include <QRegularExpression>

#include <algorithm>

namespace agent::RequestContext {

using model::ChatMessage;
using model::MessageRole;
using platform::Graphemes::count;

QString truncationSuffix()
{
    return QStringLiteral("\n\u2026(truncated for context window)");
}

QString omittedToolTurnText()
{
    return QStringLiteral("(earlier tool turn omitted for context window)");
}

QString omittedArgumentsJSON()
{
    return QStringLiteral(R"json({"omitted":"(arguments omitted for context window)"})json");
}

namespace {

QString withoutInlineImages(const QString &content)
{
    if (!content.contains(QLatin1String("data:image")))
        return content;
    static const QRegularExpression inlineImage(
        QStringLiteral(R"(!\[[^\]]*\]\(data:image\/[a-zA-Z0-9.+-]+;base64,[A-Za-z0-9+/=\s]+\))"));
    if (!inlineImage.isValid())
        return content;
    QString cleaned = content;
    cleaned.remove(inlineImage);
    return cleaned;
}

QString capped(const QString &content, qsizetype cap)
{
    // Cheap exits: a text of at most cap code units has at most cap characters.
    if (content.size() <= cap)
        return content;
    const qsizetype cut = platform::Graphemes::offsetOf(content, cap);
    if (cut >= content.size())
        return content;
    return content.left(cut) + truncationSuffix();
}

qsizetype costOf(const ChatMessage &message)
{
    qsizetype cost = count(message.content) + kMessageCost;
    if (message.toolCalls) {
        for (const model::ToolCallRecord &call : *message.toolCalls)
            cost += count(call.argumentsJSON);
    }
    return cost;
}

// The copy of a message whose long tool-call arguments are replaced by a
// small stand-in, so an old huge write does not crowd out the user's request.
ChatMessage withShortArguments(ChatMessage message)
{
    if (!message.toolCalls)
        return message;
    for (model::ToolCallRecord &call : *message.toolCalls) {
        if (count(call.argumentsJSON) > kArgumentsCap)
            call.argumentsJSON = omittedArgumentsJSON();
    }
    return message;
}

} // namespace

QList<ChatMessage> trimmedForAPI(const QList<ChatMessage> &messages)
{
    if (messages.isEmpty())
        return {};
    // Each message is capped on its own; only the ones the budget keeps are
    // ever looked at, so a long history costs no more than what is sent.
    const auto cappedCopy = [](const ChatMessage &original) {
        ChatMessage m = original;
        m.content = capped(withoutInlineImages(m.content),
                           m.role == MessageRole::Tool ? kToolContentCap : kContentCap);
        return m;
    };

    // The budget, newest first. The newest message is kept whatever its
    // cost, and so is everything from the newest user message on: a request
    // without the user's question is useless.
    qsizetype newestUser = -1;
    for (qsizetype i = messages.size() - 1; i >= 0; --i) {
        if (messages.at(i).role == MessageRole::User) {
            newestUser = i;
            break;
        }
    }
    QList<ChatMessage> kept;
    kept.append(cappedCopy(messages.last()));
    qsizetype total = costOf(kept.last());
    for (qsizetype i = messages.size() - 2; i >= 0; --i) {
        ChatMessage m = cappedCopy(messages.at(i));
        qsizetype cost = costOf(m);
        if (total + cost > kContextBudget && i >= newestUser && newestUser >= 0) {
            m = withShortArguments(m);
            cost = costOf(m);
        } else if (total + cost > kContextBudget) {
            break;
        }
        total += cost;
        kept.append(std::move(m));
    }
    std::reverse(kept.begin(), kept.end());

    // Pass 3: a request must not start inside a tool turn.
    while (!kept.isEmpty() && kept.first().role == MessageRole::Tool)
        kept.removeFirst();
    if (!kept.isEmpty()) {
        ChatMessage &first = kept.first();
        const bool hasCalls = first.toolCalls && !first.toolCalls->isEmpty();
        const bool answered = kept.size() > 1 && kept.at(1).role == MessageRole::Tool;
        if (first.role == MessageRole::Assistant && hasCalls && !answered) {
            first.toolCalls.reset();
            if (first.content.isEmpty())
                first.content = omittedToolTurnText();
        }
    }
    return kept;
}

QJsonObject toAPIMessage(const ChatMessage &message)
{
    QJsonObject object{{QStringLiteral("role"), model::toRaw(message.role)}};
    switch (message.role) {
    case MessageRole::System:
    case MessageRole::User:
        object.insert(QStringLiteral("content"), message.content);
        break;
    case MessageRole::Assistant:
        if (message.toolCalls && !message.toolCalls->isEmpty()) {
            object.insert(QStringLiteral("content"),
                          message.content.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(message.content));
            QJsonArray calls;
            for (const model::ToolCallRecord &call : *message.toolCalls) {
                calls.append(QJsonObject{
                    {QStringLiteral("id"), call.id},
                    {QStringLiteral("type"), QStringLiteral("function")},
                    {QStringLiteral("function"),
                     QJsonObject{{QStringLiteral("name"), call.name}, {QStringLiteral("arguments"), call.argumentsJSON}}},
                });
            }
            object.insert(QStringLiteral("tool_calls"), calls);
        } else {
            object.insert(QStringLiteral("content"), message.content);
        }
        break;
    case MessageRole::Tool:
        object.insert(QStringLiteral("tool_call_id"), message.toolCallId.value_or(QString()));
        object.insert(QStringLiteral("content"), message.content);
        break;
    }
    return object;
}

QJsonArray buildPayload(const ChatMessage &system, const QList<ChatMessage> &conversation)
{
    QJsonArray payload;
    payload.append(QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                               {QStringLiteral("content"), system.content}});
    for (const ChatMessage &message : conversation)
        payload.append(toAPIMessage(message));
    return payload;
}

} // namespace agent::RequestContext
