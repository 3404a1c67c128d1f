#pragma once

#include "chat/markdown/MarkdownRenderer.h"

#include <QHash>
#include <QUuid>

#include <list>
#include <memory>

namespace chat {

// Rendered finished messages, by (message id, width, skin): scrolling back
// and forth, switching sessions or repainting a row builds nothing again.
// One per chat pane; bounded by the bytes its renderers hold once laid out
// and drawn. The least recently used go first, but never one a row still
// shows: evicting it would free nothing and build it again at the next
// layout.
class MarkdownRenderCache {
public:
    // About twenty 20,000-character replies, or a few hundred ordinary ones.
    static constexpr qsizetype kDefaultMaxBytes = 32 * 1024 * 1024;

    explicit MarkdownRenderCache(qsizetype maxBytes = kDefaultMaxBytes);

    // The renderer for a finished text, built on a miss.
    std::shared_ptr<MarkdownRenderer> get(const QUuid &id, const QString &text, qreal width,
                                          const MarkdownStyle &style, MarkdownRenderer::Mode mode);
    // The renderer of the reply streaming now. A row asking for the same
    // text at the same width, laid out alike (the reply, finished), gets it,
    // finished and in the row's style, rather than one built anew: no line
    // of it wraps anew or is laid out again.
    void setLive(const std::shared_ptr<MarkdownRenderer> &renderer) { m_live = renderer; }
    int builds() const { return m_builds; }
    // What the entries hold, as bytesHeld() counts it; above maxBytes()
    // only while the rows shown hold more.
    qsizetype bytes() const { return m_bytes; }
    qsizetype maxBytes() const { return m_maxBytes; }
    int count() const { return int(m_order.size()); }

    // The heap a renderer holds once all of it is laid out and drawn:
    // its texts, and per prose document, block and character what Qt's
    // layout keeps (measured on Qt 6.4 with glibc's allocator; a little
    // above the real figure rather than below).
    static qsizetype bytesHeld(const MarkdownRenderer &renderer);

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
        Key key;
        QString text; // a changed text under the same id is built again
        std::shared_ptr<MarkdownRenderer> renderer;
        qsizetype bytes = 0;
    };
    using Order = std::list<Entry>; // the most recently used first

    void remove(Order::iterator entry);
    void dropOtherWidths(const Key &key);
    void trim();

    qsizetype m_maxBytes;
    qsizetype m_bytes = 0;
    Order m_order;
    QHash<Key, Order::iterator> m_index;
    int m_builds = 0;
    std::weak_ptr<MarkdownRenderer> m_live;
};

} // namespace chat
