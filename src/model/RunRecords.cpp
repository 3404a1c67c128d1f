#include "model/RunRecords.h"

namespace model {

AttachedFile AttachedFile::fromStaged(const StagedAttachment &s)
{
    return AttachedFile{s.id,     s.url,      s.displayPath, s.inlineContent,    s.byteCount,
                        s.isImage, s.mimeType, s.isOwnedTemp, s.originalByteCount};
}

StagedAttachment AttachedFile::toStaged() const
{
    return StagedAttachment{id, url, displayPath, byteCount, isImage, originalByteCount, mimeType, isOwnedTemp,
                            inlineContent};
}

} // namespace model
