#pragma once

#include "chat/markdown/MarkdownRenderer.h"

#include <QHash>
#include <QList>
#include <QString>

namespace chat {

// A message's text as a screen reader reads it: its parts in screen order,
// read from the same Markdown document the view renders (never laid out).
struct ReaderPart {
    // Label: a short text beside the message's own (a tool it asked for).
    enum class Kind { Paragraph, Heading, ListItem, Code, Table, Cell, Link, Label };
    Kind kind = Kind::Paragraph;
    // As read: a numbered item with its number, a table's cells by tabs and
    // its rows by lines, a code card's lines as written.
    QString text;
    QString label;            // a code card's header (its language, or "code")
    QString href;             // a link's target
    int level = 0;            // a heading's level
    QList<ReaderPart> parts;  // a table's cells; the links inside a passage
    friend bool operator==(const ReaderPart &, const ReaderPart &) = default;
};

namespace ReaderText {

QList<ReaderPart> parts(const QString &source, MarkdownRenderer::Mode mode);
// The parts' texts, one part a line.
QString join(const QList<ReaderPart> &parts);

} // namespace ReaderText

// The reader's text of a reply as it streams: each finished paragraph is
// read once and kept, so a frame reads only what changed at the end.
class StreamingReaderText {
public:
    // The whole text as read now.
    const QString &update(const QString &source);
    const QString &text() const { return m_text; }
    const QList<ReaderPart> &parts() const { return m_parts; }
    void clear();

private:
    QString m_source;
    QString m_text;
    QList<ReaderPart> m_parts;
    QHash<QString, QList<ReaderPart>> m_read; // by paragraph source
};

} // namespace chat
