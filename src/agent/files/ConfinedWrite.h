#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace agent::ConfinedWrite {

enum class FailureKind { Escape, Other };

struct Failure {
    FailureKind kind = FailureKind::Other;
    QString message; // for Other: what failed, naming the file
};

// Writes bytes atomically to target, a path inside root (both with every
// symbolic link already resolved). The folders are walked from the root one
// at a time without following links, so a link swapped in after the path was
// resolved cannot carry the write outside. Missing folders are created when
// asked; an existing file keeps its mode (a new one gets 0666 less the umask).
std::optional<Failure> write(const QString &root, const QString &target, const QByteArray &bytes, bool createParents);

// The temporary a write fills beside its target before renaming it into
// place: a hidden name only these tools make (".moonshelf-write-" 16 hex
// digits ".tmp"), so what a crash left behind can be told from a person's files.
QByteArray temporaryName();
bool isTemporaryName(QByteArrayView name);

} // namespace agent::ConfinedWrite
