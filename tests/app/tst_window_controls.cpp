// SPDX-License-Identifier: GPL-3.0-or-later
// The main window over scripted players: what it shows of the playback, and its controls,
// keys and sizes. The clock is stepped, never waited for.
#include "../support/MediaRows.h"
#include "../support/QtTestMain.h"
#include "../support/ScriptedPlayer.h"
#include "../support/StepClock.h"
#include "../support/Viewer.h"
#include "app/player/ZLXVideoView.h"
#include "widgets/PMProgressIndicator.h"
#include "widgets/TKPartImages.h"
#include "ui_MainMenu.h"

#include <QMenuBar>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>

using namespace daxo;
using daxo::test::ScriptedPlayer;

class WindowControlsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_card;
    test::StepClock m_clock;
    std::unique_ptr<ZLXViewer> m_viewer;
    ZLXAppDelegate* m_window = nullptr;

    const Ui::MainMenu& ui() const { return m_window->ui(); }
    ZLXPlayback& playback() const { return m_viewer->playback(); }
    ScriptedPlayer* p1() const { return static_cast<ScriptedPlayer*>(playback().player1()); }
    ScriptedPlayer* p2() const { return static_cast<ScriptedPlayer*>(playback().player2()); }
    int rowOf(const QString& fileName) const { return test::rowOfFile(m_viewer->mediaList(), fileName); }
    bool shown(const QWidget* w) const { return w->isVisibleTo(m_window->window()); }
    void start(int row) {
        QSignalSpy started(&playback(), &ZLXPlayback::started);
        m_window->changeAndPlay(row);
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
        m_window = test::makeViewer(
            m_viewer, [](ZLXVideoView*) { return std::make_unique<ScriptedPlayer>(); }, m_clock);
        QSettings settings;
        m_window->applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(m_window, &ZLXAppDelegate::mediaListReloaded);
        m_window->openMediaDirectory(m_card);
        QVERIFY(reloaded.wait(10000));
    }
    void cleanup() { m_viewer.reset(); }

    void aStartChoosesItsRowAndShowsBothPicturesAndTheTelemetry() {
        const int row = rowOf("alwa_20241003_081500_F.MP4");
        m_window->changeAndPlay(row);
        QVERIFY(shown(ui().progressIndicator));
        QSignalSpy started(&playback(), &ZLXPlayback::started);
        QVERIFY(started.wait(10000));
        QCOMPARE(ui().mediaListTableView->selectionModel()->selectedRows().front().row(), row);
        QVERIFY(shown(m_window->video2View()));
        QVERIFY(shown(ui().audioToggleButton));
        QCOMPARE(ui().audioToggleButton->text(), qtTrId("audio.front"));
        QCOMPARE(ui().player1BackgroundView->logoName(), QStringLiteral("v1_front_logo"));
        QVERIFY(m_window->headPlayingText().endsWith(qtTrId("head.front")));
        for (int i = 0; i < 4; ++i) {
            p1()->advance(500);
            p2()->advance(500);
        }
        m_clock.advance(300); // the indicator's next tick ends it
        QVERIFY(!shown(ui().progressIndicator));
        QVERIFY(ui().gsensorXField->text().startsWith("X="));
        QVERIFY(ui().speedField->text().endsWith(" Km/h"));
        QCOMPARE(ui().videoPositionSlider->value(), 100); // the 4th notification published 2 s of 20
        QCOMPARE(m_window->timeText(), playback().timeText());

        // exchanged: the rear large, its logo and the head say so
        playback().swapPlayer();
        QCOMPARE(ui().player1BackgroundView->logoName(), QStringLiteral("v1_rear_logo"));
        QCOMPARE(ui().player2BackgroundView->logoName(), QStringLiteral("v2_front_logo"));
        QTRY_VERIFY(m_window->headPlayingText().endsWith(qtTrId("head.rear")));
    }

    void aLoneRecordingHidesThePartnerAndShowsNoFigures() {
        start(rowOf("motion_20241003_120210_R.MP4"));
        QVERIFY(m_window->video2View()->isHidden());
        QVERIFY(ui().audioToggleButton->isHidden());
        p1()->advance(100);
        QCOMPARE(ui().speedField->text(), QStringLiteral("- Km/h"));
        QCOMPARE(ui().hdopField->text(), QStringLiteral("-.-"));
        QCOMPARE(ui().sateliteField->text(), QStringLiteral("-"));
    }

    void aFailureIsToldOnThePictureUntilTheNextStart() {
        p1()->stuck = p2()->stuck = true;
        m_window->changeAndPlay(rowOf("alwa_20241003_081500_F.MP4"));
        QTRY_VERIFY(playback().waitingForPlayStart() && playback().loadingProgress() == 0);
        m_clock.advance(15000); // the start never comes
        QVERIFY(!shown(ui().progressIndicator));
        QCOMPARE(ui().player1BackgroundView->message(), qtTrId("player.cannot_play"));
        p1()->stuck = p2()->stuck = false;
        start(rowOf("alwa_20241003_081520_F.MP4"));
        QVERIFY(ui().player1BackgroundView->message().isEmpty());
    }

    void slidersActOnClicksAndKeysAndNeverDragTheWindow() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        QSlider* position = ui().videoPositionSlider;
        QSlider* volume = ui().volumeSlider;
        // a click on the groove at three quarters seeks both players there
        QTest::mouseClick(position, Qt::LeftButton, {}, QPoint(position->width() * 3 / 4, position->height() / 2));
        QVERIFY2(qAbs(p1()->time() - 15000) < 800, qPrintable(QString::number(p1()->time())));
        QCOMPARE(p2()->time(), p1()->time());
        m_clock.advance(300);
        // a key on the focused slider seeks too
        QTest::keyClick(position, Qt::Key_Home);
        QCOMPARE(p1()->time(), 0);
        m_clock.advance(300);
        // a click on the volume's groove sets the volume
        QTest::mouseClick(volume, Qt::LeftButton, {}, QPoint(volume->width() - 3, volume->height() / 2));
        QVERIFY(playback().volume() > 180);
        QCOMPARE(p1()->playerVolume, int(playback().volume()));
        // a press and drag along a groove moves the handle, not the window
        const QPoint before = m_window->window()->pos();
        QTest::mousePress(position, Qt::LeftButton, {}, QPoint(20, position->height() / 2));
        QTest::mouseMove(position, QPoint(120, position->height() / 2));
        QTest::mouseRelease(position, Qt::LeftButton, {}, QPoint(120, position->height() / 2));
        QCOMPARE(m_window->window()->pos(), before);
    }

    void theFocusedTableKeepsItsKeysAndThePlaybackKeysStillWork() {
        start(0);
        QTableView* table = ui().mediaListTableView;
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentIndex().row(), 1);
        QCOMPARE(playback().volume(), uint64_t(70)); // not the volume shortcut
        // the table had the focus since the double-click: Right jumps, Space pauses
        QTest::keyClick(table, Qt::Key_Right);
        QCOMPARE(p1()->time(), 10000);
        QCOMPARE(table->currentIndex().row(), 1);
        m_clock.advance(300);
        QTest::keyClick(table, Qt::Key_Space);
        QCoreApplication::processEvents();
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        QTest::keyClick(table, Qt::Key_Space);
        QCoreApplication::processEvents();
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Playing);
        QTest::keyClick(table, Qt::Key_Down);
        QSignalSpy started(&playback(), &ZLXPlayback::started);
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(started.wait(10000));
        QCOMPARE(playback().mediaIndex(), 2);
        // elsewhere the playback keys work
        ui().playButton->setFocus();
        QTest::keyClick(ui().playButton, Qt::Key_Up);
        QCOMPARE(playback().volume(), uint64_t(80));

        // after a click on a side button the keys still act on playback
        table->setFocus();
        QTest::mouseClick(ui().informationButtonImageView, Qt::LeftButton);
        QVERIFY(!ui().mediaListTableView->hasFocus());
        QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : m_window->window();
        QTest::keyClick(focused, Qt::Key_Space);
        QCoreApplication::processEvents();
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        QTest::mouseClick(ui().tripButtonImageView, Qt::LeftButton);
        focused = QApplication::focusWidget() ? QApplication::focusWidget() : m_window->window();
        QTest::keyClick(focused, Qt::Key_Space);
        QCoreApplication::processEvents();
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Playing);
    }

    void fullScreenShowsOnlyTheVideoAndKeepsItsKeys() {
        start(rowOf("alwa_20241003_081500_F.MP4"));
        CustomWindow* window = m_window->window();
        m_window->toggleFullScreen();
        QVERIFY(!window->menuBar()->isVisible());
        QTest::keyClick(window, Qt::Key_Space); // the menu's shortcut, with the menu bar hidden
        QCoreApplication::processEvents();
        QCOMPARE(p1()->state(), ZLXMediaPlayer::Paused);
        // a drag on the full-screen slider is not pulled back by the published position
        QSlider* slider = ui().videoPositionSliderForFullScreen;
        slider->setSliderDown(true);
        slider->setValue(800);
        playback().playInfo()->setPosition(0.1);
        QCOMPARE(slider->value(), 800);
        slider->setSliderDown(false);
        QVERIFY(!ui().headBox->isVisible() && !ui().bodyRightBox->isVisible());
        // Escape leaves full screen and returns to the launch frame
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isFullScreen());
        QCOMPARE(window->geometry(), window->initialFrame());
        QVERIFY(window->menuBar()->isVisible());
    }

    void backFromTheMapThePlayingRowIsStillChosen() {
        start(8);
        m_window->clickMapViewButton();
        m_window->clickMediaListViewButton();
        QTableView* table = ui().mediaListTableView;
        table->setFocus();
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.front().row(), 8);
        QCOMPARE(table->currentIndex().row(), 8);
    }

    void sizeStepsStayOnTheScreenAndTheScaleFollowsTheWindow() {
        QCOMPARE(ui().sizeTextButton->text(), QStringLiteral("-.--x")); // no picture yet
        start(rowOf("alwa_20241003_081500_F.MP4"));
        playback().increaseSpeed();
        QCOMPARE(ui().speedTextButton->text(), QStringLiteral("2.0x"));
        CustomWindow* window = m_window->window();
        const QSize launch = window->size();
        m_window->sizeDown(); // never below the minimum
        QCOMPARE(window->size(), QSize(1020, 640));
        m_window->sizeUp();
        QCOMPARE(window->size(), launch + QSize(204, 128));
        // the picture's scale follows its box once the window has laid it out again
        QTRY_COMPARE(playback().playInfo()->scale(), double(ui().videoContainerView->height()) / 360);
        QVERIFY(ui().videoContainerView->height() > 400);
        // a step past the screen becomes full screen; a step down returns to the size before
        QRect before;
        for (int step = 0; step < 5 && !window->isFullScreen(); ++step) {
            before = window->geometry();
            m_window->sizeUp();
        }
        QVERIFY(window->isFullScreen());
        QVERIFY(before.size() != launch);
        m_window->sizeDown();
        QVERIFY(!window->isFullScreen());
        QCOMPARE(window->geometry(), before);
        QTRY_COMPARE(ui().sizeTextButton->text(), QString::asprintf("%.2fx", double(ui().videoContainerView->height()) / 360));
        // paused, the size steps work as well
        m_window->clickPlayButton();
        QCoreApplication::processEvents();
        QVERIFY(!playback().playInfo()->isPlaying());
        m_window->sizeDown();
        QCOMPARE(window->size(), before.size() - QSize(204, 128));
        QTRY_COMPARE(ui().sizeTextButton->text(), QString::asprintf("%.2fx", double(ui().videoContainerView->height()) / 360));
        m_window->clickPlayButton();
        // starting another recording leaves full screen
        m_window->toggleFullScreen();
        QVERIFY(window->isFullScreen());
        start(rowOf("alwa_20241003_081520_F.MP4"));
        QVERIFY(!window->isFullScreen());
        // and the size text tells the picture's scale in the window as it is now
        QCOMPARE(playback().playInfo()->scale(), double(ui().videoContainerView->height()) / 360);
        QCOMPARE(ui().sizeTextButton->text(), QString::asprintf("%.2fx", playback().playInfo()->scale()));
    }
};

DAXO_QTEST_MAIN(WindowControlsTest)
#include "tst_window_controls.moc"
