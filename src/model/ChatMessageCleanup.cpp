#include "model/ChatRecords.h"

#include <QRegularExpression>
#include <QStringList>

namespace model {

namespace {

// A Markdown image whose target is a base64 data URL.
const QRegularExpression &inlineImagePattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"re(!\[[^\]]*\]\(data:image\/[a-zA-Z0-9.+-]+;base64,[A-Za-z0-9+/=\s]+\))re"),
        QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

const QRegularExpression &attachedPathPattern()
{
    static const QRegularExpression re(QStringLiteral(R"re(###\s+`([^`]+)`)re"));
    return re;
}

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QStringView trimHorizontal(QStringView line)
{
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && isHorizontalSpace(line[start]))
        ++start;
    while (end > start && isHorizontalSpace(line[end - 1]))
        --end;
    return line.sliced(start, end - start);
}

// Drops the italic notes the composer adds about staged images and files.
QString scrubStagingLines(const QString &text)
{
    static constexpr QStringView kNotePrefixes[] = {u"_(image staged", u"_(compressed ", u"_(screenshot attached",
                                                    u"_(image path:", u"_(not inlined"};
    QStringList kept;
    for (QStringView line : QStringView(text).split(u'\n')) {
        const QStringView trimmed = trimHorizontal(line);
        bool isNote = false;
        for (QStringView prefix : kNotePrefixes) {
            if (trimmed.startsWith(prefix)) {
                isNote = true;
                break;
            }
        }
        if (!isNote)
            kept.append(line.toString());
    }
    return kept.join(u'\n');
}

} // namespace

QList<ChatMessage> ChatMessage::sanitizeForStorage(const QList<ChatMessage> &messages)
{
    const QRegularExpression &re = inlineImagePattern();
    if (!re.isValid())
        return messages;
    QList<ChatMessage> out = messages; // shares data until a message changes
    for (qsizetype i = 0; i < out.size(); ++i) {
        const ChatMessage &m = messages[i];
        if (m.role != MessageRole::User && m.role != MessageRole::Assistant)
            continue;
        if (!m.content.contains(QLatin1String("data:image")))
            continue;
        QString cleaned = m.content;
        cleaned.replace(re, QString());
        if (cleaned != m.content)
            out[i].content = std::move(cleaned);
    }
    return out;
}

QString ChatMessage::stripAttachmentChrome(const QString &text)
{
    static constexpr QLatin1String kMarkers[] = {QLatin1String("\n\n---\n**Attached files**"),
                                                 QLatin1String("\n---\n**Attached files**"),
                                                 QLatin1String("**Attached files**")};
    qsizetype cut = -1;
    for (QLatin1String marker : kMarkers) {
        cut = text.indexOf(marker);
        if (cut >= 0)
            break;
    }
    if (cut < 0)
        return scrubStagingLines(text);

    const QString head = text.left(cut).trimmed();
    const QString tail = text.mid(cut);

    QStringList paths;
    const QRegularExpression &re = attachedPathPattern();
    if (re.isValid()) {
        for (auto it = re.globalMatch(tail); it.hasNext();)
            paths.append(it.next().captured(1));
    }

    QStringList parts;
    if (!head.isEmpty() && head != QLatin1String("Use the attached files as context."))
        parts.append(head);
    if (!paths.isEmpty()) {
        QStringList lines;
        for (const QString &path : std::as_const(paths))
            lines.append(QStringLiteral("\U0001F4CE ") + path);
        parts.append(lines.join(u'\n'));
    }
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace model
