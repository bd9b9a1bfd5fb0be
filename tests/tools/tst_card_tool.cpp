// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-card's handling of the files it is pointed at. Each case is a file the tool meets and
// what it must leave behind: the same bytes when it refuses or is told no; the camera's FAT32,
// fsck.fat clean, with the card's config.bin, when it is told yes. Nothing is mounted to look.
#include "../support/QtTestMain.h"
#include "../support/FfmpegInput.h"
#include "config/filedata/ZLXFileData.h"
#include "tools/ZLXCardMaker.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QTimeZone>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QString out, err;
};

// The tool's own temporary folder, so that what it leaves there is told from other tests'.
QString& privateTemp() {
    static QString path;
    return path;
}

Run run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", privateTemp());
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    Run r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

Run card(const QStringList& args, const QByteArray& answer = {}) {
    return run(DAXO_CARD_TOOL, args, answer);
}

// What a refusal must leave exactly as it was: the bytes, the size, the last change. A sparse
// image is hashed by its data and where it lies; its holes read as zeros and stay holes.
QString stateOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const int fd = S_ISREG(st.st_mode) ? ::open(QFile::encodeName(path).constData(), O_RDONLY) : -1;
    for (off_t data = fd < 0 ? -1 : ::lseek(fd, 0, SEEK_DATA); data >= 0;
         data = ::lseek(fd, data, SEEK_DATA)) {
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        hash.addData(QByteArray::number(qint64(data)) + ':');
        QByteArray piece(1 << 20, '\0');
        for (off_t at = data; at < hole;) {
            const ssize_t got =
                ::pread(fd, piece.data(), size_t(std::min<off_t>(piece.size(), hole - at)), at);
            if (got <= 0)
                break;
            hash.addData(QByteArrayView(piece.constData(), got));
            at += got;
        }
        data = hole;
    }
    if (fd >= 0)
        ::close(fd);
    return QStringLiteral("%1 %2 %3.%4 %5")
        .arg(st.st_mode, 0, 8)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec)
        .arg(QString::fromLatin1(hash.result().toHex()));
}

bool makeFat(const QString& path, qint64 size,
             const QStringList& options = {"-F", "32", "-n", "OLD"}) {
    QFile image(path);
    if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate) || !image.resize(size))
        return false;
    image.close();
    return run("mkfs.fat", options + QStringList{path}).exitCode == 0;
}

bool putFile(const QString& image, const QString& name, const QByteArray& bytes,
             const QString& scratch) {
    QFile f(scratch);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return run("mcopy", {"-o", "-i", image, scratch, "::" + name}).exitCode == 0;
}

QByteArray cardFileBytes(const QString& image, const QString& name) {
    QProcess p;
    p.start("mcopy", {"-n", "-i", image, "::" + name, "-"});
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

QString bootSector(const QString& image) {
    return run("minfo", {"-i", image, "::"}).out;
}

QByteArray defaultConfig() {
    daxo::_FILEDATA r{};
    daxo::SetDefaultFileData(&r);
    uint8_t b[daxo::kFileDataSize];
    daxo::encodeFileData(r, b);
    return QByteArray(reinterpret_cast<const char*>(b), daxo::kFileDataSize);
}

QStringList leftovers() {
    return QDir(privateTemp()).entryList({"daxo-format-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class CardToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A FAT32 card image with a config.bin and two recordings.
    bool makeCard(const QString& image, qint64 size, const QByteArray& config) {
        if (!makeFat(image, size) || run("mmd", {"-i", image, "::DCIM"}).exitCode != 0)
            return false;
        for (const char* name :
             {"DCIM/alwa_20240506_130709_F.mp4", "DCIM/alwa_20240506_130709_R.mp4"}) {
            if (!putFile(image, name, "video", path("scratch")))
                return false;
        }
        return config.isEmpty() || putFile(image, "config.bin", config, path("scratch"));
    }

    // After "yes": the camera's FAT32, clean, with `config` and nothing else.
    static void checkFormatted(const QString& image, int sectorsPerCluster,
                               const QByteArray& config) {
        QVERIFY(run("fsck.fat", {"-n", image}).exitCode == 0);
        const QString boot = bootSector(image);
        QVERIFY2(boot.contains(QStringLiteral("cluster size: %1 sectors").arg(sectorsPerCluster)),
                 qPrintable(boot));
        QVERIFY(boot.contains("reserved (boot) sectors: 32"));
        QVERIFY(boot.contains("disk label=\"DAXO       \""));
        QCOMPARE(cardFileBytes(image, "config.bin"), config);
        QVERIFY(cardFileBytes(image, "DCIM/alwa_20240506_130709_F.mp4").isEmpty());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        privateTemp() = path("tmp");
        QVERIFY(QDir().mkpath(privateTemp()));
    }

    void refusesWhatIsNotACardAndWritesNothing() {
        QByteArray noise(10 << 20, '\0');
        QRandomGenerator random(11);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        noise[510] = 0;
        QFile f(path("noise.bin")); // the kinds of file that are no card: the library's own test
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(noise) == noise.size());
        f.close();
        QVERIFY(makeFat(path("small.img"), 600 << 20));
        QVERIFY(makeFat(path("linked.img"), 1100ll << 20));
        QVERIFY(QFile::link(path("linked.img"), path("link.img")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.img")).constData(), 0600), 0);
        const std::pair<QString, const char*> cases[] = {
            {"noise.bin", "not a card image"},
            {"small.img", "too small for the camera's FAT32"},
            {"link.img", "is a link"},
            {"fifo.img", "neither a card's device nor an image file"},
        };
        for (const auto& [name, says] : cases) {
            const QString before = stateOf(path(name)), target = stateOf(path("linked.img"));
            const Run r = card({"format", path(name), "--yes"});
            QVERIFY2(r.exitCode != 0, qPrintable(name));
            QVERIFY2(r.err.contains(says), qPrintable(name + ": " + r.err));
            QCOMPARE(stateOf(path(name)), before);
            QCOMPARE(stateOf(path("linked.img")), target);
        }
    }

    // The question comes before anything is written; "no", anything but "yes", end of input
    // and Ctrl-C at the question leave the image as it was, with nothing mounted.
    void anythingButYesLeavesTheCardAsItWas() {
        const QString image = path("card.img");
        QVERIFY(makeCard(image, 1100ll << 20, QByteArray(500, 'c')));
        const QString before = stateOf(image);
        for (const QByteArray& answer : {QByteArray("no\n"), QByteArray("y\n"), QByteArray()}) {
            const Run r = card({"format", image}, answer);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains("Erase the card OLD (1.1 GB, "), qPrintable(r.err));
            QVERIFY(r.err.contains("2 recordings"));
            QVERIFY(r.err.contains("nothing was erased"));
            QCOMPARE(stateOf(image), before);
        }
        QProcess asking;
        asking.setReadChannel(QProcess::StandardError);
        asking.start(DAXO_CARD_TOOL, {"format", image});
        QByteArray said;
        while (!said.contains("Type \"yes\"") && asking.waitForReadyRead(10000))
            said += asking.readAllStandardError();
        QVERIFY(said.contains("Type \"yes\""));
        ::kill(pid_t(asking.processId()), SIGINT);
        QVERIFY(asking.waitForFinished(10000));
        QCOMPARE(asking.exitStatus(), QProcess::CrashExit);
        QCOMPARE(stateOf(image), before);
        // nothing serves the image: no process was started on it
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            QFile cmdline("/proc/" + pid + "/cmdline");
            if (cmdline.open(QIODevice::ReadOnly))
                QVERIFY2(!cmdline.readAll().contains(QFile::encodeName(image)), qPrintable(pid));
        }
    }

    // An image another program serves (here fusefat, read-only) is refused and named.
    void anImageInUseIsRefusedWithItsMountPoint() {
        const QString image = path("served.img"), mount = path("served");
        QVERIFY(makeCard(image, 1100ll << 20, {}));
        QVERIFY(QDir().mkpath(mount));
        QCOMPARE(run("fusefat", {"-o", "ro", image, mount}).exitCode, 0);
        const QString before = stateOf(image);
        const Run r = card({"format", image, "--yes"});
        run("fusermount", {"-u", mount});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("is in use") && r.err.contains(mount), qPrintable(r.err));
        QCOMPARE(stateOf(image), before);
    }

    void formatsWithoutAMountAndKeepsTheSettings() {
        const QString image = path("keep.img");
        const QByteArray config(500, 'k');
        QVERIFY(makeCard(image, 1100ll << 20, config));
        const Run r = card({"format", image}, "yes\n");
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.err.indexOf("formatting...") < r.err.indexOf("Format completed!"));
        QVERIFY(r.out.startsWith("The card was formatted."));
        checkFormatted(image, 32, config);
        QVERIFY(leftovers().isEmpty());
    }

    // From 7 GiB the camera wants 64 KB clusters, which a FUSE mount cannot serve: the settings
    // still go on byte for byte. A blank card (the commonest reason to format) gets the defaults.
    void largeAndBlankCardsTakeTheCamerasClusters() {
        const QString large = path("large.img"), blank = path("blank.img");
        const QByteArray config(500, 'L');
        QVERIFY(makeCard(large, 8ll << 30, config));
        Run r = card({"format", large, "--yes"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        checkFormatted(large, 128, config);
        QFile f(blank);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(8ll << 30));
        f.close();
        r = card({"format", blank}, "yes\n");
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.err.contains("It is blank"));
        checkFormatted(blank, 128, defaultConfig());
        QFile::remove(large);
        QFile::remove(blank);
    }

    // For random bytes and for FAT images of random sizes, with random answers: after "no" the
    // file is as it was; after "yes" it is either refused and as it was, or fsck.fat clean.
    void anyFileAnyAnswerNothingIsLost() {
        QRandomGenerator random(2025);
        int formatted = 0;
        for (int round = 0; round < 10; ++round) {
            const QString image = path(QStringLiteral("random%1.img").arg(round));
            const bool fat = round % 2 == 0;
            if (fat) {
                QVERIFY(makeFat(image, qint64(random.bounded(64, 3000)) << 20));
            } else {
                QByteArray bytes(int(random.bounded(1, 4096)) * (random.bounded(2) ? 512 : 509),
                                 '\0');
                random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
                QFile f(image);
                QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
            }
            const bool yes = random.bounded(2);
            const QString before = stateOf(image);
            const Run r = card({"format", image}, yes ? "yes\n" : "no\n");
            if (!yes || r.exitCode != 0)
                QVERIFY2(stateOf(image) == before, qPrintable(image + ": " + r.err));
            else
                QVERIFY2(run("fsck.fat", {"-n", image}).exitCode == 0 && ++formatted,
                         qPrintable(image));
            QFile::remove(image);
        }
        QVERIFY(formatted > 0); // the seed reaches both ends
        QVERIFY(leftovers().isEmpty());
    }

    // The clock file: never written through a link, and only for a time the camera's clock can
    // hold (a full card and the calendar are the library's own test).
    void theClockFileIsWrittenWholeAndOnlyAsItself() {
        const QString folder = path("clockcard"), clock = folder + "/timeset.cfg",
                      other = path("other.txt");
        QVERIFY(QDir().mkpath(folder));
        QFile o(other);
        QVERIFY(o.open(QIODevice::WriteOnly) &&
                o.write("another file, longer than nineteen bytes") > 19);
        o.close();
        QVERIFY(QFile::link(other, clock));
        const QString otherBefore = stateOf(other);
        QCOMPARE(card({"clock", folder, "--date", "2024/05/06", "--time", "13:07:09"}).exitCode, 1);
        QCOMPARE(stateOf(other), otherBefore);
        QVERIFY(QFile::remove(clock));

        QCOMPARE(card({"clock", folder, "--date", "2024/05/06", "--time", "13:07:09"}).exitCode, 0);
        const QString written = stateOf(clock);
        QVERIFY(card({"clock", folder, "--date", "2023/02/29"}).exitCode != 0);
        QCOMPARE(stateOf(clock), written);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // The camera's clock against the GPS time in its recordings, then set for the zone its
    // settings name.
    void theClockIsCheckedAgainstGpsAndSetInTheCardsZone() {
        const QString folder = path("gpscard"), input = path("gps-input.mp4");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(daxo::test::ffmpegMp4(input.toStdString(), 2, false));
        daxo::tools::CardOptions options;
        options.groups = 2;
        options.recordsPerMinute = 10;
        options.frontInput = options.rearInput = input.toStdString();
        options.frontBytes = options.rearBytes = 1 << 20;
        options.clockAhead = 9 * 3600 + 83; // +09:00, 83 s fast
        QVERIFY(daxo::tools::makeCard(folder.toStdString(), options).ok);
        const Run unknown = card({"clock", "--check", folder});
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY2(unknown.out.startsWith("The camera's clock could not be checked: the card has no config.bin"),
                 qPrintable(unknown.out));
        QCOMPARE(card({"clock", "--from-gps", folder}).exitCode, 1);
        QVERIFY(!QFile::exists(folder + "/timeset.cfg"));

        daxo::_FILEDATA record{};
        daxo::InitFileData(&record);
        record.time_gmt = 28; // +09:00
        daxo::FinalizeFileData(&record);
        QVERIFY(!daxo::SaveFileData(&record, (folder + "/config.bin").toStdString()));
        const Run checked = card({"clock", "--check", folder});
        QCOMPARE(checked.exitCode, 0);
        QVERIFY2(checked.out.startsWith("The camera's clock is 83 s fast.\nerror +83 s (median of 2 recordings"),
                 qPrintable(checked.out));

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QCOMPARE(card({"clock", "--from-gps", folder}).exitCode, 0);
        QFile file(folder + "/timeset.cfg");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QCOMPARE(text.size(), 19);
        QDateTime written = QDateTime::fromString(QString::fromLatin1(text), "yyyy/MM/dd HH:mm:ss");
        written.setTimeZone(QTimeZone(9 * 3600));
        QVERIFY(written.isValid());
        QVERIFY2(written.toSecsSinceEpoch() >= before && written.toSecsSinceEpoch() <= before + 5, text.constData());
    }
};

DAXO_QTEST_MAIN(CardToolTest)
#include "tst_card_tool.moc"
