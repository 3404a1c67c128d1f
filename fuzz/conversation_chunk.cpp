// One conversation of a large history, as the fast reader of its chunks
// reads it: whatever that reader takes, the ordinary decoder reads the same,
// and whatever the ordinary decoder refuses, the fast reader refuses too.
#include "FuzzCheck.h"

#include "model/ChatRecordsCodec.h"
#include "model/ConversationFastRead.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    // The fast reader may read past the end: the padding a file's chunk has.
    QByteArray padded = json;
    padded.append(QByteArray(qsizetype(model::FastConversationReader::kPadding), ' '));
    model::Conversation fast;
    model::codec::ReadState fastState;
    model::FastConversationReader reader;
    const bool fastOk = reader.read(QByteArrayView(padded).first(json.size()), fast, fastState);

    QByteArray bytes = json;
    rapidjson::Document doc;
    model::JsonDecodeError error;
    model::Conversation ordinary;
    model::codec::ReadState ordinaryState;
    const bool ordinaryOk =
        model::codec::parse(bytes, doc, error) && model::codec::read(doc, ordinary, error, ordinaryState);
    if (fastOk) {
        fuzz::check(ordinaryOk, "what the fast reader takes the ordinary decoder takes", QString::fromUtf8(json));
        fuzz::check(fast == ordinary, "both read the same conversation", QString::fromUtf8(json));
        fuzz::check(fastState.sawInlineImage == ordinaryState.sawInlineImage, "both see the same inline images");
    }
    return 0;
}
