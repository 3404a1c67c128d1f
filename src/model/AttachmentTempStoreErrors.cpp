#include "model/AttachmentTempStore.h"

namespace model {

QString AttachmentTempStore::IngestError::description() const
{
    // The numbers are part of the texts, not computed from the limits.
    switch (kind) {
    case Kind::FileTooLarge:
        return QStringLiteral("File too large (%1 bytes). Max 12 MB per drop.").arg(size);
    case Kind::TooMany:
        return QStringLiteral("Max 10 attachments. Remove some first.");
    case Kind::TotalTooLarge:
        return QStringLiteral("Attachments would exceed 24 MB staged total.");
    case Kind::DecodeFailed:
        return QStringLiteral("Could not read that image.");
    case Kind::WriteFailed:
        return QStringLiteral("Could not stage attachment in temp storage.");
    }
    return {};
}

QString describe(const AttachmentTempStore::StageFileFailure &failure)
{
    return std::visit([](const auto &error) { return error.description(); }, failure);
}

} // namespace model
