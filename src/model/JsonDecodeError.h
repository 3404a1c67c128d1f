#pragma once

#include <QString>

namespace model {

// Why a store's JSON could not be read. One bad value fails the whole
// record, and a store fails the whole file with it.
struct JsonDecodeError {
    enum class Kind { NotJson, WrongType, MissingKey, UnknownValue, BadNumber, BadDate, BadUuid };
    Kind kind = Kind::NotJson;
    QString where; // key path of the bad value, e.g. "conversations[2].messages[0].role"

    QString text() const;
};

} // namespace model
