#include "app/SessionExport.h"

#include "platform/Graphemes.h"

#include <string_view>

namespace app::SessionExport {

namespace {

constexpr qsizetype kNameCharacters = 60;

bool replacedInName(QChar c)
{
    static constexpr std::u16string_view kReserved = u"/:\\?%*|\"<>";
    if (kReserved.find(c.unicode()) != std::u16string_view::npos)
        return true;
    // Control characters would end up in the name shown by the file panel
    // and on disk (a line feed in a file name breaks most tools).
    return c.category() == QChar::Other_Control;
}

void appendText(QByteArray &out, const QString &text)
{
    out.append(text.toUtf8());
}

} // namespace

QString originLine(const QDateTime &when, const QLocale &locale)
{
    return QStringLiteral("_Exported from Moonshelf Mac \u00B7 %1 \u00B7 %2_")
        .arg(locale.toString(when.date(), QLocale::ShortFormat), locale.toString(when.time(), QLocale::ShortFormat));
}

QByteArray markdown(const model::Conversation &conversation, const QDateTime &when, const QLocale &locale)
{
    qsizetype estimate = conversation.title.size() * 3 + 128;
    for (const model::ChatMessage &m : conversation.messages)
        estimate += m.content.size() + 16;
    QByteArray out;
    out.reserve(estimate);

    out.append("# ");
    appendText(out, conversation.title);
    out.append("\n\n");
    appendText(out, originLine(when, locale));
    out.append("\n\n");
    for (const model::ChatMessage &m : conversation.messages) {
        if (m.role == model::MessageRole::User)
            out.append("## You\n\n");
        else if (m.role == model::MessageRole::Assistant)
            out.append("## Qirv\n\n");
        else
            continue;
        appendText(out, m.content);
        out.append("\n\n");
        if (!m.toolCalls || m.toolCalls->isEmpty())
            continue;
        bool first = true;
        for (const model::ToolCallRecord &call : *m.toolCalls) {
            if (!first)
                out.append('\n');
            first = false;
            out.append("- tool: `");
            appendText(out, call.name);
            out.append('`');
        }
        out.append("\n\n");
    }
    return out;
}

QString proposedFileName(const QString &title)
{
    QString name = title;
    for (QChar &c : name) {
        if (replacedInName(c))
            c = QLatin1Char('-');
    }
    return platform::Graphemes::prefix(name, kNameCharacters) + QStringLiteral(".md");
}

} // namespace app::SessionExport
