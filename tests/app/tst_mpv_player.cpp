// SPDX-License-Identifier: GPL-3.0-or-later
// The libmpv player drawing in software into its surface, on recordings made by ffmpeg whose
// pictures carry their frame numbers: what the surface shows is read back from its pixels.
#include "../support/FrameNumber.h"
#include "../support/MediaFixtures.h"
#include "../support/QtTestMain.h"
#include "app/player/ZLXMpvMediaPlayer.h"
#include "tools/ZLXRecordingWriter.h"
#include "app/player/ZLXVideoView.h"

#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryFile>
#include "library/ZLXLog.h"
#include <sys/stat.h>
#include <unistd.h>
#include <QSignalSpy>
#include <fcntl.h>
#include <QTemporaryDir>
#include <QThread>

using namespace daxo;

namespace {
const ZLXMpvMediaPlayer::Options kSilent = {{"ao", "null"}};
const QSize kVideo(320, 180);
} // namespace

class MpvPlayerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_front;  // 4 s, numbered frames, with sound
    QString m_silent; // 2 s, numbered frames, no sound

    struct Surface {
        ZLXVideoView view;
        ZLXMpvMediaPlayer player{&view, kSilent};
        Surface() {
            view.resize(400, 300);
            view.show();
        }
        int frameShown() const { return test::frameNumberIn(view.currentFrame(), kVideo); }
    };

    static void startAndWaitForPlaying(ZLXMediaPlayer& player) {
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), ZLXMediaPlayer::Playing, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(player.time() > 0, 15000);
    }

    // Seeks a paused player and waits until the frame is on the surface.
    static void seekAndSettle(Surface& s, qint64 ms) {
        QSignalSpy settled(&s.player, &ZLXMediaPlayer::mediaPlayerSettled);
        s.player.setTime(ms);
        QVERIFY(!s.player.isSettled());
        QVERIFY(settled.wait(5000));
        QTRY_COMPARE_WITH_TIMEOUT(s.frameShown(), int(ms / 40), 2000);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QCOMPARE(chosenVideoOutput(), ZLXVideoOutput::Software); // offscreen: no OpenGL
        m_front = m_dir.filePath("alwa_20240101_120000_F.mp4");
        m_silent = m_dir.filePath("clip_R.MP4");
        QString error = test::makeNumberedMp4(m_front, 4);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        error = test::makeNumberedMp4(m_silent, 2, kVideo, false);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void playsIntoItsSurfaceAndReportsOnTheInterfaceThread() {
        Surface s;
        ZLXMpvMediaPlayer& player = s.player;
        QVERIFY(player.isValid());
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
        QCOMPARE(player.mediaDirection(), ZLXMediaDirection::Front);
        QVERIFY(!s.view.hasPicture()); // the logo until the first frame
        startAndWaitForPlaying(player);
        QTRY_VERIFY(times.count() >= 3);
        QVERIFY(states.contains(ZLXMediaPlayer::Playing));
        QCOMPARE(offThread, 0);
        QVERIFY(qAbs(player.mediaLength() - 4000) <= 50);
        QVERIFY(player.remainingTimeString().startsWith('-'));
        QVERIFY(player.hasVideoOut());
        QCOMPARE(player.videoSize(), kVideo);
        QCOMPARE(player.audioTrackIndexes().size(), 1);
        QCOMPARE(player.frameDuration(), 40.0);
        // the surface shows the frames as they play, at its own size
        QTRY_VERIFY(s.frameShown() > 5);
        QCOMPARE(s.view.currentFrame().size(), QSize(400, 300));

        player.pause();
        QTRY_COMPARE(player.state(), ZLXMediaPlayer::Paused);
        QVERIFY(!player.isPlaying());
        // paused, the time is the frame on the surface
        QTRY_COMPARE(s.frameShown(), int(player.time() / 40));
    }

    // A folder whose name is not UTF-8: the player opens the very bytes it was given.
    void playsAFileWhoseNameIsNotUtf8() {
        const QByteArray folder = QFile::encodeName(m_dir.path()) + "/card\xff\xfe";
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        const QByteArray file = folder + "/alwa_20240101_120000_F.mp4";
        QFile source(m_front);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
        Surface s;
        s.player.setMedia(std::optional(file));
        QCOMPARE(*s.player.mediaPath(), file);
        startAndWaitForPlaying(s.player);
        QVERIFY(qAbs(s.player.mediaLength() - 4000) <= 50);
        QTRY_VERIFY(s.frameShown() > 2);
    }

    void exactSeeksLandOnTheFrameAskedFor() {
        Surface s;
        s.player.setMedia(m_front);
        startAndWaitForPlaying(s.player);
        s.player.pause();
        QTRY_COMPARE(s.player.state(), ZLXMediaPlayer::Paused);
        // between keyframes, on a keyframe, backwards
        for (qint64 ms : {1360, 2000, 520, 3920})
            seekAndSettle(s, ms);
        QCOMPARE(s.player.time(), 3920);
        s.player.setPosition(0.25f);
        QTRY_COMPARE_WITH_TIMEOUT(s.frameShown(), 25, 5000);

        // at twice the rate a second of playing moves on about fifty frames
        s.player.setRate(2.0f);
        QCOMPARE(s.player.rate(), 2.0f);
        seekAndSettle(s, 400);
        QElapsedTimer playing;
        s.player.play();
        playing.start();
        QTRY_VERIFY_WITH_TIMEOUT(s.frameShown() >= 60, 5000);
        const qint64 took = playing.elapsed();
        s.player.pause();
        QVERIFY2(took >= 700 && took <= 1400, qPrintable(QString::number(took))); // 50 frames in about 1 s
        s.player.setVolume(250);
        QCOMPARE(s.player.volume(), 200);
        s.player.setVolume(-5);
        QCOMPARE(s.player.volume(), 0);
    }

    void aHeldPlayerKeepsItsPictureUntilLetGo() {
        Surface s;
        s.player.setMedia(m_front);
        startAndWaitForPlaying(s.player);
        QTRY_VERIFY(s.frameShown() > 3);
        s.player.setHeld(true);
        QTest::qWait(100);
        const int before = s.frameShown();
        QTest::qWait(200);
        QCOMPARE(s.frameShown(), before); // held: not moving on
        QCOMPARE(s.player.state(), ZLXMediaPlayer::Playing); // and still reported as playing
        QSignalSpy settled(&s.player, &ZLXMediaPlayer::mediaPlayerSettled);
        s.player.setTime(2000);
        QVERIFY(settled.wait(5000));
        QTest::qWait(100);
        QCOMPARE(s.frameShown(), before); // the new frame is ready, not shown
        s.player.setHeld(false);
        QCOMPARE(s.frameShown(), 50);      // shown at once when let go
        QTRY_VERIFY(s.frameShown() > 52);  // and playing on
    }

    void silentRecordingHasNoAudioTrack() {
        ZLXMpvMediaPlayer player(nullptr, kSilent);
        player.setMedia(m_silent);
        QCOMPARE(player.mediaDirection(), ZLXMediaDirection::Rear);
        startAndWaitForPlaying(player);
        QVERIFY(player.audioTrackIndexes().isEmpty());
    }

    void snapshotIsAJpegOfTheFrameAtTheVideosOwnSize() {
        Surface s;
        s.player.setMedia(m_front);
        startAndWaitForPlaying(s.player);
        s.player.pause();
        seekAndSettle(s, 1200);
        const QString file = m_dir.filePath("capture.jpg");
        QVERIFY(s.player.saveVideoSnapshotAt(file, 0, 0));
        QImageReader reader(file);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage picture = reader.read();
        QCOMPARE(picture.size(), kVideo);
        QCOMPARE(test::frameNumberIn(picture, kVideo), 30);
    }

    void theEndIsPausedAtOneWithNothingRemaining() {
        Surface s;
        ZLXMpvMediaPlayer& player = s.player;
        player.setMedia(m_silent);
        QSignalSpy times(&player, &ZLXMediaPlayer::mediaPlayerTimeChanged);
        startAndWaitForPlaying(player);
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == ZLXMediaPlayer::Paused, 15000);
        QCOMPARE(player.state(), 6);
        QCOMPARE(player.position(), 1.0f);
        QCOMPARE(player.remainingTimeString(), QStringLiteral("00:00"));
        QCOMPARE(player.time(), player.mediaLength());
        QVERIFY(!player.isPlaying());
        QCOMPARE(s.frameShown(), 49); // the last frame stays on the surface

        // playing again starts from the beginning
        startAndWaitForPlaying(player);
        QVERIFY(player.position() < 0.9f);
        // a seek to the end is the end at once
        player.setTime(player.mediaLength() + 500);
        QCOMPARE(player.position(), 1.0f);
        QTRY_COMPARE(player.state(), ZLXMediaPlayer::Paused);
    }

    void cameraLayoutRecordingsPlayToTheirEnd() {
        // The camera's layout (media moved, a telemetry text track fifth in moov) plays to its
        // last frame, with its sound, and its text track is never drawn.
        const QString input = m_dir.filePath("plain.mp4");
        QString error = test::makeNumberedMp4(input, 2);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        tools::WriterOptions options;
        options.telemetry = std::vector<tools::TelemetryRecord>(10);
        for (auto& record : *options.telemetry)
            record.text = "$GNRMC,120000.000,A,,,,,010.0,0.0,010124,,,A*00\r\n";
        const QString camera = m_dir.filePath("alwa_20240101_120000_F.MP4");
        const auto written = tools::writeRecording(input.toStdString(), camera.toStdString(), options);
        QVERIFY2(written.ok, written.error.c_str());

        Surface s;
        s.player.setMedia(camera);
        startAndWaitForPlaying(s.player);
        QCOMPARE(s.player.audioTrackIndexes().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(s.player.state() == ZLXMediaPlayer::Paused && s.player.position() == 1.0f, 15000);
        QVERIFY(qAbs(s.player.mediaLength() - 2000) <= 50);
        QCOMPARE(s.frameShown(), 49);
    }

    void aFileThatCannotBePlayedIsAnError() {
        const QString broken = m_dir.filePath("broken_F.MP4");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        ZLXMpvMediaPlayer player(nullptr, kSilent);
        QSignalSpy settled(&player, &ZLXMediaPlayer::mediaPlayerSettled);
        player.setMedia(broken);
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), ZLXMediaPlayer::Error, 10000);
        QVERIFY(player.isSettled()); // nobody waits for it
        QVERIFY(!player.isPlaying());
        // a FIFO is refused at once, never opened
        const QString fifo = m_dir.filePath("fifo_F.MP4");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        player.setMedia(fifo);
        QCOMPARE(player.state(), ZLXMediaPlayer::Error);
    }

    void aMissingSoundDeviceIsToldOnceAndTheVideoPlaysOn() {
        // The desktop's own outputs, as the viewer uses them: on a machine without sound the
        // log hears of it once, stderr gets no flood, and the pictures play.
        QStringList logged;
        setLogObserver([&](std::string_view line) { logged << QString::fromUtf8(line.data(), qsizetype(line.size())); });
        QTemporaryFile captured;
        QVERIFY(captured.open());
        const int savedStderr = ::dup(2);
        ::dup2(captured.handle(), 2);
        {
            ZLXVideoView view;
            ZLXMpvMediaPlayer player(&view);
            for (int round = 0; round < 2; ++round) {
                player.setMedia(m_front);
                startAndWaitForPlaying(player);
                QTRY_VERIFY(test::frameNumberIn(view.currentFrame(), kVideo) > 5);
            }
        }
        ::dup2(savedStderr, 2);
        ::close(savedStderr);
        setLogObserver(nullptr);
        const QByteArray err = captured.readAll();
        QVERIFY2(!err.contains("ALSA lib"), err.constData());
        // each message once (how a file is decoded is told for each file)
        logged.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("video decoding:")); });
        QSet<QString> distinct(logged.begin(), logged.end());
        QCOMPARE(distinct.size(), logged.size());
    }

    void noMediaEmptiesThePlayerAndTheSurface() {
        Surface s;
        s.player.setMedia(m_front);
        startAndWaitForPlaying(s.player);
        QTRY_VERIFY(s.view.hasPicture());
        s.player.setMedia(std::nullopt);
        QVERIFY(!s.player.hasMedia());
        QVERIFY(!s.view.hasPicture()); // the logo, never the old frame
        QCOMPARE(s.player.state(), ZLXMediaPlayer::Stopped);
        QCOMPARE(s.player.position(), 0.0f);
        QCOMPARE(s.player.mediaDirection(), ZLXMediaDirection::Unknown);
        QTest::qWait(300); // late reports of the old media change nothing
        QCOMPARE(s.player.state(), ZLXMediaPlayer::Stopped);
        QVERIFY(!s.view.hasPicture());
    }
};

DAXO_QTEST_MAIN(MpvPlayerTest)
#include "tst_mpv_player.moc"
