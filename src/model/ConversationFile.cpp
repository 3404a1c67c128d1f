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

bool ConversationFileEncoder::encodeTo(const QList<Conversation> &conversations, const std::optional<QUuid> &selected,
                                       const platform::ByteSink &sink)
{
    // Reuse the JSON of every conversation equal to the one last written;
    // QList and QString compare shared data by pointer first, so an
    // unchanged conversation costs next to nothing to check.
    struct Part {
        const Conversation *value;
        QByteArray json;
        bool fresh = false; // encoded now, to be kept
        bool streamed = false;
    };
    std::vector<Part> parts;
    parts.reserve(conversations.size());
    for (const Conversation &c : conversations) {
        const auto cached = m_cache.constFind(c.id);
        if (cached == m_cache.cend())
            parts.push_back({&c, {}, true});
        else if (!(cached->value == c))
            // Changed since the last write: the session being talked in,
            // which changes again at the next one. Its JSON kept would be a
            // second copy of it, growing with every reply and of no use then;
            // it is written message by message, never held whole.
            parts.push_back({&c, {}, false, true});
        else if (cached->json.isNull())
            parts.push_back({&c, {}, true}); // settled: kept from now on
        else
            parts.push_back({&c, cached->json});
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
        // The room the estimate left would be kept with it.
        part.json.squeeze();
    };
    if (std::count_if(parts.begin(), parts.end(), [](const Part &p) { return p.fresh; }) > 1)
        QtConcurrent::blockingMap(parts, encodeOne);
    else
        std::for_each(parts.begin(), parts.end(), encodeOne);

    // Ids repeat only in damaged lists; the equality check keeps that correct.
    QHash<QUuid, Entry> next;
    next.reserve(conversations.size());
    for (const Part &part : parts)
        next.insert(part.value->id, Entry{*part.value, part.json});
    m_cache = std::move(next);

    bool ok = sink("{\n  \"conversations\" : [");
    QByteArray scratch;
    for (std::size_t i = 0; ok && i < parts.size(); ++i) {
        ok = sink(i == 0 ? "\n    " : ",\n    ");
        if (!ok || !parts[i].streamed) {
            ok = ok && sink(parts[i].json);
            continue;
        }
        scratch.resize(0);
        JsonEmitter emitter(scratch, 2);
        codec::write(emitter, *parts[i].value, [&] {
            ok = ok && sink(scratch);
            scratch.resize(0);
        });
        ok = ok && sink(scratch);
    }
    if (!ok)
        return false;
    QByteArray tail = parts.empty() ? "]" : "\n  ]";
    if (selected) {
        tail.append(",\n  \"selectedConversationID\" : ");
        appendJsonString(tail, selected->toByteArray(QUuid::WithoutBraces));
    }
    tail.append("\n}");
    return sink(tail);
}

QByteArray ConversationFileEncoder::encode(const QList<Conversation> &conversations,
                                           const std::optional<QUuid> &selected)
{
    QByteArray out;
    encodeTo(conversations, selected, [&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

qsizetype ConversationFileEncoder::keptJsonCount() const
{
    return std::count_if(m_cache.cbegin(), m_cache.cend(), [](const Entry &e) { return !e.json.isNull(); });
}

} // namespace model
