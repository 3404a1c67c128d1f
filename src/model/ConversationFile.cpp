#include "model/ConversationFile.h"

#include "model/ChatRecordsCodec.h"
#include "model/ConversationFileSplit.h"

#include <QThreadPool>
#include <QtConcurrentMap>

#include <algorithm>
#include <vector>

namespace model {

namespace {

using Result = platform::Result<ConversationFileContent, JsonDecodeError>;

Result failure(JsonDecodeError::Kind kind, const QString &where)
{
    return Result::failure(JsonDecodeError{kind, where});
}

bool readConversations(const codec::Value &array, ConversationFileContent &out, JsonDecodeError &error,
                       QThreadPool *pool)
{
    // The parse is serial; turning its values into records is most of the
    // remaining work and spreads over the cores, one conversation a task.
    struct Slot {
        const codec::Value *json;
        Conversation value;
        JsonDecodeError error;
        codec::ReadState state;
        bool ok = false;
    };
    std::vector<Slot> tasks(array.Size());
    for (rapidjson::SizeType i = 0; i < array.Size(); ++i)
        tasks[i].json = &array[i];
    const auto readOne = [](Slot &slot) { slot.ok = codec::read(*slot.json, slot.value, slot.error, slot.state); };
    if (tasks.size() > 1)
        QtConcurrent::blockingMap(pool ? pool : QThreadPool::globalInstance(), tasks, readOne);
    else
        std::for_each(tasks.begin(), tasks.end(), readOne);

    out.conversations.reserve(qsizetype(tasks.size()));
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        Slot &slot = tasks[i];
        if (!slot.ok) {
            error = slot.error;
            codec::prefixPath(error, QStringLiteral("[%1]").arg(i));
            return false;
        }
        if (slot.state.sawInlineImage)
            out.mayHoldInlineImages.append(out.conversations.size());
        out.conversations.append(std::move(slot.value));
    }
    return true;
}

} // namespace

Result decodeConversationFile(QByteArray bytes, QThreadPool *pool)
{
    if (auto chunks = decodeConversationFileInChunks(bytes, pool))
        return std::move(*chunks);
    rapidjson::Document doc;
    JsonDecodeError error;
    if (!codec::parse(bytes, doc, error))
        return Result::failure(error);

    ConversationFileContent content;
    if (doc.IsArray()) {
        content.wasBareArray = true;
        if (!readConversations(doc, content, error, pool))
            return Result::failure(error);
        return content;
    }
    if (!doc.IsObject())
        return failure(JsonDecodeError::Kind::WrongType, {});

    const auto conversations = doc.FindMember("conversations");
    if (conversations == doc.MemberEnd())
        return failure(JsonDecodeError::Kind::MissingKey, QStringLiteral("conversations"));
    if (!conversations->value.IsArray())
        return failure(JsonDecodeError::Kind::WrongType, QStringLiteral("conversations"));
    if (!readConversations(conversations->value, content, error, pool)) {
        codec::prefixPath(error, QStringLiteral("conversations"));
        return Result::failure(error);
    }

    const auto selected = doc.FindMember("selectedConversationID");
    if (selected != doc.MemberEnd() && !selected->value.IsNull()) {
        const codec::Value &v = selected->value;
        if (!v.IsString())
            return failure(JsonDecodeError::Kind::WrongType, QStringLiteral("selectedConversationID"));
        QUuid id;
        if (!codec::readUuid(v, id))
            return failure(JsonDecodeError::Kind::BadUuid, QStringLiteral("selectedConversationID"));
        content.selectedConversationID = id;
    }
    return content;
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
