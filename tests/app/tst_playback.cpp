// SPDX-License-Identifier: GPL-3.0-or-later
// The playback logic against scripted players, with the event loop and its real timers.
#include "../support/MediaRows.h"
#include "../support/QtTestMain.h"
#include "ZLXAppDelegate.h"
#include "ZLXLog.h"
#include "ZLXPlayerSync.h"
#include "ZLXVideoView.h"
#include "ui_MainMenu.h"

#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QMenuBar>
#include <QSlider>
#include <QTableView>

using namespace daxo;

namespace {

// A player that does what it is told at once and reports like the real one: state changes
// and time notifications arrive queued; the end is paused at 1.0 with nothing remaining.
class ScriptedPlayer : public ZLXMediaPlayer {
public:
    std::optional<QByteArray> path;
    State playerState = Stopped;
    qint64 length = 20000, now = 0;
    float playerRate = 1;
    bool muted = false, audio = true, stuck = false, broken = false, held = false, settled = true;
    int playerVolume = 100;

    std::optional<QByteArray> mediaPath() const override { return path; }
    using ZLXMediaPlayer::setMedia;
    void setMedia(const std::optional<QByteArray>& p) override { path = p, playerState = Stopped, now = 0; }
    qint64 mediaLength() const override { return path ? length : 0; }
    void play() override {
        if (broken)
            return report(Error); // a file cut short, without its index
        if (!path || stuck)
            return;
        if (now >= length)
            now = 0;
        report(Playing);
    }
    void pause() override {
        if (path)
            report(Paused);
    }
    void stop() override { playerState = Stopped; }
    bool isPlaying() const override { return playerState == Playing; }
    bool isAtEnd() const override { return path && playerState == Paused && now >= length; }
    State state() const override { return playerState; }
    float position() const override { return path && length ? float(now) / float(length) : 0; }
    void setPosition(float p) override { now = qint64(p * float(length)); }
    qint64 time() const override { return path ? now : 0; }
    void setTime(qint64 t) override {
        now = std::clamp<qint64>(t, 0, length);
        if (now >= length && playerState == Playing)
            report(Paused);
    }
    float rate() const override { return playerRate; }
    void setRate(float r) override { playerRate = r; }
    void jumpForward(int s) override { setTime(now + s * 1000); }
    void jumpBackward(int s) override { setTime(now - s * 1000); }
    void setMute(bool m) override { muted = m; }
    bool isMuted() const override { return muted; }
    void setVolume(int v) override { playerVolume = v; }
    int volume() const override { return playerVolume; }
    QList<int> audioTrackIndexes() const override { return path && audio ? QList<int>{1} : QList<int>{}; }
    bool hasVideoOut() const override { return playerState == Playing; }
    QSize videoSize() const override { return QSize(640, 360); }
    bool saveVideoSnapshotAt(const QString&, int, int) override { return false; }
    double nudge = 1;
    void setHeld(bool h) override { held = h; }
    void setRateNudge(double f) override { nudge = f; }
    bool isSettled() const override { return settled; }
    void settle() {
        settled = true;
        emit mediaPlayerSettled(this);
    }

    // Playback moves on by `ms`; one time notification.
    void advance(qint64 ms) {
        if (playerState != Playing)
            return;
        now = std::min(now + ms, length);
        emit mediaPlayerTimeChanged(this);
        if (now >= length)
            report(Paused);
    }
    void report(State s) {
        playerState = s;
        QMetaObject::invokeMethod(this, [this] { emit mediaPlayerStateChanged(this); }, Qt::QueuedConnection);
    }
};

} // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_card;
    std::unique_ptr<ZLXAppDelegate> m_controller;
    ScriptedPlayer* m_p1 = nullptr;
    ScriptedPlayer* m_p2 = nullptr;

    ScriptedPlayer* p1() const { return static_cast<ScriptedPlayer*>(m_controller->player1()); }
    ScriptedPlayer* p2() const { return static_cast<ScriptedPlayer*>(m_controller->player2()); }
    int rowOf(const QString& fileName) const { return test::rowOfFile(m_controller->mediaList(), fileName); }
    // Starts a row and waits until both players run and the start is done.
    void start(int row) {
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        m_controller->changeAndPlay(row);
        QVERIFY(started.wait(10000));
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        m_card = m_dir.filePath("card");
        QProcess make;
        make.start(DAXO_DEMO_CARD_TOOL, {m_card});
        QVERIFY(make.waitForFinished(120000) && make.exitCode() == 0);
    }

    void init() {
        m_controller = std::make_unique<ZLXAppDelegate>([](ZLXVideoView*) { return std::make_unique<ScriptedPlayer>(); });
        QSettings settings;
        m_controller->applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(m_controller.get(), &ZLXAppDelegate::mediaListReloaded);
        m_controller->openMediaDirectory(m_card);
        QVERIFY(reloaded.wait(10000));
        QCOMPARE(m_controller->mediaList().count(), size_t(9));
    }
    void cleanup() { m_controller.reset(); }

    void frontRowPlaysFrontLargeAndRearSmallWithItsTelemetry() {
        const int row = rowOf("alwa_20241003_081500_F.MP4");
        start(row);
        QVERIFY(p1()->path->endsWith("alwa_20241003_081500_F.MP4"));
        QVERIFY(p2()->path->endsWith("alwa_20241003_081500_R.MP4"));
        QCOMPARE(m_controller->blackBoxData().m_Times.size(), size_t(100));
        QVERIFY(!m_controller->waitingForPlayStart());
        QCOMPARE(m_controller->mediaIndex(), row);
        QCOMPARE(m_controller->ui().mediaListTableView->selectionModel()->selectedRows().front().row(), row);
        QVERIFY(!m_controller->video2View()->isHidden());
        QVERIFY(m_controller->ui().audioToggleButton->isVisibleTo(m_controller->window()));
        // the front file has sound: it is heard, the rear is muted
        QCOMPARE(m_controller->playInfo()->audioMediaDirection(), 0);
        QVERIFY(!p1()->muted && p2()->muted);
        QCOMPARE(p1()->playerVolume, 70);

        // every third time notification of player 1 publishes the position
        QSignalSpy published(m_controller->playInfo(), &ZLXPlayInfo::positionChanged);
        for (int i = 0; i < 9; ++i) {
            p1()->advance(500);
            p2()->advance(500);
        }
        QCOMPARE(published.count(), 3); // the 1st, 4th and 7th
        QCOMPARE(published.back().front().toDouble(), double(3500.0f / 20000.0f));
        QVERIFY(m_controller->stopVideoLoadingView());
        // the G-sensor and GPS fields follow the published position
        QVERIFY(m_controller->ui().gsensorXField->text().startsWith("X="));
        QVERIFY(m_controller->ui().speedField->text().endsWith(" Km/h"));
        QVERIFY(!m_controller->ui().hdopField->text().isEmpty());
    }

    void rearRowPutsTheRearFileLarge() {
        start(rowOf("alwa_20241003_081520_R.MP4"));
        QVERIFY(p1()->path->endsWith("_R.MP4"));
        QVERIFY(p2()->path->endsWith("alwa_20241003_081520_F.MP4"));
        // the telemetry comes from the front file, in the small box
        QCOMPARE(m_controller->blackBoxData().m_Times.size(), size_t(100));
        QCOMPARE(m_controller->blackBoxData().m_vGpsData.front().data.unit, 'M');
        start(rowOf("motion_20241003_120210_R.MP4")); // alone: no partner, no telemetry
        QVERIFY(!p2()->path);
        QVERIFY(m_controller->video2View()->isHidden());
        QVERIFY(m_controller->ui().audioToggleButton->isHidden());
        QVERIFY(m_controller->blackBoxData().m_Times.empty());
        p1()->advance(100);
        QCOMPARE(m_controller->ui().speedField->text(), QStringLiteral("- Km/h"));
        QCOMPARE(m_controller->ui().hdopField->text(), QStringLiteral("-.-"));
        QCOMPARE(m_controller->ui().sateliteField->text(), QStringLiteral("-"));
    }

    void theEndStartsTheNextGroupOneSecondLater() {
        start(rowOf("alwa_20241003_081540_F.MP4"));
        const int64_t first = m_controller->mediaIndex();
        p1()->setTime(19900);
        p2()->setTime(19900);
        QElapsedTimer clock;
        clock.start();
        p1()->advance(100);
        p2()->advance(100);
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        QVERIFY(started.wait(5000));
        QCOMPARE(m_controller->mediaIndex(), first + 2); // the next pair, two rows on
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY(p1()->path->contains("event_"));

        // after the last group nothing more starts
        start(rowOf("motion_20241003_120210_R.MP4"));
        p1()->setTime(19950);
        p1()->advance(100);
        QTest::qWait(2600);
        QVERIFY(p1()->path->contains("motion_"));
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
    }

    void aSecondRequestWhileStartingIsRefused() {
        m_controller->changeAndPlay(0);
        QVERIFY(m_controller->waitingForPlayStart());
        QVERIFY(!m_controller->playAtIndex(4));
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        QVERIFY(started.wait(10000));
        QCOMPARE(m_controller->mediaIndex(), 0);
    }

    void aFrontThatCannotBePlayedEndsTheStartAndTheNextRowPlays() {
        p1()->broken = true; // the front file; its rear partner is fine
        QSignalSpy failed(m_controller.get(), &ZLXAppDelegate::playerFailed);
        m_controller->changeAndPlay(rowOf("alwa_20241003_081500_F.MP4"));
        QVERIFY(failed.wait(3000));
        QVERIFY(!m_controller->waitingForPlayStart());
        QVERIFY(!p2()->path); // the rear does not play on alone
        QVERIFY(!m_controller->ui().progressIndicator->isVisibleTo(m_controller->window()) ||
                m_controller->stopVideoLoadingView());
        QCOMPARE(m_controller->ui().player1BackgroundView->message(), qtTrId("player.cannot_play"));
        p1()->broken = false;
        start(rowOf("alwa_20241003_081520_F.MP4")); // the viewer is ready for the next row
        QVERIFY(m_controller->ui().player1BackgroundView->message().isEmpty());
    }

    void aFailureWhilePlayingIsToldAndStopsThePlayback() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        QVERIFY(m_controller->playInfo()->isPlaying());
        QSignalSpy failed(m_controller.get(), &ZLXAppDelegate::playerFailed);
        p1()->report(ZLXMediaPlayer::Error); // a read error half-way
        QVERIFY(failed.wait(3000));
        QVERIFY(!m_controller->playInfo()->isPlaying());
        QVERIFY(!p2()->path);
        QCOMPARE(m_controller->ui().player1BackgroundView->message(), qtTrId("player.cannot_play"));
        start(rowOf("alwa_20241003_081520_F.MP4")); // and the next row plays
    }

    void aPartnerThatCannotBePlayedLeavesTheStartToPlayer1() {
        p2()->broken = true;
        start(rowOf("alwa_20241003_081500_F.MP4"));
        QVERIFY(m_controller->video2View()->isHidden());
    }

    void choosingAFolderEndsAPendingStartAndTheSameRowPlaysAgain() {
        start(0);
        p1()->stuck = p2()->stuck = true;
        m_controller->changeAndPlay(2);
        QVERIFY(m_controller->waitingForPlayStart());
        QSignalSpy reloaded(m_controller.get(), &ZLXAppDelegate::mediaListReloaded);
        m_controller->openMediaDirectory(m_card);
        QVERIFY(!m_controller->waitingForPlayStart()); // at once, not 15 s later
        QVERIFY(reloaded.wait(10000));
        p1()->stuck = p2()->stuck = false;
        // the row of the last played index starts anew: the players hold nothing to resume
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        m_controller->changeAndPlay(int(m_controller->mediaIndex()));
        QVERIFY(started.wait(5000));
    }

    void aPauseNearTheEndIsNotTheEnd() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        const int64_t row = m_controller->mediaIndex();
        p1()->setTime(19500); // 97.5 %
        m_controller->clickPlayButton();
        QTRY_COMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        QTest::qWait(2600); // two ticks of the watch and the advance's second
        QCOMPARE(m_controller->mediaIndex(), row);
    }

    void theRearRowOfAPairAdvancesToTheNextGroup() {
        start(rowOf("alwa_20241003_081500_R.MP4"));
        p1()->setTime(19900);
        p2()->setTime(19900);
        p1()->advance(100);
        p2()->advance(100);
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        QVERIFY(started.wait(5000));
        QCOMPARE(m_controller->mediaIndex(), rowOf("alwa_20241003_081520_F.MP4"));
    }

    void anExchangesLaterStepsDoNotTouchTheNextRecording() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        m_controller->swapPlayer();
        QVERIFY(m_controller->isSwapping());
        start(rowOf("alwa_20241003_081520_F.MP4"));
        QVERIFY(!m_controller->isSwapping() && !m_controller->isMoving());
        p1()->setTime(5000);
        QTest::qWait(1900); // past both delayed steps of the exchange
        QCOMPARE(p1()->time(), 5000);
        QVERIFY(p1()->path->endsWith("alwa_20241003_081520_F.MP4"));
        QVERIFY(!m_controller->isSwapping());
    }

    void aStartThatNeverComesIsGivenUpWithTheLoadingIndicator() {
        p1()->stuck = true;
        p2()->stuck = true;
        m_controller->changeAndPlay(0);
        QVERIFY(m_controller->waitingForPlayStart());
        QVERIFY(m_controller->ui().progressIndicator->isVisibleTo(m_controller->window()));
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->waitingForPlayStart(), 17000);
        QVERIFY(m_controller->loadingProgress() >= 100);
        QVERIFY(!m_controller->ui().progressIndicator->isVisibleTo(m_controller->window()));
        p1()->stuck = p2()->stuck = false;
        QVERIFY(m_controller->playAtIndex(2)); // others can be started again
    }

    void jumpsAndSeeksNearBothEnds() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        p1()->setTime(12000);
        p2()->setTime(12000);
        m_controller->jumpForward(); // 8 s left: both to the end
        QCOMPARE(p1()->time(), p1()->length);
        QCOMPARE(p2()->time(), p2()->length);

        start(rowOf("alwa_20241003_081520_F.MP4"));
        p1()->setTime(7000);
        p2()->setTime(7000);
        m_controller->jumpBackward(); // at 7 s: both to the start
        QCOMPARE(p1()->time(), 0);
        QCOMPARE(p2()->time(), 0);

        p1()->setTime(2000);
        m_controller->jumpForward();
        QVERIFY(m_controller->isMoving());
        QCOMPARE(p1()->time(), 12000);
        m_controller->jumpForward(); // ignored while a seek is synchronised
        QCOMPARE(p1()->time(), 12000);
        QCOMPARE(p2()->time(), 12000); // both jump, to the same time
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->isMoving(), 1000);

        m_controller->videoPositionSliderMoved(0.999); // far right: both to the end
        QCOMPARE(p1()->time(), p1()->length);
        QCOMPARE(p2()->time(), p2()->length);
    }

    void playButtonAtTheEndRestarts() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        const int64_t row = m_controller->mediaIndex();
        m_controller->clickPlayButton(); // playing: pause
        QTRY_VERIFY(p1()->state() == ZLXMediaPlayer::Paused);
        QTRY_VERIFY(!m_controller->playInfo()->isPlaying());
        p1()->now = p1()->length; // at the end, slider at the end
        m_controller->ui().videoPositionSlider->setValue(1000);
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        m_controller->clickPlayButton();
        QVERIFY(started.wait(10000));
        QCOMPARE(m_controller->mediaIndex(), row);
        QVERIFY(p1()->time() < 1000);
    }

    void exchangeSwapsChannelsAndRestoresThePosition() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        p1()->setTime(6000);
        p2()->setTime(6000);
        QElapsedTimer clock;
        clock.start();
        m_controller->swapPlayer();
        QVERIFY(m_controller->isSwapping());
        QVERIFY(p1()->path->endsWith("_R.MP4"));
        QVERIFY(p2()->path->endsWith("_F.MP4"));
        // each file opens in the other player where the pair was
        QCOMPARE(p1()->time(), 6000);
        QCOMPARE(p2()->time(), 6000);
        QCOMPARE(m_controller->ui().player1BackgroundView->logoName(), QStringLiteral("v1_rear_logo"));
        QCOMPARE(m_controller->ui().player2BackgroundView->logoName(), QStringLiteral("v2_front_logo"));
        QVERIFY(p1()->muted && p2()->muted);
        m_controller->swapPlayer(); // a second exchange waits for the first
        QVERIFY(p1()->path->endsWith("_R.MP4"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->isMoving(), 1500);
        QVERIFY(clock.elapsed() >= 800);
        QVERIFY(m_controller->isSwapping());
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->isSwapping(), 1500);
        QVERIFY(clock.elapsed() >= 1700);
        // the front channel is still the one heard, now from the small box
        QCOMPARE(m_controller->playInfo()->audioMediaDirection(), 0);
        QVERIFY(p1()->muted && !p2()->muted);
    }

    void heldChangesGoOnWhenBothPlayersAreReady() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        ZLXPlayerSync& sync = *m_controller->playerSync();
        // a seek the partner needs longer for: both stay held until it is ready
        p2()->settled = false;
        m_controller->videoPositionSliderMoved(0.5);
        QVERIFY(p1()->held && p2()->held);
        QCOMPARE(p1()->time(), 10000);
        p1()->now = 10000, p2()->now = 10120; // the partner landed three frames off
        p2()->settle();
        // it is set to the leader's frame before both go on
        QCOMPARE(p2()->time(), 10000);
        QVERIFY(!p1()->held && !p2()->held);

        // a partner that never gets ready does not hold the pair for ever
        p1()->settled = false;
        sync.seekTogether(4000);
        QVERIFY(p1()->held);
        QTRY_VERIFY_WITH_TIMEOUT(!p1()->held && !p2()->held, 4000);

        // while playing, a small gap changes the partner's rate, a large one is a held seek
        p1()->settled = true;
        p2()->now = p1()->now + 200;
        sync.follow();
        QVERIFY(!p2()->held);
        QVERIFY(p2()->nudge < 1 && p2()->nudge >= 0.9); // ahead: a little slower
        p2()->now = p1()->now + 900;
        sync.follow();
        QCOMPARE(p2()->time(), p1()->time());
    }

    void slidersActOnClicksAndKeysAndNeverDragTheWindow() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        QSlider* position = m_controller->ui().videoPositionSlider;
        QSlider* volume = m_controller->ui().volumeSlider;
        // a click on the groove at three quarters seeks both players there
        QTest::mouseClick(position, Qt::LeftButton, {}, QPoint(position->width() * 3 / 4, position->height() / 2));
        QVERIFY2(qAbs(p1()->time() - 15000) < 800, qPrintable(QString::number(p1()->time())));
        QCOMPARE(p2()->time(), p1()->time());
        QTRY_VERIFY(!m_controller->isMoving());
        // a key on the focused slider seeks too
        QTest::keyClick(position, Qt::Key_Home);
        QCOMPARE(p1()->time(), 0);
        // a click on the volume's groove sets the volume
        QTest::mouseClick(volume, Qt::LeftButton, {}, QPoint(volume->width() - 3, volume->height() / 2));
        QVERIFY(m_controller->volume() > 180);
        QCOMPARE(p1()->playerVolume, int(m_controller->volume()));
        // a press and drag along a groove moves the handle, not the window
        QTRY_VERIFY(!m_controller->isMoving());
        const QPoint before = m_controller->window()->pos();
        QTest::mousePress(position, Qt::LeftButton, {}, QPoint(20, position->height() / 2));
        QTest::mouseMove(position, QPoint(120, position->height() / 2));
        QTest::mouseRelease(position, Qt::LeftButton, {}, QPoint(120, position->height() / 2));
        QCOMPARE(m_controller->window()->pos(), before);
    }

    void theFocusedTableKeepsItsKeysAndReturnPlaysTheRow() {
        start(0);
        QTableView* table = m_controller->ui().mediaListTableView;
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentIndex().row(), 1);
        QCOMPARE(m_controller->volume(), uint64_t(70)); // not the volume shortcut
        QTest::keyClick(table, Qt::Key_Space);
        QTest::qWait(50);
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Playing); // not play/pause
        QTest::keyClick(table, Qt::Key_Down);
        QSignalSpy started(m_controller.get(), &ZLXAppDelegate::playerStarted);
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(started.wait(5000));
        QCOMPARE(m_controller->mediaIndex(), 2);
        // elsewhere the playback keys work
        m_controller->ui().playButton->setFocus();
        QTest::keyClick(m_controller->ui().playButton, Qt::Key_Up);
        QCOMPARE(m_controller->volume(), uint64_t(80));
    }

    void fullScreenShowsOnlyTheVideoAndKeepsItsKeys() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        CustomWindow* window = m_controller->window();
        m_controller->toggleFullScreen();
        QVERIFY(!window->menuBar()->isVisible());
        QTest::keyClick(window, Qt::Key_Space); // the menu's shortcut, with the menu bar hidden
        QTRY_COMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        // a drag on the full-screen slider is not pulled back by the published position
        QSlider* slider = m_controller->ui().videoPositionSliderForFullScreen;
        slider->setSliderDown(true);
        slider->setValue(800);
        m_controller->playInfo()->setPosition(0.1);
        QCOMPARE(slider->value(), 800);
        slider->setSliderDown(false);
        QVERIFY(!m_controller->ui().headBox->isVisible() && !m_controller->ui().bodyRightBox->isVisible());
        // Escape leaves full screen and returns to the launch frame
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isFullScreen());
        QCOMPARE(window->geometry(), window->initialFrame());
        QVERIFY(window->menuBar()->isVisible());
    }

    void backFromTheMapThePlayingRowIsStillChosen() {
        start(8);
        m_controller->clickMapViewButton();
        m_controller->clickMediaListViewButton();
        QTableView* table = m_controller->ui().mediaListTableView;
        table->setFocus();
        QTest::qWait(50);
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.front().row(), 8);
        QCOMPARE(table->currentIndex().row(), 8);
    }

    void volumeRateAndSizeStayInBounds() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        for (int i = 0; i < 20; ++i)
            m_controller->volumeUp();
        QCOMPARE(m_controller->volume(), uint64_t(200));
        QCOMPARE(p1()->playerVolume, 200);
        for (int i = 0; i < 25; ++i)
            m_controller->volumeDown();
        QCOMPARE(m_controller->volume(), uint64_t(0));
        m_controller->increaseSpeed();
        m_controller->increaseSpeed();
        QCOMPARE(m_controller->playInfo()->speed(), 2.0);
        QCOMPARE(p1()->playerRate, 2.0f);
        QCOMPARE(m_controller->ui().speedTextButton->text(), QStringLiteral("2.0x"));
        m_controller->decreaseSpeed();
        m_controller->decreaseSpeed();
        QCOMPARE(m_controller->playInfo()->speed(), 1.0);
        QCOMPARE(p2()->playerRate, 1.0f);

        CustomWindow* window = m_controller->window();
        const QSize launch = window->size();
        m_controller->sizeDown(); // never below the minimum
        QCOMPARE(window->size(), QSize(1020, 640));
        m_controller->sizeUp();
        QCOMPARE(window->size(), launch + QSize(204, 128));
        // a step past the screen becomes full screen; a step down leaves it
        m_controller->sizeUp();
        m_controller->sizeUp();
        m_controller->sizeUp();
        QVERIFY(window->isFullScreen());
        m_controller->sizeDown();
        QVERIFY(!window->isFullScreen());
        QCOMPARE(window->geometry(), window->initialFrame());
        // starting another recording leaves full screen
        m_controller->toggleFullScreen();
        QVERIFY(window->isFullScreen());
        start(rowOf("alwa_20241003_081520_F.MP4"));
        QVERIFY(!window->isFullScreen());
        // and the size text tells the picture's scale in the window as it is now
        QCOMPARE(m_controller->playInfo()->scale(), double(m_controller->ui().videoContainerView->height()) / 360);
        QCOMPARE(m_controller->ui().sizeTextButton->text(), QString::asprintf("%.2fx", m_controller->playInfo()->scale()));
    }
};

DAXO_QTEST_MAIN(PlaybackTest)
#include "tst_playback.moc"
