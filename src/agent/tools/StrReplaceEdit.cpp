#include "agent/tools/StrReplaceEdit.h"

namespace agent::StrReplaceEdit {

namespace {

bool hasBareLineFeed(QStringView text)
{
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1)) {
        if (i == 0 || text[i - 1] != u'\r')
            return true;
    }
    return false;
}

QString withCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.count(u'\n'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out.append(u'\r');
        out.append(text[i]);
    }
    return out;
}

} // namespace

bool isUniformlyCrLf(QStringView text)
{
    return text.contains(u'\n') && !hasBareLineFeed(text);
}

std::optional<Edit> plan(const QString &text, const QString &oldString, const QString &newString)
{
    if (isUniformlyCrLf(text)) {
        // Whatever the search text holds (one line, CR LF or line feeds), the
        // file keeps its one line-break style.
        if (const auto match = TextSearch::findFirst(text, withCrLf(oldString)))
            return Edit{*match, withCrLf(newString)};
        return std::nullopt;
    }
    if (const auto match = TextSearch::findFirst(text, oldString))
        return Edit{*match, newString};
    return std::nullopt;
}

} // namespace agent::StrReplaceEdit
