#pragma once

#include "agent/files/ConfinedOpen.h"
#include "platform/Result.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace agent {

class WorkspaceManager;

namespace FileReading {

struct ReadFailure {
    enum class Kind { System, NotRegular, Directory, TooLarge, Workspace };
    Kind kind = Kind::System;
    qint64 size = 0;  // the file's size in bytes, for TooLarge
    int error = 0;    // errno, for System
    QString message;  // what went wrong, naming the path as given

    friend bool operator==(const ReadFailure &, const ReadFailure &) = default;
};

// Opens the project path as the model gave it: confined by the workspace,
// then walked from the project root's descriptor so that a link swapped in
// meanwhile cannot lead the read out of the project. verb starts the
// messages ("Could not read").
[[nodiscard]] platform::Result<platform::UniqueFd, ReadFailure> openInProject(const WorkspaceManager &workspace,
                                                                    const QString &givenPath,
                                                                    ConfinedOpen::Want want, const QString &verb);

// The bytes of a regular project file of at most cap bytes, read from the
// descriptor the confined walk opened. Never opens a FIFO or a device, and
// never reads more than cap + 1 bytes, so a file that grows cannot flood memory.
[[nodiscard]] platform::Result<QByteArray, ReadFailure> readProjectFile(const WorkspaceManager &workspace,
                                                                        const QString &givenPath, qint64 cap);

// The text when the bytes are strict UTF-8; a leading byte order mark is kept
// as U+FEFF, so offsets in the text map back to the same bytes.
std::optional<QString> decodeUtf8Strict(const QByteArray &bytes);

} // namespace FileReading
} // namespace agent
