// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer end to end on the demo card with libmpv, offscreen or in a real window under an
// X server (then a screenshot of it is kept in the build folder).
#include "../support/FrameNumber.h"
#include "../support/Settled.h"
#include "../support/Viewer.h"
#include "../support/MapPage.h"
#include "../support/MediaRows.h"
#include "../support/QtTestMain.h"
#include "app/ZLXAppDelegate.h"
#include "app/ZLXLanguage.h"
#include "app/map/ZLXMapWebView.h"
#include "app/ZLXMediaTableModel.h"
#include "app/player/ZLXMpvMediaPlayer.h"
#include "app/player/ZLXVideoView.h"
#include "config/ZLXSettingController.h"
#include "library/ZLXLog.h"
#include "card/ZLXVolumes.h"
#include <QAction>
#include "ui_MainMenu.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <sys/stat.h>

using namespace daxo;

class ViewerEndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_card;
    std::unique_ptr<ZLXViewer> m_viewerObject;
    ZLXAppDelegate* m_controller = nullptr;

    int rowOf(const QString& fileName) const { return test::rowOfFile(m_controller->mediaList(), fileName); }
    QVariant evaluate(const QString& script) { return test::evaluate(*m_controller->mapWebView(), script); }

    // Grabs the window from the screen, keeps the picture at `path` and checks that each
    // visible video box shows a picture there, not an empty or stale box.
    void expectBothPicturesOnScreen(const QString& path) {
        CustomWindow* window = m_controller->window();
        const QRect frame = window->frameGeometry();
        const QImage shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
        QVERIFY(shot.save(path));
        for (QWidget* view : {static_cast<QWidget*>(m_controller->video1View()), static_cast<QWidget*>(m_controller->video2View())}) {
            if (!view->isVisible())
                continue;
            QCOMPARE(view->size(), view->parentWidget()->size()); // the surface fills its box
            const QRect area(view->mapTo(window, QPoint(0, 0)) + (window->geometry().topLeft() - frame.topLeft()), view->size());
            QSet<QRgb> colours;
            for (int y = area.top(); y < area.bottom(); y += 5)
                for (int x = area.left(); x < area.right(); x += 5)
                    colours.insert(shot.pixel(std::clamp(x, 0, shot.width() - 1), std::clamp(y, 0, shot.height() - 1)));
            QVERIFY2(colours.size() > 20, qPrintable(view->objectName() + ": " + QString::number(colours.size())));
        }
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        installStringTable(*qApp, QStringLiteral("en"));
        // The OpenGL output is checked on whatever OpenGL the X server offers.
        if (qEnvironmentVariable("DAXO_TEST_VIDEO_OUTPUT") == QLatin1String("gl"))
            requestVideoOutput(ZLXVideoOutput::OpenGL);
        m_card = m_dir.filePath("card");
        QProcess make;
        make.start(DAXO_DEMO_CARD_TOOL, {m_card});
        QVERIFY(make.waitForFinished(120000) && make.exitCode() == 0);
        // A damaged card: a front file cut short (its index lost, as after a power cut) with a
        // good rear, an empty file, and a FIFO of a recording's name.
        QFile front(m_card + "/alwa_20241003_081500_F.MP4");
        QVERIFY(front.open(QIODevice::ReadOnly));
        QFile cut(m_card + "/alwa_20241003_090000_F.MP4");
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(front.read(front.size() / 2));
        cut.close();
        QVERIFY(QFile::copy(m_card + "/alwa_20241003_081500_R.MP4", m_card + "/alwa_20241003_090000_R.MP4"));
        QFile empty(m_card + "/alwa_20241003_090100_F.MP4");
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QCOMPARE(mkfifo(QFile::encodeName(m_card + "/alwa_20241003_090200_F.MP4").constData(), 0600), 0);
        m_controller = test::makeViewer(m_viewerObject);
        QSettings settings;
        m_controller->applicationDidFinishLaunching(settings);
        QVERIFY(QTest::qWaitForWindowExposed(m_controller->window()));
        QSignalSpy reloaded(m_controller, &ZLXAppDelegate::mediaListReloaded);
        m_controller->openMediaDirectory(m_card);
        QVERIFY(reloaded.wait(10000));
        m_controller->clickMapViewButton();
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->mapWebView()->isPageLoaded(), 30000);
        m_controller->clickMediaListViewButton();
        if (qEnvironmentVariableIsSet("DAXO_TEST_VIDEO_OUTPUT"))
            QCOMPARE(m_controller->video1View()->output(), ZLXVideoOutput::OpenGL);
    }
    void cleanupTestCase() { (m_viewerObject.reset(), m_controller = nullptr); }

    void doubleClickPlaysFrontLargeWithLiveTelemetry() {
        const int row = rowOf("alwa_20241003_081500_F.MP4");
        QElapsedTimer clock;
        clock.start();
        qint64 first1 = -1, first2 = -1;
        auto* p1 = m_controller->playback()->player1();
        auto* p2 = m_controller->playback()->player2();
        auto c1 = connect(p1, &ZLXMediaPlayer::mediaPlayerTimeChanged, this, [&] { if (first1 < 0) first1 = clock.elapsed(); });
        auto c2 = connect(p2, &ZLXMediaPlayer::mediaPlayerTimeChanged, this, [&] { if (first2 < 0) first2 = clock.elapsed(); });
        const QModelIndex index = m_controller->mediaTableModel()->index(row, 3);
        emit m_controller->ui().mediaListTableView->doubleClicked(index);
        QTRY_VERIFY_WITH_TIMEOUT(first1 >= 0 && first2 >= 0, 15000);
        disconnect(c1);
        disconnect(c2);
        qInfo("double-click to first time notification: player 1 %lld ms, player 2 %lld ms", first1, first2);
        QVERIFY(p1->mediaPath()->endsWith("alwa_20241003_081500_F.MP4"));
        QVERIFY(p2->mediaPath()->endsWith("alwa_20241003_081500_R.MP4"));
        // the head strip: the card, its recordings, and what plays
        QCOMPARE(m_controller->headFolderText(), QStringLiteral("card  —  12 recordings"));
        QTRY_COMPARE(m_controller->headPlayingText(), QStringLiteral("2024-10-03  08:15:00  ·  Normal  ·  Front camera"));
        QTRY_COMPARE(m_controller->ui().audioToggleButton->text(), QStringLiteral("Sound: front"));

        QTRY_VERIFY_WITH_TIMEOUT(m_controller->playback()->playInfo()->position() > 0.05, 10000);
        // the size text tells the picture's scale in its box, as the window has laid it out
        QCOMPARE(m_controller->playback()->playInfo()->scale(),
                 double(m_controller->ui().videoContainerView->height()) / p1->videoSize().height());
        QVERIFY(m_controller->ui().gsensorXField->text().startsWith("X="));
        QVERIFY(m_controller->ui().speedField->text().endsWith("Km/h"));
        QVERIFY(m_controller->ui().speedField->text() != QStringLiteral("- Km/h"));
        QVERIFY(!m_controller->ui().hdopField->text().isEmpty());
        QVERIFY(!m_controller->ui().sateliteField->text().isEmpty());
        // the map page follows: the marker stands in Seoul
        QTRY_VERIFY_WITH_TIMEOUT(evaluate("markerLatLng()").toList().size() == 2, 5000);
        const QVariantList marker = evaluate("markerLatLng()").toList();
        QVERIFY(qAbs(marker[0].toDouble() - 37.567) < 0.01);
        QVERIFY(qAbs(marker[1].toDouble() - 126.978) < 0.01);

        // the two players stay together
        qint64 drift = 0;
        for (int i = 0; i < 20; ++i) {
            QTest::qWait(100);
            drift = std::max(drift, qAbs(p1->time() - p2->time()));
        }
        qInfo("largest drift over 2 s: %lld ms", drift);
        QVERIFY2(drift <= 45, "the two players are more than a frame apart");

        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
            const QString path = qEnvironmentVariable("DAXO_SCREENSHOT");
            CustomWindow* window = m_controller->window();
            QVERIFY(test::waitSettled(window));
            expectBothPicturesOnScreen(path);
            // after a resize and in full screen both surfaces are where their boxes are
            window->setGeometry(QRect(QPoint(20, 10), QSize(1200, 740)));
            QVERIFY(test::waitSettled(window, [&] { return window->geometry().size() == QSize(1200, 740); }));
            expectBothPicturesOnScreen(QString(path).replace(".png", "-resized.png"));
            m_controller->toggleFullScreen();
            QVERIFY(test::waitSettled(window, [&] { return window->isFullScreen(); }));
            expectBothPicturesOnScreen(QString(path).replace(".png", "-fullscreen.png"));
            m_controller->toggleFullScreen();
            QVERIFY(test::waitSettled(window, [&] { return !window->isFullScreen(); }));
            // the map beside the video, the car on it
            m_controller->clickMapViewButton();
            QVERIFY(test::waitSettled(window, [&] { return evaluate("markerLatLng()").toList().size() == 2; }));
            const QRect frame = m_controller->window()->frameGeometry();
            QVERIFY(m_controller->window()->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                        .save(QString(path).replace(".png", "-map.png")));
            m_controller->clickMediaListViewButton();
        }
    }

    void damagedRecordingsFailAndTheNextRowPlays() {
        QCOMPARE(rowOf("alwa_20241003_090200_F.MP4"), -1); // the FIFO is not listed
        for (const char* name : {"alwa_20241003_090000_F.MP4", "alwa_20241003_090100_F.MP4"}) {
            QSignalSpy failed(m_controller->playback(), &ZLXPlayback::failed);
            m_controller->changeAndPlay(rowOf(name));
            QVERIFY2(failed.wait(15000), name);
            QVERIFY(!m_controller->playback()->waitingForPlayStart());
            QVERIFY(!m_controller->playback()->player2()->hasMedia()); // the good rear does not play alone
            // and why: both files were cut short (an empty file is the shortest cut)
            QCOMPARE(m_controller->ui().player1BackgroundView->message(), qtTrId("player.cut_short"));
            if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
                QVERIFY(test::waitSettled(m_controller->window()));
                const QRect frame = m_controller->window()->frameGeometry();
                m_controller->window()->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-failed.png"));
            }
        }
        // the cut front's rear is whole: offered, and played alone when taken
        auto* offer = m_controller->window()->findChild<QMessageBox*>(QStringLiteral("partnerOffer"));
        QVERIFY(offer); // (the empty file has no partner: one offer only, the first one's)
        QVERIFY(offer->informativeText().contains(QStringLiteral("rear camera")));
        QSignalSpy started(m_controller->playback(), &ZLXPlayback::started);
        QCOMPARE(m_controller->playback()->intactPartnerIndex(), std::nullopt); // the empty file's
        offer->buttons().front()->click();
        QVERIFY(started.wait(15000));
        QVERIFY(m_controller->playback()->player1()->mediaPath()->endsWith("alwa_20241003_090000_R.MP4"));
        QVERIFY(!m_controller->playback()->player2()->hasMedia() ||
                m_controller->playback()->player2()->state() == ZLXMediaPlayer::Error);
        m_controller->changeAndPlay(rowOf("alwa_20241003_081540_F.MP4"));
        QVERIFY(started.wait(15000));
    }

    void theCardsSettingsOpenFromTheFolderWithoutACard() {
        setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); });
        m_controller->window()->findChild<QAction*>("showSettingPanelAction")->trigger();
        auto* settings = qobject_cast<ZLXSettingController*>(m_controller->lastDialogController());
        QVERIFY(settings);
        QTRY_VERIFY_WITH_TIMEOUT(settings->windowTitle().endsWith(m_card + "/config.bin"), 10000);
        QVERIFY(settings->findChild<QWidget*>("videoEncodingBitrate"));
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
            QVERIFY(test::waitSettled(settings));
            settings->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-settings.png"));
        }
        settings->close();
        setVolumeSource({});
    }

    // A camera's HEVC front with its H.264 rear: hardware decoding is asked for where the
    // output can take it, and where the machine has none (as here) the software decoder plays
    // both pictures, and the log says which was used.
    void anHevcFrontPlaysWithTheDecoderLogged() {
        const QString folder = m_dir.filePath("hevc");
        QVERIFY(QDir().mkpath(folder));
        test::NumberedEncoding hevc;
        hevc.codec = QStringLiteral("libx265");
        QCOMPARE(test::makeNumberedMp4(folder + "/alwa_20241004_070000_F.MP4", 3, {320, 180}, true, hevc), QString());
        QCOMPARE(test::makeNumberedMp4(folder + "/alwa_20241004_070000_R.MP4", 3, {320, 180}, false), QString());
        QStringList logged;
        setLogObserver([&](std::string_view line) { logged << QString::fromUtf8(line.data(), qsizetype(line.size())); });
        QSignalSpy reloaded(m_controller, &ZLXAppDelegate::mediaListReloaded);
        m_controller->openMediaDirectory(folder);
        QVERIFY(reloaded.wait(10000));
        QSignalSpy started(m_controller->playback(), &ZLXPlayback::started);
        m_controller->changeAndPlay(0);
        QVERIFY(started.wait(15000));
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->video1View()->hasPicture() && m_controller->video2View()->hasPicture(), 10000);
        auto* front = qobject_cast<ZLXMpvMediaPlayer*>(m_controller->playback()->player1());
        QVERIFY(front);
        QTRY_VERIFY(!front->decoder().isEmpty());
        const bool hardware = QFile::exists(QStringLiteral("/dev/dri/renderD128")) &&
                              m_controller->video1View()->output() == ZLXVideoOutput::OpenGL;
        if (!hardware)
            QCOMPARE(front->decoder(), QStringLiteral("software"));
        QVERIFY2(logged.contains("video decoding: " + front->decoder()), qPrintable(logged.join('\n')));
        setLogObserver({});
        m_controller->stopPlay();
    }
};

DAXO_QTEST_MAIN(ViewerEndToEndTest)
#include "tst_viewer_e2e.moc"
