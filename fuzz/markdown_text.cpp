// The Markdown splitter and the prose clean-up change white space only:
// every other character of a message reaches its blocks, in order, but for
// the fence lines themselves; code keeps its lines as written; cleaned prose
// needs no second cleaning, and squeezed text holds no run of spaces.
#include "FuzzCheck.h"

#include "chat/markdown/MarkdownText.h"

#include <cstdint>

namespace {

using chat::MarkdownText::Block;

QString withoutSpace(QStringView text)
{
    QString out;
    for (QChar c : text)
        if (!c.isSpace())
            out.append(c);
    return out;
}

// A fence line: three backticks after horizontal white space (tabs and
// space separators, not other line breaks).
bool opensOrClosesFence(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == u'\t' || line[i].category() == QChar::Separator_Space))
        ++i;
    return line.sliced(i).startsWith(u"```");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString source = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<Block> blocks = chat::MarkdownText::parse(source);
    fuzz::check(!blocks.isEmpty(), "a message gives at least one block");

    QString kept;
    for (QStringView line : QStringView(source).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!opensOrClosesFence(line))
            kept += line;
    }
    const QString lines = QString(source).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QString shown;
    for (const Block &b : blocks) {
        shown += b.text;
        if (b.kind == Block::Kind::Code)
            fuzz::check(lines.contains(b.text), "code is shown as written", b.text);
        else
            fuzz::check(chat::MarkdownText::normalizeProse(b.text) == b.text, "cleaned prose needs no more cleaning",
                        b.text);
    }
    fuzz::check(withoutSpace(shown) == withoutSpace(kept), "only white space changes", source);

    const QString squeezed = chat::MarkdownText::squeezeSpaces(source);
    fuzz::check(!squeezed.contains(QStringLiteral("  ")), "squeezed text holds no run of spaces", squeezed);
    fuzz::check(chat::MarkdownText::trimHorizontal(squeezed) == squeezed, "squeezed text is trimmed", squeezed);
    return 0;
}
