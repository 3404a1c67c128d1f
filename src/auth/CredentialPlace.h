#pragma once

#include <QString>

namespace auth::CredentialPlace {

// The project folder the app last opened, as it stored it; empty when none.
QString openProject();

// Where a file really is: every link followed, in the file itself (also one
// that points at nothing yet) and in its folders. Empty on a loop.
QString realPlace(const QString &path);

// Why no credential may be taken from, or kept in, the file at path: its
// real place lies inside the project folder (where the model's tools read
// and write), or it is a hard link on the project's file system, whose other
// names cannot be known. Empty when the file may be used.
QString refusal(const QString &path, const QString &project = openProject());
// The same for a file already open: judged by what was opened, so that a
// link swapped in after a check cannot lead elsewhere.
QString refusalOfOpen(int fd, const QString &project = openProject());

} // namespace auth::CredentialPlace
