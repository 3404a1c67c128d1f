// The command-line client's session file: a session imported from it is
// saved in a form the app reads back at the next start, as the same session
// (to the second).
#include "FuzzCheck.h"

#include "auth/CliSessionImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>

namespace {
QString g_file;
const QDateTime kNow(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString home = fuzz::isolateHome();
    g_file = auth::CliSessionImport::path(home);
    QDir().mkpath(QFileInfo(g_file).path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(g_file);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fuzz::fail("the fixture file can be written", g_file);
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const auto imported = auth::CliSessionImport::read(g_file, kNow);
    if (!imported.ok())
        return 0;
    const auth::OAuthSession &session = imported->session;
    const QByteArray written = auth::encodeSession(session);
    const auto again = auth::decodeSession(written);
    fuzz::check(again.ok(), "an imported session is saved so that it reads back",
                again.ok() ? QString() : again.error());
    auth::OAuthSession expected = session;
    expected.expiresAt = expected.expiresAt.addMSecs(-expected.expiresAt.time().msec());
    fuzz::check(again.value() == expected, "an imported session reads back the same");
    return 0;
}
