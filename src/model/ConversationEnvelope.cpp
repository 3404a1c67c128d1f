#include "model/ConversationEnvelope.h"

#include "model/ChatRecordsCodec.h"

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

Result decodeConversationEnvelope(QByteArray bytes, QThreadPool *pool)
{
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

    // Looked up through a const view: both sides of each comparison are then
    // the same const iterator type, which C++20 reads without ambiguity.
    const codec::Value &root = doc;
    const auto conversations = root.FindMember("conversations");
    if (conversations == root.MemberEnd())
        return failure(JsonDecodeError::Kind::MissingKey, QStringLiteral("conversations"));
    if (!conversations->value.IsArray())
        return failure(JsonDecodeError::Kind::WrongType, QStringLiteral("conversations"));
    if (!readConversations(conversations->value, content, error, pool)) {
        codec::prefixPath(error, QStringLiteral("conversations"));
        return Result::failure(error);
    }

    const auto selected = root.FindMember("selectedConversationID");
    if (selected != root.MemberEnd() && !selected->value.IsNull()) {
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

} // namespace model
