#pragma once

#include "model/RunRecords.h"

#include <QString>
#include <QUrl>

namespace app {

// Reads a project file for the read-only peek panel.
namespace FilePeek {

inline constexpr qint64 kPeekLimitBytes = 400000;

// Stats first and reads only regular files, at most the limit + 1 bytes, so
// a FIFO or a huge file never blocks or floods the UI thread.
model::PeekedFile peek(const QUrl &url, const QString &displayPath);

} // namespace FilePeek
} // namespace app
