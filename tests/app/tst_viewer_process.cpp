// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer as a program: it starts on a folder, keeps running, and ends cleanly.
#include "../support/QtTestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QTemporaryDir>

class ViewerProcessTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    qint64 m_lastQuit = 0; // milliseconds from the quit signal to the end

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home.path());
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime")); // as a desktop session has one
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

    // Starts the viewer, waits until it has finished launching, then asks it to quit.
    QString runAndQuit(const QStringList& args, int* exitCode) {
        QProcess viewer;
        viewer.setProcessEnvironment(environment());
        viewer.start(DAXO_VIEWER_PATH, QStringList{"--verbose"} + args); // its diagnostics tell the launch
        if (!viewer.waitForStarted(10000))
            return "<not started>";
        QByteArray err;
        const bool launched = QTest::qWaitFor([&] {
            err += viewer.readAllStandardError();
            return err.contains("SUPPORT_LANGUAGE=") || viewer.state() == QProcess::NotRunning;
        }, 60000);
        if (!launched || viewer.state() == QProcess::NotRunning) {
            *exitCode = -1;
            return QString::fromLocal8Bit(err + viewer.readAllStandardError());
        }
        QTest::qWait(1500); // the map page and the folder walk are under way
        QElapsedTimer quit;
        quit.start();
        viewer.terminate();
        const bool ended = viewer.waitForFinished(30000);
        m_lastQuit = quit.elapsed();
        *exitCode = ended && viewer.exitStatus() == QProcess::NormalExit ? viewer.exitCode() : -2;
        return QString::fromLocal8Bit(err + viewer.readAllStandardError());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir().mkpath(m_home.filePath("runtime")));
        QVERIFY(QFile::setPermissions(m_home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void startsOnAFolderAndQuitsCleanly() {
        QTemporaryDir card;
        QFile(card.filePath("alwa_20240101_120000_F.mp4")).open(QIODevice::WriteOnly);
        QFile(card.filePath("alwa_20240101_120000_R.mp4")).open(QIODevice::WriteOnly);
        // a FIFO of a recording's name holds nothing up, and the quit is prompt
        QCOMPARE(mkfifo(QFile::encodeName(card.filePath("alwa_20240101_120100_F.mp4")).constData(), 0600), 0);
        int exitCode = 0;
        const QString log = runAndQuit({card.path()}, &exitCode);
        QVERIFY2(exitCode == 0, qPrintable(log));
        QVERIFY2(m_lastQuit < 2000, qPrintable(QString::number(m_lastQuit)));
        QVERIFY2(!log.contains("not a folder"), qPrintable(log));

        // the first launch left English as the preference for the next
        const QString second = runAndQuit({}, &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY2(second.contains("SUPPORT_LANGUAGE=en"), qPrintable(second));
    }

    // Without --verbose a session that goes well writes nothing on stderr: the diagnostics go to
    // the system log only, the web engine's set-up report not at all.
    // (On an X server of its own: the offscreen platform has no OpenGL, which the web engine
    // would rightly complain of.)
    void aSessionThatGoesWellIsQuiet() {
        QProcess xvfb;
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        QVERIFY2(xvfb.waitForStarted(10000), "Xvfb, from the xvfb package, is needed");
        QVERIFY(xvfb.waitForReadyRead(20000));
        const QByteArray display = xvfb.readAllStandardOutput().trimmed();
        QTemporaryDir card;
        QFile(card.filePath("alwa_20240101_120000_F.mp4")).open(QIODevice::WriteOnly);
        QProcessEnvironment env = environment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", ":" + QString::fromLatin1(display));
        // built with the sanitizers: what the X and OpenGL drivers keep cannot be told by
        // library once they are unloaded (the same steps run offscreen, leaks checked)
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        QProcess viewer;
        viewer.setProcessEnvironment(env);
        viewer.start(DAXO_VIEWER_PATH, {card.path()});
        QVERIFY(viewer.waitForStarted(10000));
        QVERIFY(!viewer.waitForFinished(5000)); // launched, the folder read and the map page loading
        viewer.terminate();
        QVERIFY(viewer.waitForFinished(30000));
        xvfb.terminate();
        xvfb.waitForFinished(10000);
        QString err = QString::fromLocal8Bit(viewer.readAllStandardError());
        if (geteuid() == 0) // the web engine's sandbox cannot run as root, and says so
            err.remove(QStringLiteral("Sandboxing disabled by user.\n"));
        QVERIFY2(err.trimmed().isEmpty(), qPrintable(err));
    }

    void theVideoOutputCanBeChosenAndAWrongOneIsRefused() {
        int exitCode = 0;
        const QString log = runAndQuit({"--video-output", "software"}, &exitCode);
        QVERIFY2(exitCode == 0, qPrintable(log));
        QProcess viewer;
        viewer.setProcessEnvironment(environment());
        viewer.start(DAXO_VIEWER_PATH, {"--video-output", "vulkan"});
        QVERIFY(viewer.waitForFinished(30000));
        QCOMPARE(viewer.exitCode(), 2);
        QVERIFY(viewer.readAllStandardError().contains("takes gl or software"));
    }

    void aFileInsteadOfAFolderIsReportedAndIgnored() {
        QTemporaryDir dir;
        const QString file = dir.filePath("notes.txt");
        QFile(file).open(QIODevice::WriteOnly);
        int exitCode = 0;
        const QString log = runAndQuit({file}, &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY2(log.contains("is not a folder"), qPrintable(log));
    }

    // --list prints the table without a window, paths as the file system's bytes, from a
    // folder whose name is not UTF-8 given as those bytes.
    void listsAFolderWhoseNameIsNotUtf8() {
        QTemporaryDir dir;
        const QByteArray card = QFile::encodeName(dir.path()) + "/card\xff";
        QCOMPARE(::mkdir(card.constData(), 0700), 0);
        QCOMPARE(::mkdir((card + "/EVENT, \xfe").constData(), 0700), 0);
        for (const QByteArray name : {"/alwa_20240101_120000_F.mp4", "/EVENT, \xfe/event_20240101_120500_R.mp4"})
            ::close(::open((card + name).constData(), O_WRONLY | O_CREAT, 0600));
        QProcess viewer; // the shell makes the argument's bytes; QProcess would make it text
        viewer.setProcessEnvironment(environment());
        viewer.start("sh", {"-c", "exec \"$0\" --list \"$1$(printf '\\377')\"", DAXO_VIEWER_PATH, dir.path() + "/card"});
        QVERIFY(viewer.waitForFinished(30000));
        QCOMPARE(viewer.exitCode(), 0);
        QCOMPARE(viewer.readAllStandardOutput(),
                 "mode,date,time,path\n"
                 "always,2024-01-01,12:00:00," + card + "/alwa_20240101_120000_F.mp4\n"
                 "event,2024-01-01,12:05:00,\"" + card + "/EVENT, \xfe/event_20240101_120500_R.mp4\"\n");
        viewer.start(DAXO_VIEWER_PATH, {"--list", dir.filePath("missing")});
        QVERIFY(viewer.waitForFinished(30000));
        QCOMPARE(viewer.exitCode(), 1);
    }
};

DAXO_QTEST_MAIN(ViewerProcessTest)
#include "tst_viewer_process.moc"
