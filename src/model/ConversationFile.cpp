#include "model/ConversationFile.h"

#include "model/ChatRecordsCodec.h"
#include "model/ConversationFileSplit.h"

#include <QtConcurrentMap>

#include <algorithm>
#include <vector>

namespace model {

platform::Result<ConversationFileContent, JsonDecodeError> decodeConversationFile(QByteArray bytes, QThreadPool *pool)
{
    if (auto chunks = decodeConversationFileInChunks(bytes, pool))
        return std::move(*chunks);
    return decodeConversationEnvelope(std::move(bytes), pool);
}

const QByteArray &ConversationFileEncoder::encode(const QList<Conversation> &conversations,
                                                  const std::optional<QUuid> &selected)
{
    // Reuse the JSON of every conversation equal to the one last written;
    // QList and QString compare shared data by pointer first, so an
    // unchanged conversation costs next to nothing to check.
    struct Part {
        const Conversation *value;
        QByteArray json;
        bool fresh = false;
    };
    std::vector<Part> parts;
    parts.reserve(conversations.size());
    for (const Conversation &c : conversations) {
        const auto cached = m_cache.constFind(c.id);
        if (cached != m_cache.cend() && cached->value == c)
            parts.push_back({&c, cached->json});
        else
            parts.push_back({&c, {}, true});
    }
    const auto encodeOne = [](Part &part) {
        if (!part.fresh)
            return;
        qsizetype estimate = 512;
        for (const ChatMessage &m : part.value->messages)
            estimate += m.content.size() + 320;
        part.json.reserve(estimate);
        JsonEmitter emitter(part.json, 2);
        codec::write(emitter, *part.value);
    };
    if (std::count_if(parts.begin(), parts.end(), [](const Part &p) { return p.fresh; }) > 1)
        QtConcurrent::blockingMap(parts, encodeOne);
    else
        std::for_each(parts.begin(), parts.end(), encodeOne);

    // Ids repeat only in damaged lists; the equality check keeps that correct.
    QHash<QUuid, Entry> next;
    next.reserve(conversations.size());
    qsizetype total = 64;
    for (const Part &part : parts) {
        next.insert(part.value->id, Entry{*part.value, part.json});
        total += part.json.size() + 8;
    }

    QByteArray &out = m_out;
    out.resize(0);
    if (out.capacity() < total || out.capacity() > 2 * total) {
        // Room to grow, so that the next message does not need a new buffer.
        out = QByteArray();
        out.reserve(total + total / 8);
    }
    out.append("{\n  \"conversations\" : [");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out.append(i == 0 ? "\n    " : ",\n    ");
        out.append(parts[i].json);
    }
    out.append(parts.empty() ? "]" : "\n  ]");
    if (selected) {
        out.append(",\n  \"selectedConversationID\" : ");
        appendJsonString(out, selected->toByteArray(QUuid::WithoutBraces));
    }
    out.append("\n}");
    m_cache = std::move(next);
    return out;
}

} // namespace model
