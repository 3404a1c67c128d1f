#pragma once

#include <QString>

namespace model::AttachmentNaming {

// Longest base name, in UTF-8 bytes, so that "xxxxxxxx-<base>.webp" and the
// atomic writer's hidden ".<name>.XXXXXX" sibling both fit NAME_MAX (255).
inline constexpr qsizetype kMaxBaseBytes = 200;

// The base of a staged image's name from a suggested file name: its last
// path component, "/" and ":" and control characters turned into "-",
// "drop.bin" when empty, without the text after the last dot, then cut at a
// character boundary to kMaxBaseBytes.
QString baseName(const QString &suggestedName);

// "<8 characters of a new UUID>-<base>.<extension>".
QString stagedFileName(const QString &suggestedName, const QString &extension);

// The text after the last dot of a path's last component, lower-cased; empty
// when there is none or the only dot starts the name.
QString lowerExtension(const QString &path);

} // namespace model::AttachmentNaming
