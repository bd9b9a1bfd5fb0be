// SPDX-License-Identifier: GPL-3.0-or-later
// Opens a card in the viewer as a driver does and times what the window shows: the recording
// list, the trips with their times and lengths, every trip's route and impacts; meanwhile a
// timer on the window's thread measures the longest time it could not run (a stall). One line:
//   list_ms listed_ms complete_ms stall_ms recordings_read trips
//   measure_card FOLDER INDEX
#include "app/ZLXAppDelegate.h"
#include "app/ZLXTripController.h"
#include "app/ZLXViewer.h"
#include "library/ZLXLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

using namespace daxo;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: measure_card FOLDER INDEX\n");
        return 2;
    }
    setLogQuiet(true);
    if (geteuid() == 0) // the map's web engine refuses its sandbox to root
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the settings of a run are its own
    ZLXViewer viewer;
    viewer.trips().setIndexPath(argv[2]);
    QSettings settings;
    viewer.app().applicationDidFinishLaunching(settings);

    QElapsedTimer clock, sinceTick;
    qint64 list = -1, listed = -1, complete = -1, stall = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    constexpr int kBeat = 5;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        stall = std::max(stall, sinceTick.restart() - kBeat);
    });
    QObject::connect(&viewer.app(), &ZLXAppDelegate::mediaListReloaded, [&] { list = clock.elapsed(); });
    QObject::connect(&viewer.trips(), &ZLXTripController::tripsListed, [&] { listed = clock.elapsed(); });
    QObject::connect(&viewer.trips(), &ZLXTripController::tripsLoaded, [&] {
        complete = clock.elapsed();
        QTimer::singleShot(50, &app, &QApplication::quit); // a last beat after the end
    });
    // the window settles before the clock starts
    QTimer::singleShot(1000, [&] {
        sinceTick.start();
        heartbeat.start(kBeat);
        clock.start();
        viewer.app().openMediaDirectory(QString::fromLocal8Bit(argv[1]));
    });
    app.exec();
    std::printf("%lld %lld %lld %lld %zu %zu\n", (long long)list, (long long)listed, (long long)complete,
                (long long)stall, viewer.trips().trackCache().filesRead(), viewer.trips().drives().size());
    return complete >= 0 ? 0 : 1;
}
