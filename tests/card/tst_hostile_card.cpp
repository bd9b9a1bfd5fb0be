// SPDX-License-Identifier: GPL-3.0-or-later
// Cards that go away: pulled out in the middle of a settings save, while the recordings are
// listed, while one plays. FAT images mounted with fusefat stand in; killing fusefat is the
// card leaving the reader.
#include "../support/FatImage.h"
#include "../support/MediaFixtures.h"
#include "../support/QtTestMain.h"
#include "widgets/TKPartImages.h"
#include "app/ZLXViewer.h"
#include "card/ZLXCardOperations.h"
#include "config/filedata/ZLXFileData.h"
#include "app/ZLXLanguage.h"
#include "app/playback/ZLXPlayInfo.h"
#include "ui_MainMenu.h"

#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace daxo;

namespace {

// From the kernel's table: `mountpoint` cannot look at a mount whose process is gone.
bool isMountedAt(const QString& path) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return true;
    const QByteArray wanted = QFile::encodeName(path);
    for (const QByteArray& line : table.readAll().split('\n')) {
        if (line.split(' ').value(4) == wanted)
            return true;
    }
    return false;
}

bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class HostileCardTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image, m_mount;
    int m_pulls = 0;
    ZLXImageCardOperations m_cards;

    TKUSBDiskEntity card() const {
        return TKUSBDiskEntity("DAXO", m_mount.toStdString(), m_image.toStdString(), std::nullopt, 0, true, true, {});
    }
    bool makeCard(qint64 megabytes) {
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate) || !image.resize(megabytes << 20))
            return false;
        image.close();
        return run("mkfs.fat", {"-F", "32", "-n", "DAXO", m_image}) && insert();
    }
    bool isMounted() const { return isMountedAt(m_mount); }
    // The card goes into the reader: the desktop makes its folder and mounts it there.
    bool insert() { return QDir().mkpath(m_mount) && m_cards.mount(card()).ok(); }
    // The card leaves the reader: its file system's process ends at once, and the desktop
    // unmounts it and takes its folder away, so that nothing written later lands beneath it.
    void pullOut() {
        QVERIFY(run("pkill", {"-KILL", "-f", "fusefat .*" + m_image}));
        // a file still open on the dead mount keeps it busy: detach it as the desktop would
        if (!m_cards.unmount(card()).ok())
            run("fusermount", {"-uz", m_mount});
        QTRY_VERIFY(!isMounted());
        // renamed in one step, as a save may be writing into the folder at this moment
        QVERIFY(QDir().rename(m_mount, m_mount + ".gone" + QString::number(++m_pulls)));
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        installStringTable(*qApp, QStringLiteral("en"));
        m_image = m_dir.filePath("card.img");
        m_mount = m_dir.filePath("mnt");
        m_cards.addImage(m_image, m_mount);
    }
    void cleanup() { m_cards.unmount(card()); }

    // However far a save got, the card holds the old settings or the new ones, whole.
    void aSaveCutShortLeavesTheOldOrTheNewFileWhole() {
        QVERIFY(makeCard(64));
        const QString config = m_mount + "/config.bin";
        QVERIFY(run(DAXO_CONFIG_TOOL, {"defaults", config}));
        QFile defaults(config);
        QVERIFY(defaults.open(QIODevice::ReadOnly));
        const QByteArray old = defaults.readAll(); // a default file is not finalised: no checksum
        defaults.close();
        for (const int delay : {15, 40, 90, 150, 260}) {
            QProcess saves; // one save after the other, each choosing another volume
            saves.start("sh", {"-c", QStringLiteral("i=0; while [ $i -lt 400 ]; do \"%1\" set \"%2\" aud_output_vol=$((i % 4)) "
                                                    ">/dev/null 2>&1; i=$((i + 1)); done")
                                         .arg(DAXO_CONFIG_TOOL, config)});
            QVERIFY(saves.waitForStarted());
            QTest::qWait(delay);
            pullOut();
            QVERIFY(saves.waitForFinished(60000));
            QVERIFY(insert()); // the card back in
            _FILEDATA record{};
            QVERIFY2(LoadFileData(QFile::encodeName(config).toStdString(), &record), qPrintable(QString::number(delay)));
            QFile now(config);
            QVERIFY(now.open(QIODevice::ReadOnly));
            // the defaults as written (no save finished in time), or a whole saved file
            QVERIFY2(now.readAll() == old || record.checksum == fileDataChecksum(record), qPrintable(QString::number(delay)));
            QVERIFY(record.aud_output_vol <= 3);
        }
    }

    // An import through the command line from a card pulled out halfway: what was copied is
    // whole and nothing half is left; the card back in, a second run copies only what is
    // missing. A library disk without room stops the import before it is full.
    void anImportOutlivesAPulledCardAndAFullLibrary() {
        QVERIFY(makeCard(160));
        QMap<QString, QByteArray> recordings;
        for (int i = 0; i < 8; ++i) {
            const QString name = QStringLiteral("alwa_20241003_0815%1_F.MP4").arg(i * 5, 2, 10, QLatin1Char('0'));
            recordings[name] = QByteArray(12 << 20, char('a' + i));
            QFile file(m_mount + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(recordings[name]) == 12 << 20);
        }
        const QString library = m_dir.filePath("library"), day = library + "/2024-10-03";
        const auto libraryIsWhole = [&] {
            for (const QString& name : QDir(day).entryList(QDir::Files | QDir::Hidden)) {
                QFile file(day + "/" + name);
                if (!recordings.contains(name) || !file.open(QIODevice::ReadOnly) || file.readAll() != recordings[name])
                    return false;
            }
            return true;
        };
        QProcess pulled;
        pulled.start(DAXO_LIBRARY_TOOL, {"import", m_mount, "--library", library});
        QVERIFY(pulled.waitForStarted());
        // pulled as the first file is being copied: its first line of progress is out
        pulled.setReadChannel(QProcess::StandardError);
        QVERIFY(pulled.waitForReadyRead(30000));
        pullOut();
        QVERIFY(pulled.waitForFinished(60000));
        const QString told = QString::fromLocal8Bit(pulled.readAllStandardOutput());
        QVERIFY2(pulled.exitCode() == 1 && told.startsWith("Copied "), qPrintable(told));
        QVERIFY(libraryIsWhole());
        const qsizetype before = QDir(day).entryList(QDir::Files).size();

        QVERIFY(insert());
        QProcess again;
        again.start(DAXO_LIBRARY_TOOL, {"import", m_mount, "--library", library});
        QVERIFY(again.waitForFinished(60000));
        const QString second = QString::fromLocal8Bit(again.readAllStandardOutput());
        QVERIFY2(again.exitCode() == 0 && second.startsWith(QStringLiteral("Copied %1, skipped %2, failed 0").arg(8 - before).arg(before)),
                 qPrintable(second));
        QCOMPARE(QDir(day).entryList(QDir::Files | QDir::Hidden).size(), 8);
        QVERIFY(libraryIsWhole());

        // the library on a 40 MB disk: two recordings fit with room kept, the third is not begun
        const QString smallMount = m_dir.filePath("library-mnt");
        test::MountedFat disk(m_dir.filePath("library.img"), smallMount, 40, "16", "LIBRARY");
        QVERIFY(disk.ok);
        QProcess full;
        full.start(DAXO_LIBRARY_TOOL, {"import", m_mount, "--library", smallMount});
        QVERIFY(full.waitForFinished(60000));
        const QString stopped = QString::fromLocal8Bit(full.readAllStandardOutput());
        QVERIFY2(full.exitCode() == 1 && stopped.startsWith("Copied 2, skipped 0, failed 1") &&
                     stopped.contains("Stopped: the library's disk is full"),
                 qPrintable(stopped));
        QCOMPARE(QDir(smallMount + "/2024-10-03").entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // Pulled out while a recording plays: the viewer says the recording cannot be played, the
    // card's folder lists nothing, and another folder plays as before.
    void aCardPulledOutLeavesTheViewerUsable() {
        QVERIFY(makeCard(128));
        const QString local = m_dir.filePath("local");
        QVERIFY(QDir().mkpath(local));
        for (const char* name : {"alwa_20240506_130709_F.mp4", "alwa_20240506_130709_R.mp4"}) {
            const QString failure = test::makeTestMp4(local + "/" + name, 30);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QVERIFY(QFile::copy(local + "/" + name, m_mount + "/" + name));
        }
        ZLXViewer viewerObject;
        ZLXAppDelegate& viewer = viewerObject.app();
        QSettings settings;
        viewer.applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(&viewer, &ZLXAppDelegate::mediaListReloaded);
        viewer.openMediaDirectory(m_mount);
        QVERIFY(reloaded.wait(10000));
        QCOMPARE(viewer.mediaList().count(), size_t(2));
        QSignalSpy started(viewer.playback(), &ZLXPlayback::started);
        QVERIFY(viewer.playAtIndex(0));
        QVERIFY(started.wait(15000));
        QTRY_VERIFY_WITH_TIMEOUT(viewer.playback()->player1()->time() >= 500, 10000); // it plays from the card

        pullOut();
        // what was read before plays on; starting it again says the recording is gone
        QSignalSpy failed(viewer.playback(), &ZLXPlayback::failed);
        viewer.playAtIndex(0);
        QVERIFY(failed.count() || failed.wait(15000));
        QCOMPARE(viewer.ui().player1BackgroundView->message(), qtTrId("player.cannot_play"));
        QVERIFY(!viewer.playback()->playInfo()->isPlaying());

        // the folder of the card that is gone lists nothing; another folder plays
        reloaded.clear();
        viewer.openMediaDirectory(m_mount);
        QVERIFY(reloaded.wait(10000));
        QCOMPARE(viewer.mediaList().count(), size_t(0));
        reloaded.clear();
        viewer.openMediaDirectory(local);
        QVERIFY(reloaded.wait(10000));
        QCOMPARE(viewer.mediaList().count(), size_t(2));
        started.clear();
        QVERIFY(viewer.playAtIndex(0));
        QVERIFY(started.wait(15000));
        QTRY_VERIFY_WITH_TIMEOUT(viewer.playback()->playInfo()->position() > 0.01, 10000);
    }
};

DAXO_QTEST_MAIN(HostileCardTest)
#include "tst_hostile_card.moc"
