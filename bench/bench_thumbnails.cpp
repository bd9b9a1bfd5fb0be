// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails of camera-sized recordings: the first preview of an uncached 4K HEVC recording,
// the same found on disk and in memory, and the pictures of a one-hour trip (60 recordings,
// both channels) made in the background while nothing plays.
//   bench_thumbnails FRONT REAR FOLDER
// FRONT and REAR are one recording of each channel; FOLDER receives the trip's names (hard
// links) and the cache. Prints "first MS", "disk MS", "memory MS", "trip SECONDS DECODES".
#include "app/thumbnails/ZLXThumbnailer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using namespace daxo;

namespace {

// Milliseconds until the picture of `path` at `seconds` is there.
double timed(ZLXThumbnailer& thumbnailer, const QString& path, double seconds) {
    QSignalSpy ready(&thumbnailer, &ZLXThumbnailer::ready);
    QElapsedTimer clock;
    clock.start();
    if (thumbnailer.thumbnail(path, seconds, ZLXThumbnailer::Urgency::Now).isNull() && !ready.wait(60000))
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_thumbnails FRONT REAR FOLDER\n");
        return 2;
    }
    const QString front = QString::fromLocal8Bit(argv[1]), rear = QString::fromLocal8Bit(argv[2]);
    const QString folder = QString::fromLocal8Bit(argv[3]);
    const QString cache = folder + QStringLiteral("/cache");
    {
        ZLXThumbnailer thumbnailer(cache);
        std::printf("first %.1f\n", timed(thumbnailer, front, 5.5));
    }
    {
        ZLXThumbnailer thumbnailer(cache); // a new run: from disk, then from memory
        std::printf("disk %.2f\n", timed(thumbnailer, front, 5.5));
        std::printf("memory %.3f\n", timed(thumbnailer, front, 5.5));
    }
    // the trip: a name of its own for each recording, so each is made anew
    QDir().mkpath(folder + QStringLiteral("/trip"));
    std::vector<QString> files;
    for (int i = 0; i < 60; ++i) {
        for (const auto& [source, side] : {std::pair{front, 'F'}, std::pair{rear, 'R'}}) {
            const QString name = folder + QStringLiteral("/trip/alwa_20240506_%1_%2.MP4")
                                              .arg(70000 + i * 100, 6, 10, QLatin1Char('0'))
                                              .arg(QLatin1Char(side));
            if (::link(QFile::encodeName(source).constData(), QFile::encodeName(name).constData()) != 0)
                return 1;
            files.push_back(name);
        }
    }
    ZLXThumbnailer thumbnailer(cache);
    QSignalSpy ready(&thumbnailer, &ZLXThumbnailer::ready);
    QElapsedTimer clock;
    clock.start();
    for (const QString& file : files)
        thumbnailer.thumbnail(file, 5.5);
    if (!QTest::qWaitFor([&] { return ready.size() == int(files.size()); }, 600000))
        return 1;
    std::printf("trip %.1f %d\n", double(clock.elapsed()) / 1000, thumbnailer.decodes());
    return 0;
}
