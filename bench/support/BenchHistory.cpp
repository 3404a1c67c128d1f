#include "BenchHistory.h"

#include "model/ConversationFile.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <cstdio>

extern char **environ;

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
    return writeHome(home, megabytes > 0 ? history(megabytes, sessions) : QList<model::Conversation>{});
}

qint64 writeHome(const QString &home, const QList<model::Conversation> &list)
{
    const QString support = home + QStringLiteral("/share/") + QLatin1String(platform::AppPaths::kAppFolderName);
    QDir().mkpath(support);
    qint64 size = 0;
    if (!list.isEmpty()) {
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

QString longReply()
{
    const QString paragraph = QStringLiteral(
        "The build reads **CMakeLists.txt**, configures each target and then runs `ctest` over the suite; "
        "a failing test prints its output, so the log shows [the cause](https://example.org/log) at once. ");
    QString out;
    int i = 0;
    while (out.size() < 100'000) {
        switch (i++ % 4) {
        case 0:
        case 1:
            out += paragraph + paragraph + QStringLiteral("\n\n");
            break;
        case 2:
            out += QStringLiteral("- first step of %1\n- second step\n- third step\n\n").arg(i);
            break;
        default:
            out += QStringLiteral("```cpp\nint step_%1 = run(\"tests\");\n```\n\n").arg(i);
        }
    }
    return out;
}

std::vector<std::string> appEnvironment(const QString &home, const std::vector<std::string> &extra)
{
    const std::string h = home.toStdString();
    std::vector<std::string> set{"HOME=" + h,
                                 "XDG_RUNTIME_DIR=" + h + "/run",
                                 "XDG_DATA_HOME=" + h + "/share",
                                 "XDG_CONFIG_HOME=" + h + "/config",
                                 "XDG_CACHE_HOME=" + h + "/cache",
                                 "QT_QPA_PLATFORM=xcb"};
    set.insert(set.end(), extra.begin(), extra.end());
    const auto nameOf = [](const std::string &entry) { return entry.substr(0, entry.find('=') + 1); };
    std::vector<std::string> out;
    for (char **e = environ; *e; ++e) {
        const std::string var(*e);
        const std::string name = nameOf(var);
        // No credentials of the person's reach the app.
        if (name == "OVU_API_KEY=")
            continue;
        if (std::none_of(set.begin(), set.end(), [&](const std::string &s) { return nameOf(s) == name; }))
            out.push_back(var);
    }
    out.insert(out.end(), set.begin(), set.end());
    return out;
}

} // namespace bench
