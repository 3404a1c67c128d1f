#pragma once

// What every fuzz target shares: a failed property stops the run with a
// message (libFuzzer then keeps the input), and a private home folder, so
// nothing a target writes reaches the user's own files.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Control characters written as \xNN, so that a NUL does not cut the text.
inline QString printable(const QString &text)
{
    QString out;
    for (QChar c : text) {
        if (c == u'\n' || !(c.category() == QChar::Other_Control || c.category() == QChar::Other_Format))
            out.append(c);
        else
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return out;
}

[[noreturn]] inline void fail(const char *property, const QString &detail = {})
{
    std::fprintf(stderr, "property broken: %s\n%s\n", property, printable(detail).toLocal8Bit().constData());
    std::abort();
}

inline void check(bool holds, const char *property, const QString &detail = {})
{
    if (!holds)
        fail(property, detail);
}

// HOME and the XDG folders in a temporary folder that lives as long as the
// process. Returns the home folder.
inline QString isolateHome()
{
    static QTemporaryDir home;
    const QByteArray root = QFile::encodeName(home.path());
    qputenv("HOME", root);
    qputenv("XDG_DATA_HOME", root + "/share");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/run");
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return home.path();
}

} // namespace fuzz
