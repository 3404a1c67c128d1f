#pragma once

#include "chat/MarkdownRenderer.h"

#include <QCache>
#include <QUuid>

#include <memory>

namespace chat {

// Rendered finished messages, by (message id, width, skin): scrolling back
// and forth, switching sessions or repainting a row builds nothing again.
// One per chat pane; bounded by the characters it holds.
class MarkdownRenderCache {
public:
    explicit MarkdownRenderCache(qsizetype maxCharacters = 16 * 1024 * 1024);

    // The renderer for a finished text, built on a miss.
    std::shared_ptr<MarkdownRenderer> get(const QUuid &id, const QString &text, qreal width,
                                          const MarkdownStyle &style, MarkdownRenderer::Mode mode);
    int builds() const { return m_builds; }

private:
    struct Key {
        QUuid id;
        int width = 0;
        QString tag;
        int mode = 0;
        friend bool operator==(const Key &, const Key &) = default;
        friend size_t qHash(const Key &k, size_t seed = 0) { return qHashMulti(seed, k.id, k.width, k.tag, k.mode); }
    };
    struct Entry {
        QString text; // a changed text under the same id is built again
        std::shared_ptr<MarkdownRenderer> renderer;
    };
    QCache<Key, Entry> m_entries;
    int m_builds = 0;
};

} // namespace chat
