#include "chat/markdown/MarkdownText.h"

namespace chat::MarkdownText {

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QStringView trimHorizontal(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isHorizontalSpace(text[start]))
        ++start;
    while (end > start && isHorizontalSpace(text[end - 1]))
        --end;
    return text.sliced(start, end - start);
}

bool isFenceLine(QStringView line)
{
    return trimHorizontal(line).startsWith(u"```");
}

std::optional<QString> fenceLanguage(QStringView fenceLine)
{
    const QString language = trimHorizontal(fenceLine).sliced(3).trimmed().toString();
    if (language.isEmpty())
        return std::nullopt;
    return language;
}

QList<Block> parse(QStringView source)
{
    QList<Block> blocks;
    QStringList prose;
    QStringList code;
    bool inCode = false;
    std::optional<QString> language;

    const auto flushCode = [&] {
        QString joined = code.join(u'\n');
        if (joined.endsWith(u'\n'))
            joined.chop(1);
        blocks.append(Block::code(language, std::move(joined)));
        code.clear();
        language.reset();
    };
    const auto flushProse = [&] {
        QString normalized = normalizeProse(prose.join(u'\n'));
        if (!normalized.isEmpty())
            blocks.append(Block::prose(std::move(normalized)));
        prose.clear();
    };

    for (QStringView line : source.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (isFenceLine(line)) {
            if (inCode) {
                flushCode();
                inCode = false;
            } else {
                flushProse();
                language = fenceLanguage(line);
                inCode = true;
            }
        } else if (inCode) {
            code.append(line.toString());
        } else {
            prose.append(line.toString());
        }
    }
    if (inCode)
        flushCode();
    else
        flushProse();

    if (blocks.isEmpty())
        blocks.append(Block::prose(normalizeProse(source)));
    return blocks;
}

bool isOpenableLink(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return !url.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

} // namespace chat::MarkdownText
