// The conversation store's file: whatever the decoder accepts, the store
// writes in a form that reads back as the same conversations and selection,
// and writing that again gives the same bytes; sessions changed since the
// last write, written message by message, come out as a fresh write has them.
#include "FuzzCheck.h"

#include "model/ConversationFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto first = model::decodeConversationFile(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!first.ok())
        return 0;
    // What the store holds after reading is what it writes back.
    model::ConversationFileEncoder encoder;
    const QByteArray written = encoder.encode(first->conversations, first->selectedConversationID);
    const auto again = model::decodeConversationFile(written);
    fuzz::check(again.ok(), "what the store writes decodes", again.ok() ? QString() : again.error().text());
    model::ConversationFileEncoder fresh;
    const QByteArray rewritten = fresh.encode(again->conversations, again->selectedConversationID);
    const auto third = model::decodeConversationFile(rewritten);
    fuzz::check(third.ok() && third->conversations == again->conversations
                    && third->selectedConversationID == again->selectedConversationID,
                "a written file reads back the same");
    fuzz::check(rewritten == written, "writing what was read back gives the same bytes", QString::fromUtf8(written));

    QList<model::Conversation> changed = again->conversations;
    for (model::Conversation &c : changed)
        c.isUnread = !c.isUnread;
    QByteArray streamed;
    fresh.encodeTo(changed, again->selectedConversationID, [&streamed](QByteArrayView piece) {
        streamed.append(piece);
        return true;
    });
    fuzz::check(streamed == model::ConversationFileEncoder().encode(changed, again->selectedConversationID),
                "a changed session is written as a fresh write has it", QString::fromUtf8(streamed));
    return 0;
}
