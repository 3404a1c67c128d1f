#include "model/Utf8Check.h"

#include <QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace model {

namespace {

bool validateSerial(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // Skip straight to the next non-ASCII byte, sixteen bytes a step.
#if defined(__SSE2__)
        while (end - p >= 16) {
            const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
            if (mask != 0) {
                p += __builtin_ctz(static_cast<unsigned>(mask));
                break;
            }
            p += 16;
        }
#else
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) != 0)
                break;
            p += 8;
        }
#endif
        if (p >= end)
            break;
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        unsigned lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0; // overlong
            else if (c == 0xED)
                hi = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90; // overlong
            else if (c == 0xF4)
                hi = 0x8F; // past U+10FFFF
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += extra + 1;
    }
    return true;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
    // Large inputs are checked in chunks on the thread pool, each cut just
    // before a lead byte so no sequence spans two chunks.
    constexpr qsizetype kChunk = 4 << 20;
    if (bytes.size() < 2 * kChunk)
        return validateSerial(bytes);
    std::vector<QByteArrayView> chunks;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = std::min(bytes.size(), start + kChunk);
        while (end < bytes.size() && end > start && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            --end;
        if (end == start) // nothing but continuation bytes: invalid anyway
            return false;
        chunks.push_back(bytes.sliced(start, end - start));
        start = end;
    }
    std::atomic<bool> ok{true};
    QtConcurrent::blockingMap(chunks, [&ok](QByteArrayView chunk) {
        if (ok.load(std::memory_order_relaxed) && !validateSerial(chunk))
            ok.store(false, std::memory_order_relaxed);
    });
    return ok.load();
}

} // namespace model
