#include "chat/composer/ComposerPlaceholders.h"

namespace chat::ComposerPlaceholders {

const QStringList &lines()
{
    static const QStringList all{
        QStringLiteral("Hit me\u2026"),
        QStringLiteral("Whatcha got for me\u2026"),
        QStringLiteral("I know you got a good one\u2026"),
        QStringLiteral("What's next\u2026"),
        QStringLiteral("Let's fire it up\u2026"),
        QStringLiteral("Ship something\u2026"),
        QStringLiteral("Talk to me\u2026"),
        QStringLiteral("Build mode\u2026"),
        QStringLiteral("Your move\u2026"),
        QStringLiteral("Make it nasty (in a good way)\u2026"),
    };
    return all;
}

QString fieldPlaceholder(bool listening, bool running, bool hasAttachments, int index)
{
    if (listening)
        return QStringLiteral("Listening\u2026 I\u2019m all ears");
    if (running)
        return QStringLiteral("Working on it\u2026");
    if (hasAttachments)
        return QStringLiteral("Add a note, or just fire it");
    const int i = ((index % kCount) + kCount) % kCount;
    return lines().at(i);
}

bool isBlank(const QString &draft)
{
    return draft.trimmed().isEmpty();
}

int advancedIndex(int index, const QString &draft)
{
    return isBlank(draft) ? (index + 1) % kCount : index;
}

bool canCompose(const QString &draft, bool hasAttachments)
{
    return !isBlank(draft) || hasAttachments;
}

} // namespace chat::ComposerPlaceholders
