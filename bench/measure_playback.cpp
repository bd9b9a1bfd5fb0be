// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a demo pair playing in the viewer (libVLC; offscreen unless a display is given):
// the time from the double-click to the first time notification of both players, and the
// largest difference between the two players' times, sampled every 100 ms, during plain
// playback, after a seek and after an exchange of the channels.
//   measure_playback CARD_DIR
#include "ZLXAppDelegate.h"
#include "ZLXLog.h"
#include "ZLXMediaTableModel.h"
#include "ZLXMpvMediaPlayer.h"
#include "ui_MainMenu.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using namespace daxo;

namespace {

qint64 sampleDrift(ZLXAppDelegate& c, int milliseconds) {
    qint64 worst = 0;
    for (int t = 0; t < milliseconds; t += 100) {
        QTest::qWait(100);
        if (ZLXAppDelegate::isPlaying(c.player1()) && ZLXAppDelegate::isPlaying(c.player2()))
            worst = std::max(worst, qAbs(c.player1()->time() - c.player2()->time()));
    }
    return worst;
}

} // namespace

int main(int argc, char** argv) {
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    setLogQuiet(true);
    QStandardPaths::setTestModeEnabled(true);
    if (argc != 2) {
        std::fprintf(stderr, "usage: measure_playback CARD_DIR\n");
        return 2;
    }
    ZLXAppDelegate controller;
    QSettings settings;
    controller.applicationDidFinishLaunching(settings);
    controller.openMediaDirectory(QString::fromLocal8Bit(argv[1]));
    if (!QTest::qWaitFor([&] { return controller.mediaList().count() > 0; }, 10000))
        return 1;
    QTest::qWait(2000); // the map page

    QElapsedTimer clock;
    qint64 first1 = -1, first2 = -1;
    QObject::connect(controller.player1(), &ZLXMediaPlayer::mediaPlayerTimeChanged, [&] { if (first1 < 0) first1 = clock.elapsed(); });
    QObject::connect(controller.player2(), &ZLXMediaPlayer::mediaPlayerTimeChanged, [&] { if (first2 < 0) first2 = clock.elapsed(); });
    clock.start();
    emit controller.ui().mediaListTableView->doubleClicked(controller.mediaTableModel()->index(0, 3));
    if (!QTest::qWaitFor([&] { return first1 >= 0 && first2 >= 0; }, 15000))
        return 1;
    std::printf("double-click to first time notification: player 1 %lld ms, player 2 %lld ms\n", first1, first2);
    std::printf("largest drift, 12 s of playback:  %lld ms\n", sampleDrift(controller, 12000));
    controller.videoPositionSliderMoved(0.2);
    QTest::qWait(500);
    std::printf("largest drift, 3 s after a seek:  %lld ms\n", sampleDrift(controller, 3000));
    controller.swapPlayer();
    QTest::qWait(1800);
    std::printf("largest drift, 3 s after an exchange: %lld ms\n", sampleDrift(controller, 3000));
    return 0;
}
