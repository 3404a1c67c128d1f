#include "chat/MarkdownRenderCache.h"

namespace chat {

MarkdownRenderCache::MarkdownRenderCache(qsizetype maxCharacters)
    : m_entries(maxCharacters)
{
}

std::shared_ptr<MarkdownRenderer> MarkdownRenderCache::get(const QUuid &id, const QString &text, qreal width,
                                                           const MarkdownStyle &style, MarkdownRenderer::Mode mode)
{
    const Key key{id, int(width), style.cacheTag, int(mode)};
    if (Entry *entry = m_entries.object(key); entry && entry->text == text)
        return entry->renderer;
    auto renderer = std::make_shared<MarkdownRenderer>(style, int(width), mode);
    renderer->append(text);
    renderer->finish();
    ++m_builds;
    m_entries.insert(key, new Entry{text, renderer}, qMax<qsizetype>(1, text.size()));
    return renderer;
}

} // namespace chat
