// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a pair playing in the viewer as a driver sees it (offscreen unless a display is
// given): the pair's pictures carry their frame numbers, and both video surfaces are read at
// the same instant every 100 ms. Reports the time from the double-click to a picture on both
// surfaces, the frame gap after each playback action (median, 95th percentile, largest), and
// the processor time and memory of the playing pair; then the time the settings window takes to
// show a card's values.
//   measure_playback [--size WxH] [--seconds N]
#include "../tests/support/PairSampling.h"
#include "app/ZLXViewer.h"
#include "library/ZLXLog.h"
#include "app/player/ZLXMpvMediaPlayer.h"
#include "app/player/ZLXVideoView.h"
#include "config/filedata/ZLXFileData.h"
#include "config/ZLXSettingController.h"
#include "card/ZLXVolumes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSignalSpy>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

using namespace daxo;

namespace {

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong() / 1024;
    }
    return -1;
}

// Where the resident memory is: the largest owners in /proc/self/smaps (a library, the heap,
// anonymous memory), for the record of what the memory figure is made of.
void printMemoryOwners() {
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return;
    QMap<QString, long> owners;
    QString owner;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 5 && fields[0].contains('-') && !line.endsWith(':')) { // a mapping's first line
            owner = fields.size() >= 6 ? QString::fromLocal8Bit(fields[5]).section('/', -1) : QStringLiteral("[anon]");
        } else if (line.startsWith("Rss:")) {
            owners[owner] += fields.value(1).toLong();
        }
    }
    QList<QPair<long, QString>> sorted;
    for (auto it = owners.cbegin(); it != owners.cend(); ++it)
        sorted.append({it.value(), it.key()});
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::printf("largest owners of that memory:");
    for (int i = 0; i < std::min<qsizetype>(8, sorted.size()); ++i)
        std::printf(" %s %ld MB%s", qPrintable(sorted[i].second), sorted[i].first / 1024, i < 7 ? "," : "");
    std::printf("\n");
}

// A FAT card image with a config.bin, mounted with fusefat and offered as the card; the time
// from the settings command to the window showing the card's values. -1 when it cannot.
qint64 settingsWindowOpening(const QString& folder) {
    const QString image = folder + "/card.img", mount = folder + "/mnt";
    QDir().mkpath(mount);
    auto run = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    };
    if (!run("mkfs.fat", {"-F", "32", "-C", "-n", "DAXO", image, "40000"}) ||
        !run("fusefat", {"-o", "rw+", image, mount}))
        return -1;
    if (SaveDefaultFileData((mount + "/config.bin").toStdString()))
        return -1;
    setVolumeSource([mount] {
        return QStringLiteral(R"({"blockdevices":[{"name":"sdb","path":"/dev/sdb","type":"disk","tran":"usb",
            "rm":true,"hotplug":true,"ro":false,"label":"DAXO","mountpoint":"%1","size":41943040,"model":"Card Reader"}]})")
            .arg(mount).toUtf8();
    });
    std::vector<qint64> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        ZLXSettingController window;
        QSignalSpy loaded(&window, &ZLXSettingController::settingFileLoaded);
        window.show();
        window.windowDidLoad();
        if (loaded.isEmpty() && !loaded.wait(10000))
            break;
        QCoreApplication::processEvents();
        times.push_back(clock.elapsed());
    }
    setVolumeSource({});
    run("fusermount", {"-u", mount});
    if (times.size() < 5)
        return -1;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2]; // the median
}

void report(const char* action, const test::PairSamples& samples) {
    std::printf("| %-22s | %4zu | %6d | %4d | %4d | %5d |\n", action, samples.gaps.size(), samples.percentile(0.5),
                samples.percentile(0.95), samples.maxGap(), samples.onePictureOnly);
}

} // namespace

int main(int argc, char** argv) {
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    prepareGraphics(false); // as the viewer does
    QApplication app(argc, argv);
    setLogQuiet(true);
    QStandardPaths::setTestModeEnabled(true);
    QSize size(640, 360);
    int seconds = 20;
    bool camera = false;
    QString keep;
    for (int i = 1; i < argc; ++i) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (option == "--size")
            size = QSize(value.section('x', 0, 0).toInt(), value.section('x', 1, 1).toInt()), ++i;
        else if (option == "--seconds")
            seconds = value.toInt(), ++i;
        else if (option == "--camera") // a 4K HEVC front and a 1080p H.264 rear at 30 frames/s
            camera = true;
        else if (option == "--keep") // the folder the pair is made in and kept (made once)
            keep = value, ++i;
    }
    if (size.isEmpty() || seconds < 5) {
        std::fprintf(stderr, "usage: measure_playback [--size WxH | --camera] [--seconds N>=5] [--keep DIR]\n");
        return 2;
    }

    QTemporaryDir made;
    const QString card = keep.isEmpty() ? made.path() : keep;
    QDir().mkpath(card);
    const int length = seconds * 2 + 40; // room for the seeks and jumps, and the run at 2x
    int rate = 25;
    for (const char* channel : {"F", "R"}) {
        const bool front = channel == std::string("F");
        test::NumberedEncoding encoding;
        QSize channelSize = size;
        if (camera) {
            rate = encoding.rate = 30;
            encoding.codec = front ? QStringLiteral("libx265") : QStringLiteral("libx264");
            encoding.bitRate = front ? QStringLiteral("40M") : QStringLiteral("10M");
            channelSize = front ? QSize(3840, 2160) : QSize(1920, 1080);
        }
        const QString file = card + QStringLiteral("/alwa_20240101_120000_%1.MP4").arg(channel);
        if (QFileInfo(file).size() > 0 && !keep.isEmpty())
            continue;
        const QString error = test::makeNumberedMp4(file, length, channelSize, front, encoding);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    if (camera)
        size = QSize(3840, 2160);
    ZLXViewer viewerObject([](ZLXVideoView* view) {
        return std::make_unique<ZLXMpvMediaPlayer>(view, ZLXMpvMediaPlayer::Options{{"ao", "null"}});
    });
    ZLXAppDelegate& viewer = viewerObject.app();
    QSettings settings;
    viewer.applicationDidFinishLaunching(settings);
    viewer.openMediaDirectory(card);
    if (!QTest::qWaitFor([&] { return viewer.mediaList().count() == 2; }, 10000))
        return 1;
    QTest::qWait(2000); // the map page

    if (camera)
        std::printf("front 3840x2160 HEVC 40 Mbit/s, rear 1920x1080 H.264 10 Mbit/s, ");
    else
        std::printf("pair of %dx%d, ", size.width(), size.height());
    std::printf("%d frames/s, %s video output, platform %s\n", rate,
                viewer.video1View()->output() == ZLXVideoOutput::OpenGL ? "OpenGL" : "software",
                qPrintable(QGuiApplication::platformName()));
    QElapsedTimer clock;
    clock.start();
    viewer.changeAndPlay(0);
    if (!QTest::qWaitFor([&] { return viewer.video1View()->hasPicture() && viewer.video2View()->hasPicture(); }, 15000))
        return 1;
    std::printf("double-click to a picture on both surfaces: %lld ms\n\n", clock.elapsed());

    const QSize video = size;
    auto after = [&](const char* action, auto&& act, int ms = 2000) {
        act();
        report(action, test::samplePair(viewer, ms, 100, video));
    };
    std::printf("| %-22s | %4s | %6s | %4s | %4s | %5s |\n|---|---|---|---|---|---|\n", "gap in frames after",
                "n", "median", "p95", "max", "alone");
    after("start", [] {});
    after("pause", [&] { viewer.clickPlayButton(); }, 500);
    after("resume", [&] { viewer.clickPlayButton(); });
    after("seek to 40 %", [&] { viewer.videoPositionSliderMoved(0.4); });
    after("jump +10 s", [&] { viewer.jumpForward(); });
    after("jump -10 s", [&] { viewer.jumpBackward(); });
    after("exchange", [&] { viewer.swapPlayer(); }, 2500);
    after("2x speed", [&] { viewer.increaseSpeed(); });
    after("1x speed", [&] { viewer.decreaseSpeed(); });
    viewer.videoPositionSliderMoved(0.05);
    QTest::qWait(500);
    auto dropped = [&] {
        int64_t n = 0;
        for (ZLXMediaPlayer* p : {viewer.playback()->player1(), viewer.playback()->player2()})
            n += static_cast<ZLXMpvMediaPlayer*>(p)->droppedFrames();
        return n;
    };
    const int64_t before1x = dropped();
    const double before = processorSeconds();
    clock.restart();
    report("plain playback", test::samplePair(viewer, seconds * 1000, 100, video));
    const double cpu = 100.0 * (processorSeconds() - before) / (double(clock.elapsed()) / 1000.0);
    const int64_t droppedAt1x = dropped() - before1x;
    std::printf("\nprocessor time of the viewer while the pair plays: %.1f %% of one core\n", cpu);
    std::printf("frames dropped in %d s at 1x: %lld\n", seconds, (long long)droppedAt1x);
    std::printf("video decoding: %s\n",
                qPrintable(static_cast<ZLXMpvMediaPlayer*>(viewer.playback()->player1())->decoder()));
    std::printf("resident memory of the viewer while the pair plays: %ld MB\n", residentMegabytes());
    printMemoryOwners();
    viewer.videoPositionSliderMoved(0.05);
    viewer.increaseSpeed();
    QTest::qWait(500);
    const int64_t before2x = dropped();
    report("plain playback at 2x", test::samplePair(viewer, seconds * 1000 / 2, 100, video));
    std::printf("frames dropped in %d s at 2x: %lld\n", seconds / 2, (long long)(dropped() - before2x));
    viewer.decreaseSpeed();
    viewer.stopPlay();

    // The settings window on a card: shown, with the card's values read.
    const auto opened = settingsWindowOpening(card);
    if (opened < 0)
        return 1;
    std::printf("settings window shown with the card's values: %lld ms\n", opened);
    return 0;
}
