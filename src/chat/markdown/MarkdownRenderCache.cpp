#include "chat/markdown/MarkdownRenderCache.h"

namespace chat {

namespace {

// What Qt's text layout keeps, measured on 2,000 to 100,000-character
// replies of prose, lists, headings, quotes and tables laid out at 640 px
// and drawn (shaped glyphs are kept once drawn).
constexpr qsizetype kPerDocument = 18 * 1024;
constexpr qsizetype kPerBlock = 1400;
constexpr qsizetype kPerProseCharacter = 37;
// The text as given, the pieces' copies of it and their growth room.
constexpr qsizetype kPerTextCharacter = 6;
constexpr qsizetype kPerCodeLine = 64;
// A long paragraph drawn in slices keeps, besides its document, the text
// and formats the slices are cut from and their lines.
constexpr qsizetype kPerSlicedCharacter = 10;

// A document holds a block for each line at most (blank ones included).
qsizetype lines(const QString &text)
{
    return text.count(u'\n') + 1;
}

} // namespace

MarkdownRenderCache::MarkdownRenderCache(qsizetype maxBytes)
    : m_maxBytes(maxBytes)
{
}

qsizetype MarkdownRenderCache::bytesHeld(const MarkdownRenderer &renderer)
{
    qsizetype bytes = kPerTextCharacter * renderer.text().size();
    for (int i = 0; i < renderer.count(); ++i) {
        const MarkdownRenderer::Piece &piece = renderer.piece(i);
        if (piece.kind == MarkdownText::Block::Kind::Code) {
            bytes += kPerCodeLine * piece.code.lines.size();
            continue;
        }
        bytes += kPerDocument + kPerBlock * lines(piece.markdown) +
                 kPerProseCharacter * piece.markdown.size();
        // Known from the text alone: the account is made before the layout.
        if (piece.markdown.size() >= LongParagraph::kShortest && !piece.markdown.contains(QLatin1String("\n\n")))
            bytes += kPerSlicedCharacter * piece.markdown.size();
    }
    return bytes;
}

std::shared_ptr<MarkdownRenderer> MarkdownRenderCache::get(const QUuid &id, const QString &text, qreal width,
                                                           const MarkdownStyle &style, MarkdownRenderer::Mode mode)
{
    const Key key{id, int(width), style.cacheTag, int(mode)};
    if (const auto found = m_index.constFind(key); found != m_index.cend()) {
        const Order::iterator entry = *found;
        if (entry->text == text) {
            m_order.splice(m_order.begin(), m_order, entry);
            return entry->renderer;
        }
        remove(entry);
    }
    std::shared_ptr<MarkdownRenderer> renderer = m_live.lock();
    // The live reply is drawn in an ink of its own: the rest must match.
    if (renderer && renderer->text() == text && int(renderer->width()) == int(width) && renderer->mode() == mode &&
        renderer->restyle(style)) {
        // Its last text laid out as the live view would at its next frame:
        // finishing keeps that layout.
        renderer->refresh(true);
        renderer->finish();
        m_live.reset();
    } else {
        renderer = std::make_shared<MarkdownRenderer>(style, int(width), mode);
        renderer->append(text);
        renderer->finish();
        ++m_builds;
    }
    const qsizetype bytes = bytesHeld(*renderer);
    m_order.push_front(Entry{key, text, renderer, bytes});
    m_index.insert(key, m_order.begin());
    m_bytes += bytes;
    dropOtherWidths(key);
    trim();
    return renderer;
}

void MarkdownRenderCache::dropOtherWidths(const Key &key)
{
    // A row is laid out at passing widths while it is put together, and a
    // window resized leaves the old width behind: what no row holds at
    // another width of this message is of no more use.
    for (auto entry = std::next(m_order.begin()); entry != m_order.end();) {
        const Key &other = entry->key;
        if (other.id == key.id && other.width != key.width && other.tag == key.tag && other.mode == key.mode &&
            entry->renderer.use_count() == 1)
            remove(entry++);
        else
            ++entry;
    }
}

void MarkdownRenderCache::remove(Order::iterator entry)
{
    m_bytes -= entry->bytes;
    m_index.remove(entry->key);
    m_order.erase(entry);
}

void MarkdownRenderCache::trim()
{
    auto entry = m_order.end();
    while (m_bytes > m_maxBytes && entry != m_order.begin()) {
        --entry;
        // Held elsewhere: a row shows it (or the caller has just asked).
        if (entry->renderer.use_count() > 1)
            continue;
        remove(entry++);
    }
}

} // namespace chat
