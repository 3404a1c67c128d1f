#pragma once

#include "model/RunRecords.h"

#include <QString>

namespace chat {

// How an attachment will be sent, which decides its chip's look and texts.
enum class AttachmentChipKind { Image, InlineText, PathOnly };

namespace AttachmentChipText {

AttachmentChipKind kind(const model::AttachedFile &file);

// A byte count as the chip's short size text: "n B" below 1 KiB, then
// "%.0f KB" below 1 MiB, then "%.1f MB"; never localised (a point, no grouping).
QString byteLabel(qint64 bytes);

// The size line under the name ("Image · 12 KB" for images).
QString sizeLine(const model::AttachedFile &file);

// The chip's tooltip, saying how the attachment will be sent.
QString toolTip(const model::AttachedFile &file);

// The symbol of the chip's leading square when no thumbnail is shown.
QString symbol(const model::AttachedFile &file);

} // namespace AttachmentChipText
} // namespace chat
