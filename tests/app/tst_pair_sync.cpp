// SPDX-License-Identifier: GPL-3.0-or-later
// The two channels on screen: a pair whose pictures carry their frame numbers plays in the
// viewer with real libmpv players, and the numbers both surfaces show at the same instant
// are read from their pixels after every playback action.
#include "../support/Viewer.h"
#include "../support/PairSampling.h"
#include "../support/Settled.h"
#include "../support/QtTestMain.h"
#include "app/ZLXAppDelegate.h"
#include "app/ZLXLanguage.h"
#include "app/player/ZLXMpvMediaPlayer.h"
#include "app/playback/ZLXPlayerSync.h"
#include "ui_MainMenu.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace daxo;

namespace {
const QSize kVideo(320, 180);
}

class PairSyncTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ZLXViewer> m_viewerObject;
    ZLXAppDelegate* m_viewer = nullptr;

    // After an action: every 20 ms for 2 s, both pictures change together and stay within a
    // frame of each other; a single sample two frames apart (a surface drawn late on a loaded
    // machine) is allowed, never a gap that lasts.
    void expectTogether(const char* action, int forMs = 2000) {
        const test::PairSamples samples = test::samplePair(*m_viewer, forMs, 20, kVideo);
        qInfo("%-14s %3zu samples, largest gap %d frames (lasting %d), p95 %d, one picture alone %d", action,
              samples.gaps.size(), samples.maxGap(), samples.lastingGap(), samples.percentile(0.95),
              samples.onePictureOnly);
        QVERIFY2(samples.gaps.size() > size_t(forMs / 20 / 4), action); // enough pictures to judge, even under load
        QVERIFY2(samples.lastingGap() <= 1, action);
        QVERIFY2(samples.maxGap() <= 2, action);
        QVERIFY2(samples.percentile(0.95) <= 1, action);
        QCOMPARE(samples.onePictureOnly, 0);
    }
    int frameShown() const { return test::frameNumberIn(m_viewer->video1View()->currentFrame(), kVideo); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        installStringTable(*qApp, QStringLiteral("en"));
        QVERIFY(m_dir.isValid());
        QString error = test::makeNumberedMp4(m_dir.filePath("alwa_20240101_120000_F.MP4"), 30, kVideo);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        error = test::makeNumberedMp4(m_dir.filePath("alwa_20240101_120000_R.MP4"), 30, kVideo, false);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        m_viewer = test::makeViewer(m_viewerObject, [](ZLXVideoView* view) {
            return std::make_unique<ZLXMpvMediaPlayer>(view, ZLXMpvMediaPlayer::Options{{"ao", "null"}});
        });
        QSettings settings;
        m_viewer->applicationDidFinishLaunching(settings);
        QVERIFY(QTest::qWaitForWindowExposed(m_viewer->window()));
        QSignalSpy reloaded(m_viewer, &ZLXAppDelegate::mediaListReloaded);
        m_viewer->openMediaDirectory(m_dir.path());
        QVERIFY(reloaded.wait(10000));
        QCOMPARE(m_viewer->mediaList().count(), size_t(2));
    }
    void cleanupTestCase() { (m_viewerObject.reset(), m_viewer = nullptr); }

    void bothChannelsStayOnTheSameFrameThroughEveryAction() {
        QSignalSpy started(m_viewer->playback(), &ZLXPlayback::started);
        m_viewer->changeAndPlay(0);
        expectTogether("start");
        QVERIFY(started.count() == 1);

        m_viewer->clickPlayButton(); // pause
        QTRY_VERIFY(!m_viewer->playback()->playInfo()->isPlaying());
        expectTogether("pause", 500);
        // and come to rest on the same picture
        QTRY_COMPARE(test::frameNumberIn(m_viewer->video2View()->currentFrame(), kVideo), frameShown());
        m_viewer->clickPlayButton(); // resume
        expectTogether("resume");

        m_viewer->videoPositionSliderMoved(0.5);
        expectTogether("seek");
        QVERIFY2(qAbs(frameShown() - 375 - 50) <= 10, qPrintable(QString::number(frameShown())));

        m_viewer->jumpForward();
        expectTogether("jump forward");
        m_viewer->jumpBackward();
        expectTogether("jump back");

        m_viewer->swapPlayer();
        QVERIFY(m_viewer->playback()->player1()->mediaPath()->endsWith("_R.MP4"));
        expectTogether("exchange", 2500);

        m_viewer->increaseSpeed();
        QCOMPARE(m_viewer->playback()->player2()->rate(), 2.0f);
        expectTogether("double speed");
        m_viewer->decreaseSpeed();
        expectTogether("normal speed");
    }

    void aPausedSeekShowsBothNewPicturesTogether() {
        m_viewer->clickPlayButton(); // pause
        QTRY_VERIFY(!m_viewer->playback()->playInfo()->isPlaying());
        m_viewer->videoPositionSliderMoved(0.2);
        // never one picture at the new time and the other still at the old, until both show it
        // and after
        int alone = 0, together = 0;
        QElapsedTimer clock;
        clock.start();
        while (together < 20 && clock.elapsed() < 10000) {
            QTest::qWait(10);
            const int large = frameShown();
            const int small = test::frameNumberIn(m_viewer->video2View()->currentFrame(), kVideo);
            alone += (large == 150) != (small == 150);
            together += large == 150 && small == 150;
        }
        QCOMPARE(alone, 0);
        QCOMPARE(together, 20);
    }

    // Paused, "." and "," show the next and the previous frame on both surfaces.
    void framesStepTogether() {
        QTRY_VERIFY(!m_viewer->playback()->playInfo()->isPlaying()); // still paused at frame 150
        const auto smallShown = [&] { return test::frameNumberIn(m_viewer->video2View()->currentFrame(), kVideo); };
        const int start = frameShown();
        for (const auto& [key, expected] : {std::pair{Qt::Key_Period, start + 1}, {Qt::Key_Period, start + 2},
                                            {Qt::Key_Comma, start + 1}, {Qt::Key_Comma, start}, {Qt::Key_Comma, start - 1}}) {
            QTest::keyClick(m_viewer->window(), key);
            QTRY_COMPARE(frameShown(), expected);
            QTRY_COMPARE(smallShown(), expected);
        }
        QVERIFY(!m_viewer->playback()->playInfo()->isPlaying());
    }

    // The wheel over the large picture zooms it about the pointer; a double-click shows it whole.
    void theLargePictureZoomsAndComesBack() {
        ZLXVideoView* view = m_viewer->video1View();
        const int frame = frameShown();
        QVERIFY(frame >= 0);
        const QImage whole = view->currentFrame();
        const QPointF at(view->width() * 0.75, view->height() * 0.5);
        QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &wheel);
        QCOMPARE(m_viewer->zoom().factor, 1.5625); // two notches of 1.25
        QVERIFY(m_viewer->zoom().panX < 0);        // towards the pointer's side
        QTRY_VERIFY(view->currentFrame() != whole);
        QTest::mouseDClick(view, Qt::LeftButton, {}, at.toPoint());
        QCOMPARE(m_viewer->zoom(), ZLXZoom{});
        QTRY_COMPARE(frameShown(), frame); // the whole picture again, its number readable
        QVERIFY(!m_viewer->playback()->playInfo()->isPlaying());
    }

    void aPartnerThatDriftsIsBroughtBack() {
        m_viewer->clickPlayButton(); // resume
        expectTogether("resume", 500);
        // the partner is pushed ahead behind the pair's back: a little is made up by its rate,
        // much by a held seek
        for (qint64 ahead : {300, 1500}) {
            m_viewer->playback()->player2()->setTime(m_viewer->playback()->player1()->time() + ahead);
            // brought back on screen within a frame (a little by its rate over seconds, much by a
            // seek), and kept there for a few looks in a row
            int together = 0;
            QVERIFY(QTest::qWaitFor([&] {
                const int small = test::frameNumberIn(m_viewer->video2View()->currentFrame(), kVideo);
                together = std::abs(frameShown() - small) <= 1 && small >= 0 ? together + 1 : 0;
                return together >= 5;
            }, 10000));
            expectTogether(ahead > 400 ? "1.5 s ahead" : "0.3 s ahead", 1000);
        }
    }

    void theSurfacesFollowTheWindowWhenItIsResized() {
        m_viewer->window()->resize(1400, 900);
        // each surface fills its box and draws at its new size
        QVERIFY(test::waitSettled(m_viewer->window(), [&] { return m_viewer->window()->size() == QSize(1400, 900); }));
        for (ZLXVideoView* view : {m_viewer->video1View(), m_viewer->video2View()})
            QCOMPARE(view->size(), view->parentWidget()->size());
        expectTogether("resized", 500);
    }
};

DAXO_QTEST_MAIN(PairSyncTest)
#include "tst_pair_sync.moc"
