#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace testsupport {

// A short video made with ffmpeg from one of its built-in test sources
// (e.g. "testsrc2=size=1920x1080:rate=30"), at path; empty when ffmpeg is
// missing or fails.
inline QString makeTestVideo(const QString &path, const QString &source, double seconds)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return {};
    QProcess p;
    p.start(ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"), source, QStringLiteral("-t"),
                     QString::number(seconds), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path});
    return p.waitForFinished(120'000) && p.exitCode() == 0 ? path : QString();
}

} // namespace testsupport
