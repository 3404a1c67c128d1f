#include "BenchHistory.h"

#include "model/ConversationFile.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>

#include <cstdio>

namespace bench {

QList<model::Conversation> history(int megabytes, int sessions)
{
    const QString paragraph = QStringLiteral(
        "The build fails in src/main.c because the header moved; this patch updates the include path, "
        "reruns make test and keeps the old path as a fallback for the packaging scripts. ");
    QString body;
    while (body.size() < 900)
        body += paragraph;
    const qsizetype perMessage = body.toUtf8().size() + 200; // with the record's fields
    const qsizetype total = qsizetype(megabytes) * 1000 * 1000 / perMessage;
    QList<model::Conversation> out;
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-30);
    for (int s = 0; s < sessions; ++s) {
        model::Conversation c;
        c.id = QUuid::createUuid();
        c.title = QStringLiteral("Session %1").arg(s + 1);
        c.createdAt = base.addSecs(s * 60);
        c.updatedAt = c.createdAt;
        const qsizetype count = total / sessions;
        for (qsizetype i = 0; i < count; ++i) {
            model::ChatMessage m = model::ChatMessage::make(
                i % 2 ? model::MessageRole::Assistant : model::MessageRole::User, body);
            m.createdAt = c.createdAt.addSecs(i);
            c.messages.append(m);
        }
        out.append(c);
    }
    return out;
}

qint64 writeHome(const QString &home, int megabytes, int sessions)
{
    const QString support = home + QStringLiteral("/share/") + QLatin1String(platform::AppPaths::kAppFolderName);
    QDir().mkpath(support);
    qint64 size = 0;
    if (megabytes > 0) {
        const QList<model::Conversation> list = history(megabytes, sessions);
        const QByteArray bytes = model::ConversationFileEncoder().encode(list, list.first().id);
        if (const QString err = platform::writeFileAtomically(support + QStringLiteral("/conversations.json"), bytes);
            !err.isEmpty()) {
            std::fprintf(stderr, "cannot write the history: %s\n", qPrintable(err));
            return -1;
        }
        size = bytes.size();
    }
    if (const QString err = platform::writeFileAtomically(support + QStringLiteral("/settings.json"),
                                                          "{\"hasCompletedOnboarding\":true}");
        !err.isEmpty()) {
        std::fprintf(stderr, "cannot write the settings: %s\n", qPrintable(err));
        return -1;
    }
    return size;
}

} // namespace bench
