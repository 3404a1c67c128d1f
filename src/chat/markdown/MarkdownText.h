#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <optional>

namespace chat {

// The text side of Markdown rendering: how a message is cut into prose and
// fenced code, and how prose is cleaned before it reaches the Markdown
// reader. Pure functions; the renderer and the views build on them.
namespace MarkdownText {

struct Block {
    enum class Kind { Prose, Code };
    Kind kind = Kind::Prose;
    QString text;                    // normalised prose, or the code without its fences
    std::optional<QString> language; // code only; none when the fence names none

    static Block prose(QString text) { return {Kind::Prose, std::move(text), std::nullopt}; }
    static Block code(std::optional<QString> language, QString code)
    {
        return {Kind::Code, std::move(code), std::move(language)};
    }
    friend bool operator==(const Block &, const Block &) = default;
};

// The source cut at line feeds into prose blocks and fenced code blocks.
// A line ending in a carriage return is cut there too (the return dropped).
QList<Block> parse(QStringView source);

// A fence line opens or closes a code block: its trimmed form starts with ```.
bool isFenceLine(QStringView line);
// The language named by an opening fence; none when it names none.
std::optional<QString> fenceLanguage(QStringView fenceLine);

// Prose cleaned for the Markdown reader: line breaks inside a paragraph
// become spaces except where they carry Markdown structure, tabs and runs of
// spaces shrink to one space, and a missing space after a sentence end is
// put back. Code spans and link targets are left as written.
QString normalizeProse(QStringView text);
// One paragraph of the above (a piece between two "\n\n").
QString normalizeParagraph(QStringView paragraph);
// Every run of spaces becomes one space; then horizontal white space is
// trimmed at both ends.
QString squeezeSpaces(QStringView text);

// Whether a paragraph begins with an ordered list marker ("3." or "3)").
// Such a paragraph continues the list before it, so it is rendered with it.
bool startsOrderedItem(QStringView normalizedParagraph);

// Links the user can follow: http, https and mailto only.
bool isOpenableLink(const QUrl &url);

// Space, tab and the other space separators; never a line break.
bool isHorizontalSpace(QChar c);
QStringView trimHorizontal(QStringView text);

} // namespace MarkdownText
} // namespace chat
