// The guard's word check sees through a shell: what it says of a command
// (lasting harm, or signals to processes it did not start) it says of
// sh -c '<that command>' too, and a stop ends it. The check only reads text;
// nothing is run.
#include "FuzzCheck.h"

#include "agent/guard/CommandReview.h"
#include "agent/guard/CommandReviewReasons.h"

#include <cstdint>

namespace {

// The command as one single-quoted shell word: each ' becomes '\''.
QString singleQuoted(QString command)
{
    command.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + command + u'\'';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString command = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    // A text that starts with - or + would be read by sh as its options
    // (sh -c '+x; rm -rf /' runs nothing): "--" keeps it the command.
    const bool optionLike = command.startsWith(u'-') || command.startsWith(u'+');
    const QString wrapped = (optionLike ? QStringLiteral("sh -c -- ") : QStringLiteral("sh -c ")) + singleQuoted(command);
    using namespace agent::CommandReview;
    const std::optional<QString> reason = destructiveReason(command);
    const std::optional<QString> wrappedReason = destructiveReason(wrapped);
    // The shell around it costs a little more of the budget: a command
    // judged at the edge of it may be too complex only when wrapped, which
    // asks and so makes up no harm.
    const bool edge = !reason && wrappedReason == reasonOf("too-complex");
    fuzz::check(edge || wrappedReason.has_value() == reason.has_value(),
                reason ? "harm seen in a command is seen through sh -c" : "no harm is made up for sh -c",
                command + QStringLiteral("\nalone: ") + reason.value_or(QStringLiteral("none"))
                    + QStringLiteral("\nthrough sh -c: ") + wrappedReason.value_or(QStringLiteral("none")));
    const bool kills = killsOtherProcesses(command);
    fuzz::check(killsOtherProcesses(wrapped) == kills,
                kills ? "signals seen in a command are seen through sh -c" : "no signals are made up for sh -c",
                command);
    // A stop asked for before the judging ends it at once, as too complex.
    std::stop_source stop;
    stop.request_stop();
    fuzz::check(review(command, stop.get_token()).reason == reasonOf("too-complex"), "a stopped judging asks", command);
    return 0;
}
