// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-export's handling of the files it reads and writes, and every tool's manners: each case
// is what the tool meets and what it must leave behind (the sources' bytes, no partial file,
// no temporary folder, no ffmpeg).
#include "../support/QtTestMain.h"
#include "tools/ZLXCardMaker.h"
#include "tools/ZLXRecordingWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

Run run(const QString& program, const QStringList& args,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(300000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A program with arguments given as bytes, as a shell passes a name that is not UTF-8.
Run runBytes(const std::vector<std::string>& args, const QString& scratch) {
    const std::string out = QFile::encodeName(scratch + "/out").toStdString(),
                      err = QFile::encodeName(scratch + "/err").toStdString();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    Run r;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&files);
    QFile o(scratch + "/out"), e(scratch + "/err");
    r.out = o.open(QIODevice::ReadOnly) ? o.readAll() : QByteArray();
    r.err = e.open(QIODevice::ReadOnly) ? e.readAll() : QByteArray();
    return r;
}

QByteArray sha256(const QString& path) {
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && hash.addData(&f) ? hash.result().toHex() : QByteArray();
}

double lengthOf(const QString& file) {
    return run("ffprobe",
               {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file})
        .out.trimmed()
        .toDouble();
}

// The processes whose command line mentions `text`, not yet ended.
QList<qint64> processesMentioning(const QByteArray& text) {
    QList<qint64> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile cmdline("/proc/" + entry + "/cmdline"), stat("/proc/" + entry + "/stat");
        if (!number || !cmdline.open(QIODevice::ReadOnly) || !cmdline.readAll().contains(text))
            continue;
        if (stat.open(QIODevice::ReadOnly) &&
            stat.readAll().split(')').value(1).trimmed().startsWith('Z'))
            continue; // ended, waiting to be reaped
        found << pid;
    }
    return found;
}

} // namespace

class ExportToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_card, m_first;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    Run exportTool(const QStringList& args,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        return run(DAXO_EXPORT_TOOL, args, env);
    }
    // The sources' bytes, to compare before and after.
    QMap<QString, QByteArray> cardHashes() const {
        QMap<QString, QByteArray> hashes;
        for (const QString& name : QDir(m_card).entryList(QDir::Files))
            hashes[name] = sha256(QDir(m_card).filePath(name));
        return hashes;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // Qt makes its runtime folder in the temporary folder when the desktop names none
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path("runtime")));
        QVERIFY(QDir().mkpath(path("runtime")));
        QFile::setPermissions(path("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_card = path("card");
        const Run made = run(DAXO_DEMO_CARD_TOOL, {m_card});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        m_first = m_card + "/alwa_20241003_081500_F.MP4";
    }

    void neverReplacesItsSourcesNorAnExistingFileUnasked() {
        // (links to a source are the library's own test)
        const auto before = cardHashes();
        const QStringList attempts[] = {
            {"clip", m_first, "--from", "2", "--to", "4", "-o", m_card + "/alwa_20241003_081520_R.MP4", "--force"},
            {"report", m_first, "--at", "3", "-o", m_card + "/config.bin", "--force"},
        };
        for (const QStringList& args : attempts) {
            const Run r = exportTool(args);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains("one of the files the export reads"), r.err.constData());
        }
        QCOMPARE(cardHashes(), before);
        // an existing file: kept unless --force
        QFile old(path("old.mp4"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        Run r = exportTool({"clip", m_first, "--from", "2", "--to", "4", "-o", path("old.mp4")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("already exists. (--force replaces it)"), r.err.constData());
        QCOMPARE(sha256(path("old.mp4")),
                 QCryptographicHash::hash("old", QCryptographicHash::Sha256).toHex());
        r = exportTool(
            {"clip", m_first, "--from", "2", "--to", "4", "-o", path("old.mp4"), "--force"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(qAbs(lengthOf(path("old.mp4")) - 2.0) < 0.1);
    }

    // Ranges are kept to what the recordings hold before anything is built; a range that holds
    // nothing, a moment after the trip and a result without a picture are failures.
    void onlyWhatTheRecordingsHold() {
        Run r = exportTool({"clip", m_first, "--from", "70", "--to", "9999999", "--captions", "-o",
                            path("tail.mp4")});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(qAbs(lengthOf(path("tail.mp4")) - 10.0) < 0.1); // the trip ends 80 s in
        r = exportTool(
            {"clip", m_first, "--from", "90", "--to", "9999999", "-o", path("none.mp4")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("holds nothing"));
        r = exportTool({"report", m_first, "--at", "5000", "-o", path("late.pdf")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("after the end of the trip"));
        QVERIFY(!QFile::exists(path("none.mp4")) && !QFile::exists(path("late.pdf")));

        // a copy of the card whose first front's header claims 2^32-2 s, and a recording of
        // sound alone
        const QString copy = path("lying");
        QVERIFY(QDir().mkpath(copy));
        for (const char* name : {"alwa_20241003_081500_F.MP4", "alwa_20241003_081500_R.MP4",
                                 "alwa_20241003_081520_F.MP4"})
            QVERIFY(QFile::copy(m_card + "/" + name, copy + "/" + name));
        QFile lying(copy + "/alwa_20241003_081500_F.MP4");
        QVERIFY(lying.open(QIODevice::ReadWrite));
        const QByteArray bytes = lying.readAll();
        const qsizetype mvhd = bytes.indexOf("mvhd");
        QVERIFY(mvhd > 0 && bytes[mvhd + 4] == 0); // version 0: scale at +16, length at +20
        QVERIFY(lying.seek(mvhd + 20) && lying.write(QByteArray("\xff\xff\xff\xfe", 4)) == 4);
        lying.close();
        r = run(DAXO_TELEMETRY_TOOL, {"--trips", copy});
        QVERIFY2(r.out.contains(",40.0,2,"), r.out.constData()); // 20 s each, not 4,294,967,294
        QCOMPARE(run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=d=5", "-c:a", "aac",
                                copy + "/alwa_20241003_090000_F.MP4"})
                     .exitCode,
                 0);
        r = exportTool({"clip", copy + "/alwa_20241003_090000_F.MP4", "--from", "0", "--to", "3",
                        "--layout", "original", "-o", path("sound.mp4")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("no picture"), r.err.constData());
        QVERIFY(!QFile::exists(path("sound.mp4")));
    }

    // A signal while ffmpeg works (Ctrl-C, a closed terminal, a kill) leaves no ffmpeg, no
    // partial file and no temporary folder.
    void aStoppedExportLeavesNothingBehind() {
        for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
            QTemporaryDir temp;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TMPDIR", temp.path());
            const QString target = path(QStringLiteral("stopped%1.mp4").arg(signal));
            const QString partial = path(QStringLiteral(".stopped%1.partial.mp4").arg(signal));
            QProcess exporter;
            exporter.setProcessEnvironment(env);
            exporter.start(DAXO_EXPORT_TOOL, {"clip", m_first, "--from", "0", "--to", "80",
                                              "--layout", "side", "--captions", "-o", target});
            QVERIFY(exporter.waitForStarted());
            for (int i = 0; i < 200 && !QFile::exists(partial); ++i)
                exporter.waitForFinished(50); // until ffmpeg writes
            QVERIFY2(QFile::exists(partial), "ffmpeg never started writing");
            QCOMPARE(processesMentioning(QFile::encodeName(partial)).size(), 1);
            ::kill(pid_t(exporter.processId()), signal);
            QVERIFY(exporter.waitForFinished(10000));
            QCOMPARE(exporter.exitStatus(), QProcess::CrashExit);
            // once the kernel has delivered the kill
            QVERIFY(QTest::qWaitFor([&] { return processesMentioning(QFile::encodeName(partial)).isEmpty(); }, 2000));
            QVERIFY(!QFile::exists(partial) && !QFile::exists(target));
            QCOMPARE(
                QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                QStringList());
        }
    }

    // Two minutes with the overlay, through the command line: the clip is whole, and the
    // overlay's corner shows other pictures as the drive goes on.
    void aTwoMinuteClipCarriesItsOverlayToTheEnd() {
        const QString card = path("long"), input = path("minute.mp4");
        QVERIFY(QDir().mkpath(card));
        const Run made = run("ffmpeg", {"-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                                        "testsrc=duration=60:size=320x240:rate=10", "-c:v", "libx264", "-preset",
                                        "ultrafast", "-g", "10", "-pix_fmt", "yuv420p", "-brand", "avc1", input});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        for (int minute = 0; minute < 2; ++minute) {
            daxo::tools::WriterOptions options;
            // speeding up from 30 to 90 km/h over each minute
            options.telemetry = daxo::tools::cruiseRecords(300, 60, 1714982400 + 60 * minute, 37.5 + 0.01 * minute, 127.0,
                                                     30 + 60 * minute, false);
            const QString name = card + QStringLiteral("/alwa_20240506_08%1_F.MP4").arg(minute * 100, 4, 10, QLatin1Char('0'));
            QVERIFY(daxo::tools::writeRecording(input.toStdString(), QFile::encodeName(name).toStdString(), options).ok);
        }
        const QString clip = path("two-minutes.mp4");
        const Run exported = exportTool({"clip", card + "/alwa_20240506_080000_F.MP4", "--from", "0", "--to", "120", "-o",
                                         clip, "--layout", "front", "--overlay", "speed,g,time",
                                         "--overlay-place", "top-right"});
        QVERIFY2(exported.exitCode == 0, exported.err.constData());
        const Run probe = run("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", clip});
        QVERIFY2(std::abs(probe.out.trimmed().toDouble() - 120) < 0.5, probe.out.constData());
        // the panel at the top right of 1280 x 720: four squares of 144
        const auto corner = [&](double seconds) {
            const Run frame = run("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i", clip, "-frames:v", "1",
                                             "-vf", "crop=576:144:1280-8-576:8", "-f", "rawvideo", "-pix_fmt", "gray", "-"});
            return frame.out;
        };
        const QByteArray early = corner(10), late = corner(110);
        QCOMPARE(early.size(), 576 * 144);
        int differing = 0;
        for (qsizetype i = 0; i < early.size(); ++i)
            differing += std::abs(int(uint8_t(early[i])) - int(uint8_t(late[i]))) > 60;
        QVERIFY2(differing > 500, qPrintable(QString::number(differing))); // the time and the speed moved on
    }

    void aRedactedClipHidesTheMovingSquareInEveryFrame() {
        // a textured square crossing a picture of fine noise, on both channels; the front's
        // box is followed from one key, the rear's held where its key puts it
        const QString card = path("redact"), input = path("square.mp4");
        QVERIFY(QDir().mkpath(card));
        const Run made = run("ffmpeg", {"-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                                        "color=c=gray:s=1280x720:r=30:d=4,noise=alls=90:allf=u,format=gray", "-f",
                                        "lavfi", "-i",
                                        "color=c=black:s=160x160:r=30:d=4,geq=lum='if(mod(floor(X/10)+floor(Y/10)\\,2)\\,235\\,"
                                        "20)+random(1)*10',format=gray",
                                        "-filter_complex", "[0][1]overlay=x='200+120*t':y=300,format=yuv420p", "-c:v",
                                        "libx264", "-preset", "ultrafast", "-g", "30", "-brand", "avc1", input});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        for (const char* channel : {"F", "R"})
            QVERIFY(daxo::tools::writeRecording(input.toStdString(),
                                                QFile::encodeName(card + "/alwa_20240506_080000_" + channel + ".MP4")
                                                    .toStdString(),
                                                {})
                        .ok);
        const QString boxes = path("boxes.json");
        QFile file(boxes);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"version": 1, "boxes": [
            {"channel": "front", "track": true, "keys": [{"t": 2.0, "x": 440, "y": 300, "w": 160, "h": 160}]},
            {"channel": "rear", "track": false, "keys": [{"t": 0.5, "x": 0, "y": 0, "w": 640, "h": 360}]}]})");
        file.close();
        const QString clip = path("redacted.mp4");
        const Run exported = exportTool({"clip", card + "/alwa_20240506_080000_F.MP4", "--from", "0", "--to", "4", "-o",
                                         clip, "--layout", "pip", "--redact", boxes});
        QVERIFY2(exported.exitCode == 0, exported.err.constData());
        QVERIFY2(!exported.err.contains("lost"), exported.err.constData());

        // the mean step between neighbouring pixels: the noise and the square have much, a blur little
        const auto detail = [](const QByteArray& frame, int x0, int y0, int w, int h) {
            double sum = 0;
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w - 1; ++x)
                    sum += std::abs(int(uint8_t(frame[y * 1280 + x])) - int(uint8_t(frame[y * 1280 + x + 1])));
            return sum / (double(w - 1) * h);
        };
        QProcess frames;
        frames.start("ffmpeg", {"-v", "error", "-i", clip, "-f", "rawvideo", "-pix_fmt", "gray", "-"});
        QVERIFY(frames.waitForStarted());
        QByteArray pending;
        int n = 0;
        while (frames.waitForReadyRead(30000) || frames.bytesAvailable() > 0) {
            pending += frames.readAll();
            for (; pending.size() >= 1280 * 720; ++n) {
                const QByteArray frame = pending.left(1280 * 720);
                pending.remove(0, 1280 * 720);
                const double t = n / 30.0;
                const int x = int(200 + 120 * t);
                const QByteArray where = QByteArray::number(n);
                QVERIFY2(detail(frame, x, 300, 160, 160) < 6, where + " square " + QByteArray::number(detail(frame, x, 300, 160, 160)));
                // the rear's top-left quarter in the inset (400 x 225 at 864, 479)
                QVERIFY2(detail(frame, 864, 479, 100, 56) < 6, where);
                // what no box covers keeps its detail: the noise beside the square, and the
                // rear's square in the inset, below the rear's box
                QVERIFY2(detail(frame, 40, 40, 120, 120) > 15, where);
                QVERIFY2(detail(frame, 864 + int((200 + 120 * t) / 3.2) + 5, 600, 40, 20) > 15, where);
            }
        }
        QCOMPARE(n, 120);

        // boxes that do not fit the clip, and the copy that cannot hide them, are refused with the reason
        QVERIFY(file.copy(path("boxes-kept.json")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(R"({"version": 1, "boxes": [{"channel": "front", "keys": [{"t": 5, "x": 0, "y": 0, "w": 8, "h": 8}]}]})");
        file.close();
        const Run late = exportTool({"clip", card + "/alwa_20240506_080000_F.MP4", "--from", "0", "--to", "4", "-o",
                                     path("late.mp4"), "--redact", boxes});
        QCOMPARE(late.exitCode, 1);
        QVERIFY2(late.err.contains("Box 1, key 1: 5 s is outside the clip (0 to 4 s)"), late.err.constData());
        const Run original = exportTool({"clip", card + "/alwa_20240506_080000_F.MP4", "--from", "0", "--to", "4", "-o",
                                         path("original.mp4"), "--layout", "original", "--redact", path("boxes-kept.json")});
        QCOMPARE(original.exitCode, 1);
        QVERIFY2(original.err.contains("original-quality"), original.err.constData());
        // a FIFO in place of the boxes file is refused at once, never waited on
        const QString fifo = path("boxes.fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const Run piped = exportTool({"clip", card + "/alwa_20240506_080000_F.MP4", "--from", "0", "--to", "4", "-o",
                                      path("piped.mp4"), "--redact", fifo});
        QCOMPARE(piped.exitCode, 1);
        QVERIFY2(piped.err.contains("not a regular file"), piped.err.constData());
        QVERIFY(!QFile::exists(path("late.mp4")) && !QFile::exists(path("original.mp4")));
    }

    // Names that are not UTF-8, folders deeper than one path takes, and a temporary folder whose
    // name has every character ffmpeg's filter graph treats specially.
    void anyNameAnyDepth() {
        std::string deep = QFile::encodeName(path("deep")).toStdString();
        QVERIFY(QDir().mkpath(path("deep")));
        int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
        for (int level = 0; level < 500; ++level) { // some 6 000 bytes
            QCOMPARE(::mkdirat(fd, "caf\xE9 folder", 0700), 0);
            const int next = ::openat(fd, "caf\xE9 folder", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            deep += "/caf\xE9 folder";
        }
        QVERIFY(deep.size() > 6000);
        QStringList names;
        for (const char* name :
             {"alwa_20241003_081500_F.MP4", "alwa_20241003_081500_R.MP4",
              "alwa_20241003_081520_F.MP4", "alwa_20241003_081520_R.MP4", "config.bin"}) {
            QFile in(m_card + "/" + name);
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            const int out = ::openat(fd, name, O_WRONLY | O_CREAT, 0600);
            QCOMPARE(::write(out, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
            ::close(out);
            names << name;
        }
        ::close(fd);
        const std::string front = deep + "/alwa_20241003_081500_F.MP4";
        Run r = runBytes({DAXO_TELEMETRY_TOOL, "--trips", deep}, m_dir.path());
        QVERIFY2(r.out.contains(",40.0,2,"), r.out.constData());
        const std::string report = QFile::encodeName(path("deep.pdf")).toStdString();
        r = runBytes({DAXO_EXPORT_TOOL, "report", front, "--at", "21", "-o", report}, m_dir.path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QByteArray text = run("pdftotext", {"-layout", path("deep.pdf"), "-"}).out;
        for (const QString& name : names.mid(0, 4)) {
            const QString file = m_card + "/" + name;
            QVERIFY2(
                text.contains(QStringLiteral("%1 bytes").arg(QFileInfo(file).size()).toLatin1()),
                qPrintable(name));
            QVERIFY2(text.contains(sha256(file)), qPrintable(name));
        }
        QVERIFY(text.contains("caf\xEF\xBF\xBD") || text.contains("alwa_20241003_081500_F.MP4"));

        // captions through a temporary folder named with : ' \ , [ ] ;
        const QString odd = path("tmp a:b'c\\d,e[f];g");
        QVERIFY(QDir().mkpath(odd));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", odd);
        r = runBytes({DAXO_EXPORT_TOOL, "clip", front, "--from", "18", "--to", "23", "--captions",
                      "-o", QFile::encodeName(path("deep.mp4")).toStdString()},
                     m_dir.path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(qAbs(lengthOf(path("deep.mp4")) - 5.0) < 0.1);
        r = run(
            DAXO_EXPORT_TOOL,
            {"clip", m_first, "--from", "18", "--to", "23", "--captions", "-o", path("odd.mp4")},
            env);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(qAbs(lengthOf(path("odd.mp4")) - 5.0) < 0.1);
        QCOMPARE(QDir(odd).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // Every tool prints its usage on --help and ends well; a tool's stderr carries only what the
    // user must read, its stdout only the result.
    void everyToolAnswersHelpAndKeepsItsOutputClean() {
        for (const char* tool : {DAXO_EXPORT_TOOL, DAXO_CARD_TOOL, DAXO_CONFIG_TOOL,
                                 DAXO_TELEMETRY_TOOL, DAXO_DRVLOG_TOOL, DAXO_RENDER_IMAGES_TOOL,
                                 DAXO_MAKE_RECORDING_TOOL, DAXO_DEMO_CARD_TOOL}) {
            const Run r = run(tool, {"--help"});
            QVERIFY2(r.exitCode == 0, tool);
            QVERIFY2(r.out.startsWith("usage: "), tool);
        }
        Run r = run(DAXO_TELEMETRY_TOOL, {"--trips", m_card});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray());
        r = run(DAXO_DRVLOG_TOOL, {m_card + "/DrvInfo/daxo_000.drv"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray());
        r = run(DAXO_TELEMETRY_TOOL, {"--trips", "--verbose", m_card});
        QVERIFY(r.err.contains("START")); // the diagnostics, when asked for
        r = run(DAXO_MAKE_RECORDING_TOOL, {m_first, path("made.mp4")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray());
        r = exportTool({"report", m_first, "--at", "3", "-o", path("quiet.pdf")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray());
        QVERIFY(QRegularExpression("^[0-9a-f]{64}  ").match(QString::fromLatin1(r.out)).hasMatch());
    }

    // An NMEA log is read only from a regular file, in bounded pieces.
    // The exporter runs where no window can: it loads nothing of the web engine, the player,
    // the printing system or the widgets.
    void theExporterNeedsNoWindowLibraries() {
        QProcess ldd;
        ldd.start("ldd", {DAXO_EXPORT_TOOL});
        QVERIFY(ldd.waitForFinished(30000) && ldd.exitCode() == 0);
        const QString linked = QString::fromLocal8Bit(ldd.readAllStandardOutput());
        QVERIFY2(linked.contains("libQt6Gui.so"), qPrintable(linked));
        for (const char* library : {"libQt6WebEngine", "libmpv.so", "libcups.so", "libQt6Widgets.so", "libQt6PrintSupport"})
            QVERIFY2(!linked.contains(QLatin1String(library)), library);
    }

    void nmeaLogsAreRegularFilesOnly() {
        QCOMPARE(::mkfifo(QFile::encodeName(path("nmea.fifo")).constData(), 0600), 0);
        for (const QString& odd : {path("nmea.fifo"), QStringLiteral("/dev/zero"), m_card}) {
            const Run r = run(DAXO_TELEMETRY_TOOL, {"--nmea", odd});
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains("not a regular file"), r.err.constData());
            QCOMPARE(r.out, QByteArray());
        }
        QFile lineless(path("lineless.nmea"));
        QVERIFY(lineless.open(QIODevice::WriteOnly) &&
                lineless.resize(64 << 20)); // no line end at all
        lineless.close();
        const Run r = run(DAXO_TELEMETRY_TOOL, {"--nmea", path("lineless.nmea")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count('\n'), 2); // the header and the one line
    }
};

DAXO_QTEST_MAIN(ExportToolTest)
#include "tst_export_tool.moc"
