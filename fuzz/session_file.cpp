// The sign-in session file: whatever the decoder accepts is written in a form
// that reads back, as the same session but for the fractions of a second
// the file does not keep, and then reads back exactly.
#include "FuzzCheck.h"

#include "auth/OAuthSession.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto read = auth::decodeSession(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!read.ok())
        return 0;
    // Never print the session: it holds tokens (of the fuzzer's making, but
    // the habit stays).
    const QByteArray written = auth::encodeSession(read.value());
    const auto again = auth::decodeSession(written);
    fuzz::check(again.ok(), "a session the app writes reads back", again.ok() ? QString() : again.error());
    auth::OAuthSession expected = read.value();
    expected.expiresAt = expected.expiresAt.addMSecs(-expected.expiresAt.time().msec());
    fuzz::check(again.value() == expected, "a written session reads back the same");
    fuzz::check(auth::encodeSession(again.value()) == written, "writing it again gives the same bytes");
    return 0;
}
