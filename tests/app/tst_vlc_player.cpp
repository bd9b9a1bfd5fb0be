// SPDX-License-Identifier: GPL-3.0-or-later
// The libVLC player with dummy outputs on a short recording made by ffmpeg.
#include "../support/MediaFixtures.h"
#include "../support/QtTestMain.h"
#include "ZLXRecordingWriter.h"
#include "ZLXVlcMediaPlayer.h"

#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

using namespace daxo;

class VlcPlayerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_front; // 4 s with sound
    QString m_silent;

    static void startAndWaitForPlaying(ZLXVlcMediaPlayer& player) {
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), ZLXMediaPlayer::Playing, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(player.time() > 0, 15000);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_front = m_dir.filePath("alwa_20240101_120000_F.mp4");
        m_silent = m_dir.filePath("clip_R.MP4");
        QString error = test::makeTestMp4(m_front, 4);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        error = test::makeTestMp4(m_silent, 2, false);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(ZLXVlcLibrary::sharedLibrary(), "libVLC could not be initialised");
        QVERIFY(!ZLXVlcLibrary::drawsIntoWindows()); // offscreen: decoded, not drawn
    }

    void playsAndReportsOnTheInterfaceThread() {
        ZLXVlcMediaPlayer player;
        QVERIFY(!player.hasMedia());
        QCOMPARE(player.remainingTimeString(), QStringLiteral("--:--"));
        int offThread = 0;
        QList<ZLXMediaPlayer::State> states;
        connect(&player, &ZLXMediaPlayer::mediaPlayerStateChanged, this, [&](ZLXMediaPlayer* p) {
            offThread += QThread::currentThread() != qApp->thread();
            states << p->state();
        });
        QSignalSpy times(&player, &ZLXMediaPlayer::mediaPlayerTimeChanged);
        connect(&player, &ZLXMediaPlayer::mediaPlayerTimeChanged, this,
                [&] { offThread += QThread::currentThread() != qApp->thread(); });

        player.setMedia(m_front);
        QCOMPARE(player.mediaPath(), m_front);
        QCOMPARE(player.mediaDirection(), ZLXMediaDirection::Front);
        startAndWaitForPlaying(player);
        QTRY_VERIFY(times.count() >= 3);
        QVERIFY(states.contains(ZLXMediaPlayer::Playing));
        QCOMPARE(offThread, 0);
        QVERIFY(player.isPlaying());
        QVERIFY(qAbs(player.mediaLength() - 4000) <= 100);
        QVERIFY(player.remainingTime() < 0);
        QVERIFY(player.remainingTimeString().startsWith('-'));
        QTRY_VERIFY(player.hasVideoOut());
        QCOMPARE(player.videoSize(), QSize(320, 240));
        QCOMPARE(player.audioTrackIndexes().size(), 1);

        player.pause();
        QTRY_COMPARE(player.state(), ZLXMediaPlayer::Paused);
        QVERIFY(!player.isPlaying());
    }

    void seeksByPositionAndByTimeAndChangesRate() {
        ZLXVlcMediaPlayer player;
        player.setMedia(m_front);
        startAndWaitForPlaying(player);
        player.pause();
        QTRY_COMPARE(player.state(), ZLXMediaPlayer::Paused);

        player.setPosition(0.5f);
        QTRY_VERIFY2(qAbs(player.position() - 0.5f) < 0.05f, qPrintable(QString::number(player.position())));
        player.setTime(1000);
        QTRY_VERIFY2(qAbs(player.time() - 1000) < 150, qPrintable(QString::number(player.time())));
        player.jumpForward(2);
        QTRY_VERIFY2(qAbs(player.time() - 3000) < 150, qPrintable(QString::number(player.time())));
        player.jumpBackward(10); // not before the start
        QTRY_VERIFY(player.time() < 150);

        player.setRate(2.0f);
        QCOMPARE(player.rate(), 2.0f);
        player.setRate(1.0f);
        QCOMPARE(player.rate(), 1.0f);

        player.setVolume(250);
        QCOMPARE(player.volume(), 200);
        player.setVolume(-5);
        QCOMPARE(player.volume(), 0);
    }

    void silentRecordingHasNoAudioTrack() {
        ZLXVlcMediaPlayer player;
        player.setMedia(m_silent);
        QCOMPARE(player.mediaDirection(), ZLXMediaDirection::Rear);
        startAndWaitForPlaying(player);
        QVERIFY(player.audioTrackIndexes().isEmpty());
    }

    void snapshotIsAJpegAtTheVideosOwnSize() {
        ZLXVlcMediaPlayer player;
        player.setMedia(m_front);
        startAndWaitForPlaying(player);
        QTRY_VERIFY(player.hasVideoOut());
        const QString file = m_dir.filePath("capture.jpg");
        QVERIFY(player.saveVideoSnapshotAt(file, 0, 0));
        QImageReader reader(file);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), QSize(320, 240));
    }

    void theEndIsPausedAtOneWithNothingRemaining() {
        ZLXVlcMediaPlayer player;
        player.setMedia(m_silent);
        QSignalSpy states(&player, &ZLXMediaPlayer::mediaPlayerStateChanged);
        startAndWaitForPlaying(player);
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == ZLXMediaPlayer::Paused && player.position() == 1.0f, 15000);
        QCOMPARE(player.state(), 6);
        QCOMPARE(player.remainingTimeString(), QStringLiteral("00:00"));
        QVERIFY(!player.isPlaying());
        QCOMPARE(player.time(), player.mediaLength());

        // a seek at the end is kept until the recording plays again
        player.setPosition(0.0f);
        QCOMPARE(player.position(), 0.0f);
        startAndWaitForPlaying(player);
        QVERIFY(player.position() < 0.9f);
        QVERIFY(player.isPlaying());
    }

    void cameraLayoutRecordingsPlayToTheirEnd() {
        // The camera's layout (media moved, a telemetry text track fifth in moov) plays like
        // the original, to its last frame, with its sound.
        const QString input = m_dir.filePath("plain.mp4");
        QString error = test::makeTestMp4(input, 3);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        tools::WriterOptions options;
        options.telemetry = std::vector<tools::TelemetryRecord>(15);
        for (auto& record : *options.telemetry)
            record.text = "$GNRMC,120000.000,A,,,,,010.0,0.0,010124,,,A*00\r\n";
        const QString camera = m_dir.filePath("alwa_20240101_120000_F.MP4");
        const auto written = tools::writeRecording(input.toStdString(), camera.toStdString(), options);
        QVERIFY2(written.ok, written.error.c_str());

        ZLXVlcMediaPlayer player;
        qint64 lastTime = 0;
        connect(&player, &ZLXMediaPlayer::mediaPlayerTimeChanged, this, [&](ZLXMediaPlayer* p) {
            if (p->state() == ZLXMediaPlayer::Playing)
                lastTime = std::max(lastTime, p->time());
        });
        player.setMedia(camera);
        startAndWaitForPlaying(player);
        QCOMPARE(player.audioTrackIndexes().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == ZLXMediaPlayer::Paused && player.position() == 1.0f, 15000);
        QVERIFY(qAbs(player.mediaLength() - 3000) <= 100);
        QVERIFY2(lastTime >= player.mediaLength() - 600, qPrintable(QString::number(lastTime)));
    }

    void noMediaEmptiesThePlayer() {
        ZLXVlcMediaPlayer player;
        player.setMedia(m_front);
        startAndWaitForPlaying(player);
        player.setMedia(std::nullopt);
        QVERIFY(!player.hasMedia());
        QCOMPARE(player.state(), ZLXMediaPlayer::Stopped);
        QVERIFY(!player.isPlaying());
        QCOMPARE(player.position(), 0.0f);
        QCOMPARE(player.mediaDirection(), ZLXMediaDirection::Unknown);
        QTest::qWait(300); // late reports of the old media change nothing
        QCOMPARE(player.state(), ZLXMediaPlayer::Stopped);
    }
};

DAXO_QTEST_MAIN(VlcPlayerTest)
#include "tst_vlc_player.moc"
