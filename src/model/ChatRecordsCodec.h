#pragma once

// Internal to the model library: the record coding on top of RapidJSON and
// our emitter, shared by the record functions and the conversation file.

#include "model/ChatRecords.h"
#include "model/JsonDecodeError.h"
#include "model/JsonEmitter.h"

#include <rapidjson/document.h>

#include <functional>

namespace model::codec {

using Value = rapidjson::Value;

void write(JsonEmitter &out, const ToolCallRecord &record);
void write(JsonEmitter &out, const ChatMessage &message);
void write(JsonEmitter &out, const Conversation &conversation);
// The same, calling afterMessage once each message is written, so that a
// caller can hand on what is written so far and not hold it all.
void write(JsonEmitter &out, const Conversation &conversation, const std::function<void()> &afterMessage);

struct ReadState {
    // A user or assistant message held "data:image": the storage clean-up
    // has something to look at in this conversation.
    bool sawInlineImage = false;
};

// Each returns false and fills error on the first bad value.
bool read(const Value &json, ToolCallRecord &out, JsonDecodeError &error);
bool read(const Value &json, ChatMessage &out, JsonDecodeError &error, ReadState &state);
bool read(const Value &json, Conversation &out, JsonDecodeError &error, ReadState &state);

// A UUID in its 36-character 8-4-4-4-12 form, either case; QUuid alone would
// also take braces.
bool readUuid(const Value &json, QUuid &out);
bool parseUuid(QByteArrayView text, QUuid &out);

// Parses in place (the bytes are overwritten and must outlive the document).
bool parse(QByteArray &bytes, rapidjson::Document &doc, JsonDecodeError &error);

// Prepends a path step to a failure's key path.
void prefixPath(JsonDecodeError &error, const QString &step);

} // namespace model::codec
