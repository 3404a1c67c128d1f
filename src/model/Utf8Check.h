#pragma once

#include <QByteArrayView>

namespace model {

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing past U+10FFFF). Fast on mostly-ASCII text, which stored chats are.
bool isValidUtf8(QByteArrayView bytes);

} // namespace model
