#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace model {

// Enumerations are stored as their raw texts: `toRaw(value)` is overloaded
// per enumeration; `fromRaw<E>(text)` is specialised beside it and gives
// nothing for an unknown text.
template <typename E>
std::optional<E> fromRaw(QStringView raw);

} // namespace model
