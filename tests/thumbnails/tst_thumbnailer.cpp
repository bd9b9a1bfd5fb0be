// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails made by the ffmpeg program: kept in memory and on disk by the file's identity,
// made again for a file written anew, a grey mark for a file that cannot be decoded, the
// pointer's picture first and the rest held back on request.
#include "../support/FfmpegInput.h"
#include "../support/QtTestMain.h"
#include "app/thumbnails/ZLXThumbnailer.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

using namespace daxo;

class ThumbnailerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip, m_cache;

    // Asks and waits for the picture; null when none came.
    static QImage made(ZLXThumbnailer& thumbnailer, const QString& path, double seconds) {
        QSignalSpy ready(&thumbnailer, &ZLXThumbnailer::ready);
        const QImage now = thumbnailer.thumbnail(path, seconds, ZLXThumbnailer::Urgency::Now);
        if (!now.isNull())
            return now;
        if (!ready.wait(20000))
            return QImage();
        return ready.last().at(2).value<QImage>();
    }

private slots:
    void initTestCase() {
        m_clip = m_dir.filePath(QStringLiteral("clip: one.mp4")); // a colon, as a name may have
        m_cache = m_dir.filePath(QStringLiteral("cache"));
        QVERIFY(test::ffmpegMp4(m_clip.toStdString(), 4, false));
    }

    // Made once, then found in memory; a second program finds it on disk; the file written
    // again is decoded again.
    void aPictureIsMadeOnceAndKeptByTheFilesIdentity() {
        {
            ZLXThumbnailer thumbnailer(m_cache);
            const QImage first = made(thumbnailer, m_clip, 2.5);
            QCOMPARE(first.width(), kThumbnailWidth);
            QCOMPARE(first.height(), 240); // 320 x 240 kept in proportion
            QVERIFY(first != ZLXThumbnailer::unreadable());
            QCOMPARE(thumbnailer.decodes(), 1);
            QVERIFY(!thumbnailer.thumbnail(m_clip, 2.9).isNull()); // the same second
            QCOMPARE(thumbnailer.decodes(), 1);
            QCOMPARE(QDir(m_cache).entryList(QDir::Files).size(), 1);
        }
        ZLXThumbnailer again(m_cache);
        QVERIFY(!again.thumbnail(m_clip, 2.5).isNull());
        QCOMPARE(again.decodes(), 0);

        // the same name, other bytes: another picture
        const QString copy = m_dir.filePath(QStringLiteral("copy.mp4"));
        QVERIFY(test::ffmpegMp4(copy.toStdString(), 5, false));
        QVERIFY(std::filesystem::copy_file(copy.toStdString(), m_clip.toStdString(),
                                           std::filesystem::copy_options::overwrite_existing));
        QVERIFY(again.thumbnail(m_clip, 2.5).isNull());
        QVERIFY(!made(again, m_clip, 2.5).isNull());
        QCOMPARE(again.decodes(), 1);
    }

    // A file ffmpeg cannot read gives the grey mark at once, kept in memory only (the next run
    // tries again); a file that is not there gives it without asking ffmpeg.
    void anUndecodableFileGivesTheGreyMark() {
        const QString broken = m_dir.filePath(QStringLiteral("broken_F.MP4"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, '\x5a'));
        file.close();
        const QString folder = m_dir.filePath(QStringLiteral("cache-broken"));
        ZLXThumbnailer thumbnailer(folder);
        QCOMPARE(made(thumbnailer, broken, 1), ZLXThumbnailer::unreadable());
        QCOMPARE(thumbnailer.thumbnail(broken, 1), ZLXThumbnailer::unreadable());
        QCOMPARE(thumbnailer.decodes(), 1);
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        QCOMPARE(thumbnailer.thumbnail(m_dir.filePath(QStringLiteral("gone.MP4")), 1), ZLXThumbnailer::unreadable());
        QCOMPARE(thumbnailer.decodes(), 1);
    }

    // Held back, the pictures asked for later wait; the one under the pointer does not.
    void heldBackOnlyThePointersPictureIsMade() {
        ZLXThumbnailer thumbnailer(QString{});
        thumbnailer.setHeldBack(true);
        QVERIFY(thumbnailer.thumbnail(m_clip, 0.5).isNull());
        QVERIFY(thumbnailer.thumbnail(m_clip, 1.5).isNull());
        QVERIFY(!thumbnailer.isBusy());
        QCOMPARE(thumbnailer.decodes(), 0);
        QVERIFY(!made(thumbnailer, m_clip, 3.5).isNull());
        QCOMPARE(thumbnailer.decodes(), 1);
        QSignalSpy ready(&thumbnailer, &ZLXThumbnailer::ready);
        thumbnailer.setHeldBack(false);
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 2, 20000);
        QCOMPARE(thumbnailer.decodes(), 3);
        QVERIFY(!thumbnailer.thumbnail(m_clip, 0.5).isNull() && !thumbnailer.thumbnail(m_clip, 1.5).isNull());
    }
};

DAXO_QTEST_MAIN(ThumbnailerTest)
#include "tst_thumbnailer.moc"
