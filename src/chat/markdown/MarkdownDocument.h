#pragma once

#include "chat/markdown/MarkdownStyle.h"

#include <QTextDocument>

class QPainter;

namespace chat {

// A QTextDocument for chat text that never loads a resource: images are
// turned into their alternative text before layout, and a request that
// still comes is answered with nothing (a path such as /dev/zero or a data
// URL would otherwise be read).
class MarkdownDocument : public QTextDocument {
public:
    explicit MarkdownDocument(const MarkdownStyle &style);

    // Prose through Qt's Markdown reader (GitHub dialect, no HTML), then:
    // images become their alt text, followable links (http, https, mailto)
    // take the link colour and an underline, other links become plain text,
    // code spans take the code font, and lines get the style's spacing.
    void setProse(const QString &markdown);
    void setPlain(const QString &text);

    // The bar beside each quoted block, in document coordinates; the
    // layout itself draws no mark for a quote.
    void drawQuoteBars(QPainter *painter, const QRectF &clip) const;

    // Room each quote level takes at the left, the bar included.
    static constexpr qreal kQuoteIndent = 16;
    static constexpr qreal kQuoteBar = 3;
    static constexpr qreal kCellPadding = 6;

    // How often layout asked for an image or other resource.
    int resourceRequests() const { return m_resourceRequests; }

    // A paragraph holding a run longer than this with no place to break
    // (by Unicode's line-breaking rules) is wrapped anywhere at the edge:
    // Qt's own wrapping costs such a run its length squared over a line's.
    static constexpr qsizetype kLongestWordWrapped = 2000;
    // The longest such run in the text (0 when it is empty).
    qsizetype longestUnbreakableRun() const;

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    void polish();
    void styleTablesAndQuotes();

    MarkdownStyle m_style;
    int m_resourceRequests = 0;
};

} // namespace chat
