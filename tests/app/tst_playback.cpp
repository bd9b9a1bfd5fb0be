// SPDX-License-Identifier: GPL-3.0-or-later
// The playback logic without a window: scripted players, the demo card's list, and a clock
// the test steps instead of sleeping.
#include "../support/MediaRows.h"
#include "../support/ScriptedPlayer.h"
#include "../support/StepClock.h"
#include "app/playback/ZLXPlayback.h"
#include "app/playback/ZLXPlayerSync.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace daxo;
using daxo::test::ScriptedPlayer;

class PlaybackTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ZLXMediaList m_list;
    std::unique_ptr<test::StepClock> m_clock;
    std::unique_ptr<ZLXPlayback> m_playback;

    ScriptedPlayer* p1() const { return static_cast<ScriptedPlayer*>(m_playback->player1()); }
    ScriptedPlayer* p2() const { return static_cast<ScriptedPlayer*>(m_playback->player2()); }
    int rowOf(const QString& fileName) const { return test::rowOfFile(m_list, fileName); }
    static void deliver() { QCoreApplication::processEvents(); }
    // Starts a row and waits until both players run and the start is done (the telemetry is
    // read on another thread).
    void start(int row) {
        QSignalSpy started(m_playback.get(), &ZLXPlayback::started);
        m_playback->changeAndPlay(row);
        QVERIFY(started.wait(10000));
    }
    void advanceBoth(qint64 ms) {
        p1()->advance(ms);
        p2()->advance(ms);
        deliver();
    }

private slots:
    void initTestCase() {
        const QString card = m_dir.filePath("card");
        QProcess make;
        make.start(DAXO_DEMO_CARD_TOOL, {card});
        QVERIFY(make.waitForFinished(120000) && make.exitCode() == 0);
        m_list.setDirectoryPath(card.toStdString());
        m_list.waitForRebuilds();
        QCOMPARE(m_list.count(), size_t(9));
    }

    void init() {
        m_clock = std::make_unique<test::StepClock>();
        m_playback = std::make_unique<ZLXPlayback>(std::make_unique<ScriptedPlayer>(), std::make_unique<ScriptedPlayer>(),
                                                   m_list, *m_clock);
    }
    void cleanup() { m_playback.reset(); }

    void aFrontRowPlaysWithItsRearPartnerAndPublishesItsTelemetry() {
        QSignalSpy partner(m_playback.get(), &ZLXPlayback::partnerChanged);
        QSignalSpy channels(m_playback.get(), &ZLXPlayback::channelsChanged);
        const int row = rowOf("alwa_20241003_081500_F.MP4");
        start(row);
        QVERIFY(p1()->path->endsWith("alwa_20241003_081500_F.MP4"));
        QVERIFY(p2()->path->endsWith("alwa_20241003_081500_R.MP4"));
        QCOMPARE(m_playback->blackBoxData().m_Times.size(), size_t(100));
        QCOMPARE(m_playback->mediaIndex(), row);
        QCOMPARE(partner.back().front().toBool(), true);
        QCOMPARE(channels.back(), (QList<QVariant>{false, false}));
        // the front file has sound: it is heard, the rear is muted
        QCOMPARE(m_playback->playInfo()->audioMediaDirection(), 0);
        QVERIFY(!p1()->muted && p2()->muted);
        QCOMPARE(p1()->playerVolume, 70);

        // every third time notification of player 1 publishes the position, with the
        // telemetry at it
        QSignalSpy published(m_playback.get(), &ZLXPlayback::positionChanged);
        QSignalSpy telemetry(m_playback.get(), &ZLXPlayback::telemetryAt);
        for (int i = 0; i < 9; ++i)
            advanceBoth(500);
        QCOMPARE(published.count(), 3); // the 1st, 4th and 7th
        QCOMPARE(published.back().front().toDouble(), double(3500.0f / 20000.0f));
        QCOMPARE(telemetry.count(), 3);
        const auto shown = telemetry.back().front().value<ZLXTelemetryDisplay>();
        QVERIFY(shown.x && shown.x->starts_with("X="));
        QVERIFY(shown.speed && shown.speed->ends_with(" Km/h"));
        QVERIFY(m_playback->stopVideoLoadingView());
        QCOMPARE(m_playback->timeText(), QStringLiteral("00:04 / 00:20"));
    }

    void aRearRowPlaysLargeWithTheFrontsTelemetryAndALoneOneHasNone() {
        QSignalSpy channels(m_playback.get(), &ZLXPlayback::channelsChanged);
        start(rowOf("alwa_20241003_081520_R.MP4"));
        QVERIFY(p1()->path->endsWith("_R.MP4"));
        QVERIFY(p2()->path->endsWith("alwa_20241003_081520_F.MP4"));
        QCOMPARE(channels.back(), (QList<QVariant>{true, true}));
        QCOMPARE(m_playback->blackBoxData().m_Times.size(), size_t(100));
        QCOMPARE(m_playback->blackBoxData().m_vGpsData.front().data.unit, 'M');

        QSignalSpy partner(m_playback.get(), &ZLXPlayback::partnerChanged);
        start(rowOf("motion_20241003_120210_R.MP4")); // alone: no partner, no telemetry
        QVERIFY(!p2()->path);
        QCOMPARE(partner.front().front().toBool(), false);
        QVERIFY(m_playback->blackBoxData().m_Times.empty());
        QSignalSpy telemetry(m_playback.get(), &ZLXPlayback::telemetryAt);
        p1()->advance(100);
        const auto shown = telemetry.back().front().value<ZLXTelemetryDisplay>();
        QCOMPARE(QString::fromStdString(shown.speed.value_or("")), QStringLiteral("- Km/h"));
        QCOMPARE(QString::fromStdString(shown.hdop.value_or("")), QStringLiteral("-.-"));
    }

    void theEndStartsTheNextGroupOneSecondLaterAndTheLastStops() {
        start(rowOf("alwa_20241003_081540_F.MP4"));
        const int64_t first = m_playback->mediaIndex();
        p1()->setTime(19900);
        p2()->setTime(19900);
        advanceBoth(100);
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        m_clock->advance(1000); // the watch sees the end
        QVERIFY(m_playback->preparingPlayNext());
        QCOMPARE(m_playback->mediaIndex(), first);
        QSignalSpy started(m_playback.get(), &ZLXPlayback::started);
        m_clock->advance(1000);
        QCOMPARE(m_playback->mediaIndex(), first + 2); // the next pair, two rows on
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 10000);
        QVERIFY(p1()->path->contains("event_"));

        // a rear row of a pair goes on to the next group too
        start(rowOf("alwa_20241003_081500_R.MP4"));
        p1()->setTime(19900);
        p2()->setTime(19900);
        advanceBoth(100);
        m_clock->advance(2000);
        QCOMPARE(m_playback->mediaIndex(), rowOf("alwa_20241003_081520_F.MP4"));
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 3, 10000); // with the start of the rear row

        // after the last group nothing more starts
        start(rowOf("motion_20241003_120210_R.MP4"));
        p1()->setTime(19950);
        p1()->advance(100);
        m_clock->advance(5000);
        QVERIFY(p1()->path->contains("motion_"));
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
    }

    void aPauseNearTheEndIsNotTheEnd() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        const int64_t row = m_playback->mediaIndex();
        p1()->setTime(19500); // 97.5 %
        m_playback->clickPlayButton();
        deliver();
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        QVERIFY(!m_playback->playInfo()->isPlaying());
        m_clock->advance(5000);
        QCOMPARE(m_playback->mediaIndex(), row);
        QVERIFY(!m_playback->preparingPlayNext());
    }

    void aSecondRequestWhileStartingIsRefusedAndAStopEndsTheStart() {
        m_playback->changeAndPlay(0);
        QVERIFY(m_playback->waitingForPlayStart());
        QVERIFY(!m_playback->playAtIndex(4));
        QSignalSpy started(m_playback.get(), &ZLXPlayback::started);
        QVERIFY(started.wait(10000));
        QCOMPARE(m_playback->mediaIndex(), 0);

        p1()->stuck = p2()->stuck = true;
        m_playback->changeAndPlay(2);
        QVERIFY(m_playback->waitingForPlayStart());
        m_playback->stopPlay(); // a new folder, a closed window
        QVERIFY(!m_playback->waitingForPlayStart());
        QVERIFY(!p1()->path && !p2()->path);
        p1()->stuck = p2()->stuck = false;
        // the same row starts anew: the players hold nothing to resume
        m_playback->changeAndPlay(2);
        QVERIFY(started.wait(10000));
    }

    void aRecordingThatCannotBePlayedIsToldAndTheNextOnePlays() {
        p1()->broken = true; // the front file; its rear partner is fine
        QSignalSpy failed(m_playback.get(), &ZLXPlayback::failed);
        m_playback->changeAndPlay(rowOf("alwa_20241003_081500_F.MP4"));
        QVERIFY(failed.wait(10000));
        QVERIFY(!m_playback->waitingForPlayStart());
        QVERIFY(!p2()->path); // the rear does not play on alone
        p1()->broken = false;
        start(rowOf("alwa_20241003_081520_F.MP4"));

        // failing while it plays (a read error half-way) stops it too
        p1()->report(ZLXMediaPlayer::Error);
        deliver();
        QCOMPARE(failed.count(), 2);
        QVERIFY(!m_playback->playInfo()->isPlaying());
        QVERIFY(!p2()->path);

        // a partner that cannot be played leaves the start to player 1
        p2()->broken = true;
        QSignalSpy partner(m_playback.get(), &ZLXPlayback::partnerChanged);
        start(rowOf("alwa_20241003_081500_F.MP4"));
        QCOMPARE(partner.back().front().toBool(), false);
    }

    void aStartThatNeverComesIsGivenUpWithTheLoadingIndicator() {
        p1()->stuck = p2()->stuck = true;
        QSignalSpy failed(m_playback.get(), &ZLXPlayback::failed);
        QSignalSpy hidden(m_playback.get(), &ZLXPlayback::loadingHidden);
        m_playback->changeAndPlay(0);
        QTRY_VERIFY(m_playback->waitingForPlayStart() && failed.isEmpty()); // the telemetry is read
        m_clock->advance(14700);
        QVERIFY(m_playback->waitingForPlayStart());
        QVERIFY(hidden.isEmpty());
        m_clock->advance(300);
        QVERIFY(!m_playback->waitingForPlayStart());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(hidden.count(), 1);
        QVERIFY(m_playback->loadingProgress() >= 100);
        p1()->stuck = p2()->stuck = false;
        QVERIFY(m_playback->playAtIndex(2)); // others can be started again
    }

    void jumpsAndSeeksMoveBothPlayersAndStopAtBothEnds() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        p1()->setTime(12000);
        p2()->setTime(12000);
        m_playback->jumpForward(); // 8 s left: both to the end
        QCOMPARE(p1()->time(), p1()->length);
        QCOMPARE(p2()->time(), p2()->length);

        start(rowOf("alwa_20241003_081520_F.MP4"));
        p1()->setTime(7000);
        p2()->setTime(7000);
        m_playback->jumpBackward(); // at 7 s: both to the start
        QCOMPARE(p1()->time(), 0);
        QCOMPARE(p2()->time(), 0);

        p1()->setTime(2000);
        QSignalSpy previewed(m_playback.get(), &ZLXPlayback::positionPreviewed);
        m_playback->jumpForward();
        QVERIFY(m_playback->isMoving());
        QVERIFY(qAbs(previewed.back().front().toDouble() - 0.6) < 1e-6);
        m_playback->jumpForward(); // ignored while a seek is synchronised
        QCOMPARE(p1()->time(), 12000);
        QCOMPARE(p2()->time(), 12000); // both jump, to the same time
        m_clock->advance(300);
        QVERIFY(!m_playback->isMoving());

        m_playback->videoPositionSliderMoved(0.999); // far right: both to the end
        QCOMPARE(p1()->time(), p1()->length);
        QCOMPARE(p2()->time(), p2()->length);
    }

    void framesStepOnlyWhilePausedAndStayInTheRecording() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        m_playback->stepFrame(1);
        QCOMPARE(p1()->time(), 0); // playing: no step
        m_playback->clickPlayButton();
        deliver();
        p1()->now = p2()->now = 1000; // on frame 25
        m_playback->stepFrame(1);
        QCOMPARE(p1()->time(), 1030); // a quarter frame before frame 26
        QCOMPARE(p2()->time(), 1030);
        QCOMPARE(m_playback->timeText(), QStringLiteral("00:01.040 / 00:20"));
        m_playback->stepFrame(-1000);
        QCOMPARE(p1()->time(), 0);
        // stepped while a seek lands: the steps are taken from where it landed, none lost
        m_playback->videoPositionSliderMoved(0.5);
        m_playback->stepFrame(1);
        m_playback->stepFrame(1);
        QCOMPARE(p1()->time(), 10000);
        m_clock->advance(300);
        QCOMPARE(p1()->time(), 10070); // a quarter frame before the second frame after
        QCOMPARE(p2()->time(), 10070);
    }

    void thePlayButtonAtTheEndStartsTheRecordingAgain() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        const int64_t row = m_playback->mediaIndex();
        m_playback->clickPlayButton(); // playing: pause
        deliver();
        QVERIFY(!m_playback->playInfo()->isPlaying());
        p1()->now = p1()->length;
        m_playback->playInfo()->setPosition(1.0); // the slider at the end
        QSignalSpy started(m_playback.get(), &ZLXPlayback::started);
        m_playback->clickPlayButton();
        QVERIFY(started.wait(10000));
        QCOMPARE(m_playback->mediaIndex(), row);
        QVERIFY(p1()->time() < 1000);
    }

    void anExchangeSwapsTheChannelsWhereThePairWas() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        p1()->setTime(6000);
        p2()->setTime(6000);
        QSignalSpy channels(m_playback.get(), &ZLXPlayback::channelsChanged);
        m_playback->swapPlayer();
        QVERIFY(m_playback->isSwapping());
        QVERIFY(p1()->path->endsWith("_R.MP4"));
        QVERIFY(p2()->path->endsWith("_F.MP4"));
        QCOMPARE(p1()->time(), 6000);
        QCOMPARE(p2()->time(), 6000);
        QCOMPARE(channels.back(), (QList<QVariant>{true, true}));
        QVERIFY(p1()->muted && p2()->muted);
        m_playback->swapPlayer(); // a second exchange waits for the first
        QVERIFY(p1()->path->endsWith("_R.MP4"));
        m_clock->advance(799);
        QVERIFY(m_playback->isMoving());
        m_clock->advance(1);
        QVERIFY(!m_playback->isMoving() && m_playback->isSwapping());
        m_clock->advance(900);
        QVERIFY(!m_playback->isSwapping());
        // the front channel is still the one heard, now from the small box
        QCOMPARE(m_playback->playInfo()->audioMediaDirection(), 0);
        QVERIFY(p1()->muted && !p2()->muted);
    }

    void anExchangesLaterStepsDoNotTouchTheNextRecording() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        m_playback->swapPlayer();
        start(rowOf("alwa_20241003_081520_F.MP4"));
        QVERIFY(!m_playback->isSwapping() && !m_playback->isMoving());
        p1()->setTime(5000);
        p2()->setTime(5000);
        p1()->muted = true;
        m_clock->advance(2000); // past both delayed steps of the exchange
        QCOMPARE(p1()->time(), 5000);
        QVERIFY(p1()->muted);
        QVERIFY(p1()->path->endsWith("alwa_20241003_081520_F.MP4"));
    }

    void heldChangesGoOnWhenBothPlayersAreReady() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        ZLXPlayerSync& sync = *m_playback->playerSync();
        // a seek the partner needs longer for: both stay held until it is ready
        p2()->settled = false;
        m_playback->videoPositionSliderMoved(0.5);
        QVERIFY(p1()->held && p2()->held);
        QCOMPARE(p1()->time(), 10000);
        p1()->now = 10000, p2()->now = 10120; // the partner landed three frames off
        p2()->settle();
        // it is set to the leader's frame before both go on
        QCOMPARE(p2()->time(), 10000);
        QVERIFY(!p1()->held && !p2()->held);

        // a partner that never gets ready holds the pair for 3 s, not for ever
        p1()->settled = false;
        sync.seekTogether(4000);
        m_clock->advance(2999);
        QVERIFY(p1()->held);
        m_clock->advance(1);
        QVERIFY(!p1()->held && !p2()->held);

        // while playing, a small gap changes the partner's rate, a large one is a held seek
        p1()->settled = true;
        p2()->now = p1()->now + 200;
        sync.follow();
        QVERIFY(!p2()->held);
        QVERIFY(p2()->nudge < 1 && p2()->nudge >= 0.9); // ahead: a little slower
        p2()->now = p1()->now + 900;
        sync.follow();
        QCOMPARE(p2()->time(), p1()->time());

        // paused, each where its own pause reached it: the partner is brought to the leader's
        // picture, while a frame apart is left alone when playing
        deliver();
        p2()->now = p1()->now + 40;
        sync.align();
        QCOMPARE(p2()->time(), p1()->time() + 40);
        m_playback->clickPlayButton();
        deliver();
        p2()->now = p1()->now + 40;
        m_clock->advance(199);
        QCOMPARE(p2()->time(), p1()->time() + 40);
        m_clock->advance(1);
        QCOMPARE(p2()->time(), p1()->time());
        QVERIFY(!p1()->held && !p2()->held);
    }

    void volumeAndRateStayInBounds() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        for (int i = 0; i < 20; ++i)
            m_playback->volumeUp();
        QCOMPARE(m_playback->volume(), uint64_t(200));
        QCOMPARE(p1()->playerVolume, 200);
        for (int i = 0; i < 25; ++i)
            m_playback->volumeDown();
        QCOMPARE(m_playback->volume(), uint64_t(0));
        m_playback->increaseSpeed();
        m_playback->increaseSpeed();
        QCOMPARE(m_playback->playInfo()->speed(), 2.0);
        QCOMPARE(p1()->playerRate, 2.0f);
        m_playback->decreaseSpeed();
        m_playback->decreaseSpeed();
        QCOMPARE(m_playback->playInfo()->speed(), 1.0);
        QCOMPARE(p2()->playerRate, 1.0f);
        // the scale is the picture's height against the view's
        m_playback->setVideoViewHeight(540);
        QCOMPARE(m_playback->playInfo()->scale(), 1.5);
    }

    void playingAtATimeSeeksTheLoadedRecordingOrStartsTheOtherThere() {
        const auto path = [&](const char* name) { return m_list.mediaAtIndex(rowOf(name))->path(); };
        start(rowOf("alwa_20241003_081500_F.MP4"));
        // the loaded one, by either of its channels: a seek, short of the very end
        QVERIFY(m_playback->playAt(path("alwa_20241003_081500_R.MP4"), 5));
        QCOMPARE(p1()->time(), 5000);
        m_clock->advance(300);
        QVERIFY(m_playback->playAt(path("alwa_20241003_081500_F.MP4"), 60));
        QCOMPARE(p1()->time(), qint64(0.997 * 20000));
        m_clock->advance(300);

        // another: it starts, then goes to the time asked for
        QSignalSpy started(m_playback.get(), &ZLXPlayback::started);
        QVERIFY(m_playback->playAt(path("alwa_20241003_081520_F.MP4"), 8));
        QVERIFY(started.wait(10000));
        QVERIFY(p1()->path->endsWith("alwa_20241003_081520_F.MP4"));
        QCOMPARE(p1()->time(), 8000);
        QCOMPARE(p2()->time(), 8000);
        m_clock->advance(300);

        // a seek waiting for a start is dropped when something else is started instead
        p1()->stuck = p2()->stuck = true;
        QVERIFY(m_playback->playAt(path("alwa_20241003_081540_F.MP4"), 8));
        QTRY_VERIFY(m_playback->waitingForPlayStart());
        m_playback->stopPlay();
        p1()->stuck = p2()->stuck = false;
        start(rowOf("event_20241003_081600_F.MP4"));
        QCOMPARE(p1()->time(), 0);
        QVERIFY(!m_playback->playAt("/no/such/recording.MP4", 3));
    }

    // A click on an impact, once or twice, before or after the start, with the length known
    // at once or only later: it always lands where asked, and playback goes on as usual.
    void aSeekAskedForDuringAStartLandsWhereAskedEveryTime() {
        const std::string target = m_list.mediaAtIndex(rowOf("alwa_20241003_081520_F.MP4"))->path();
        for (int variant = 0; variant < 8; ++variant) {
            const bool lateLength = variant & 1, secondBeforeStart = variant & 2, secondAfterStart = variant & 4;
            m_playback->stopPlay();
            start(rowOf("alwa_20241003_081500_F.MP4"));
            p1()->lengthKnown = p2()->lengthKnown = !lateLength;
            QSignalSpy started(m_playback.get(), &ZLXPlayback::started);
            QVERIFY(m_playback->playAt(target, 6));
            if (secondBeforeStart)
                QVERIFY(m_playback->playAt(target, 6));
            QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 10000);
            if (secondAfterStart)
                QVERIFY(m_playback->playAt(target, 6));
            p1()->lengthKnown = p2()->lengthKnown = true;
            p2()->advance(40);
            p1()->advance(40); // player 1's first time notification, with the length
            QCoreApplication::processEvents();
            QVERIFY2(qAbs(p1()->time() - 6000) <= 40, qPrintable(QStringLiteral("variant %1: %2").arg(variant).arg(p1()->time())));
            QCOMPARE(p2()->time(), p1()->time());
            m_clock->advance(300);
            QVERIFY(!m_playback->isMoving());
            // and it goes on: the published position follows the players
            QSignalSpy published(m_playback.get(), &ZLXPlayback::positionChanged);
            for (int i = 0; i < 3; ++i) {
                p1()->advance(500);
                p2()->advance(500);
            }
            QVERIFY(!published.isEmpty());
            // (not held at the seek's own position, 0.3)
            QVERIFY2(published.back().front().toDouble() >= 6500.0 / 20000 - 1e-6, qPrintable(QString::number(variant)));
        }
    }
};

QTEST_GUILESS_MAIN(PlaybackTest)
#include "tst_playback.moc"
