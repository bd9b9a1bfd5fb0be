// SPDX-License-Identifier: GPL-3.0-or-later
// Short recordings made with ffmpeg while the tests run.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace daxo::test {

// An H.264 MP4 of `seconds` at 320 x 240, 25 frames a second, with an AAC tone unless
// silent. Returns an error text, empty on success.
inline QString makeTestMp4(const QString& path, int seconds, bool withAudio = true) {
    QStringList args{"-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                     QStringLiteral("testsrc=duration=%1:size=320x240:rate=25").arg(seconds)};
    if (withAudio)
        args << "-f" << "lavfi" << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds);
    args << "-c:v" << "libx264" << "-preset" << "ultrafast" << "-pix_fmt" << "yuv420p";
    if (withAudio)
        args << "-c:a" << "aac" << "-b:a" << "64k";
    args << "-brand" << "avc1" << "-movflags" << "+faststart" << path;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", args);
    if (!ffmpeg.waitForStarted(10000))
        return QStringLiteral("ffmpeg cannot be started: %1").arg(ffmpeg.errorString());
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0)
        return QStringLiteral("ffmpeg failed: %1").arg(QString::fromLocal8Bit(ffmpeg.readAllStandardError()));
    return {};
}

} // namespace daxo::test
