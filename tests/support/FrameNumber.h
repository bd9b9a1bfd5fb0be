// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings whose pictures carry their own frame number, and the reading of that number
// back from a picture as a surface shows it: the top quarter of each frame is a row of 16
// blocks, white for a set bit of the frame's index (lowest bit on the left), black otherwise.
#pragma once

#include <QImage>
#include <QProcess>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace daxo::test {

// `seconds` of H.264 at `size` and 25 frames a second, a keyframe every second, with an AAC
// tone unless silent. Returns an error text, empty on success.
// How a numbered video is encoded: by default small H.264 at 25 frames/s; a camera's own
// streams are larger, faster and busier (noise keeps the encoder at the bit rate asked).
struct NumberedEncoding {
    int rate = 25;
    QString codec = QStringLiteral("libx264");
    QString bitRate; // empty: constant quality
};

inline QString makeNumberedMp4(const QString& path, int seconds, QSize size = {320, 180}, bool withAudio = true,
                               const NumberedEncoding& encoding = {}) {
    const QString bits = QStringLiteral("if(lt(Y,H/4),if(mod(floor(N/pow(2,floor(X*16/W))),2),235,16),lum(X,Y))");
    // a camera's picture: the numbers drawn small (the expression runs per pixel) and scaled up
    const QSize drawn = !encoding.bitRate.isEmpty() && size.width() > 640 ? QSize(640, 640 * size.height() / size.width()) : size;
    QStringList args{"-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                     QStringLiteral("testsrc2=duration=%1:size=%2x%3:rate=%4")
                         .arg(seconds).arg(drawn.width()).arg(drawn.height()).arg(encoding.rate)};
    if (withAudio)
        args << "-f" << "lavfi" << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds);
    QString filters = QStringLiteral("format=gray,geq=lum='%1',format=yuv420p").arg(bits);
    if (drawn != size)
        filters += QStringLiteral(",scale=%1:%2:flags=neighbor,noise=alls=12:allf=t").arg(size.width()).arg(size.height());
    args << "-vf" << filters;
    args << "-c:v" << encoding.codec << "-preset" << "ultrafast" << "-g" << QString::number(encoding.rate);
    if (encoding.bitRate.isEmpty())
        args << "-crf" << "18";
    else
        args << "-b:v" << encoding.bitRate << "-maxrate" << encoding.bitRate << "-bufsize" << encoding.bitRate;
    if (encoding.codec == QStringLiteral("libx265"))
        args << "-tag:v" << "hvc1" << "-x265-params" << "log-level=error";
    if (withAudio)
        args << "-c:a" << "aac" << "-b:a" << "64k";
    args << "-brand" << "avc1" << "-movflags" << "+faststart" << "--" << path;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", args);
    if (!ffmpeg.waitForStarted(10000))
        return QStringLiteral("ffmpeg cannot be started: %1").arg(ffmpeg.errorString());
    if (!ffmpeg.waitForFinished(1800000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return QStringLiteral("ffmpeg failed: %1").arg(QString::fromLocal8Bit(ffmpeg.readAllStandardError()));
    return {};
}

// The frame number in `picture`, a video of `video` size drawn into it with its shape kept
// (bars on two sides); -1 without a picture.
inline int frameNumberIn(const QImage& picture, QSize video) {
    if (picture.isNull() || video.isEmpty())
        return -1;
    const double scale = std::min(double(picture.width()) / video.width(), double(picture.height()) / video.height());
    const QRectF area((picture.width() - video.width() * scale) / 2, (picture.height() - video.height() * scale) / 2,
                      video.width() * scale, video.height() * scale);
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const int x = int(area.left() + (bit + 0.5) * area.width() / 16);
        const int y = int(area.top() + area.height() / 8);
        if (qGray(picture.pixel(x, y)) > 128)
            number |= 1 << bit;
    }
    return number;
}

} // namespace daxo::test
