// The stream parser reads a body the same however the network cuts it: fed
// whole, one byte at a time, or in pieces of sizes drawn from the body
// itself, it gives the same text fragments and the same turn or failure.
#include "FuzzCheck.h"

#include "agent/stream/SseAssembler.h"

#include <QHash>
#include <QRandomGenerator>

#include <cstdint>

namespace {

struct Outcome {
    QStringList fragments;
    bool ok = false;
    agent::OVUAssistantTurn turn;
    agent::OVUClientError error;

    bool operator==(const Outcome &) const = default;
};

// Feeds the body in pieces of the sizes next() gives.
template <typename NextSize>
Outcome read(QByteArrayView body, NextSize next)
{
    agent::SseAssembler sse;
    Outcome out;
    for (qsizetype at = 0; at < body.size();) {
        const qsizetype size = std::min(next(), body.size() - at);
        out.fragments += sse.feed(body.sliced(at, size));
        at += size;
    }
    out.fragments += sse.endOfBody();
    const auto result = sse.finish();
    out.ok = result.ok();
    if (out.ok)
        out.turn = result.value();
    else
        out.error = result.error();
    return out;
}

QString describe(const Outcome &o)
{
    return QStringLiteral("%1 fragments [%2], %3").arg(o.fragments.size()).arg(o.fragments.join(u'|'),
                                                                             o.ok ? QStringLiteral("a turn")
                                                                                  : o.error.description());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView body(reinterpret_cast<const char *>(data), qsizetype(size));
    const Outcome whole = read(body, [&] { return body.size(); });
    const Outcome bytes = read(body, [] { return qsizetype(1); });
    QRandomGenerator sizes(qHash(body));
    const Outcome pieces = read(body, [&] { return qsizetype(sizes.bounded(1, 24)); });
    fuzz::check(bytes == whole, "byte by byte reads as the whole body", describe(bytes) + u'\n' + describe(whole));
    fuzz::check(pieces == whole, "in pieces reads as the whole body", describe(pieces) + u'\n' + describe(whole));
    return 0;
}
