// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-config: show, defaults and set, and what it refuses.
#include "../support/QtTestMain.h"
#include "config/filedata/ZLXFileData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <sys/stat.h>
#include <QTemporaryDir>

using namespace daxo;

class ConfigToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    struct Run {
        int exitCode = -1;
        QByteArray out, err;
    };
    static Run run(const QStringList& args) {
        QProcess p;
        p.start(DAXO_CONFIG_TOOL, args);
        Run r;
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
            r.exitCode = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    static QByteArray bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QJsonValue field(const QJsonObject& shown, const QString& name) {
        for (const QJsonValue& f : shown["fields"].toArray()) {
            if (f.toObject()["name"].toString() == name)
                return f.toObject()["value"];
        }
        return {};
    }

private slots:
    void defaultsAreWhatTheLibraryWrites() {
        const QString file = m_dir.filePath("defaults.bin");
        QCOMPARE(run({"defaults", file}).exitCode, 0);
        const QString reference = m_dir.filePath("reference.bin");
        QCOMPARE(SaveDefaultFileData(reference.toStdString()), std::nullopt);
        QCOMPARE(bytes(file), bytes(reference));

        const Run shown = run({"show", file});
        QCOMPARE(shown.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(shown.out).object();
        QCOMPARE(json["checksumValid"].toBool(), false); // a default file is not finalised
        const QJsonArray fields = json["fields"].toArray();
        QCOMPARE(fields.size(), 118);
        QCOMPARE(fields.first().toObject()["name"].toString(), QStringLiteral("cfg_ver"));
        QCOMPARE(fields.last().toObject()["name"].toString(), QStringLiteral("debug_mode"));
        QCOMPARE(field(json, "szPlateNumber").toString(), QStringLiteral("Daxo"));
        QCOMPARE(field(json, "blackboxHeight").toDouble(), double(1.35f));
        QCOMPARE(field(json, "dummy00").toArray().size(), 8);
    }

    void setChangesFinalisesAndSaves() {
        const QString file = m_dir.filePath("set.bin");
        QCOMPARE(run({"defaults", file}).exitCode, 0);
        const Run set = run({"set", file, "--raw", "szPlateNumber=AB12", "gsen_x_threshold=-3", "ADAS_HeadWayFactor=1.25",
                             "ADAS_FCWS_Speed=0x50"});
        QVERIFY2(set.exitCode == 0, set.err.constData());
        const QJsonObject json = QJsonDocument::fromJson(run({"show", file}).out).object();
        QCOMPARE(json["checksumValid"].toBool(), true);
        QCOMPARE(field(json, "osd_plate_flag").toInt(), 1);
        QCOMPARE(field(json, "szPlateNumber").toString(), QStringLiteral("AB12"));
        QCOMPARE(field(json, "gsen_x_threshold").toInt(), -3);
        QCOMPARE(field(json, "ADAS_HeadWayFactor").toDouble(), 1.25);
        QCOMPARE(field(json, "ADAS_FCWS_Speed").toInt(), 0x50);
        QCOMPARE(bytes(file).size(), 500);
    }

    void refusesAndLeavesTheFileAlone() {
        const QString file = m_dir.filePath("keep.bin");
        QCOMPARE(run({"defaults", file}).exitCode, 0);
        const QByteArray before = bytes(file);
        const QStringList bad[] = {{"nope=1"},           {"ADAS_Car=256"},      {"aud_enable=-1"},
                                   {"szPlateNumber=ABCDEFGHI"}, {"wifi_ssid=caf\u00e9"}, {"dummy00=1"},
                                   {"checksum=5"},       {"gsen_x_threshold=x"}, {"LDW_width_L=1e40"},
                                   {"aud_enable"},       {"aud_enable=3", "bogus=1"}};
        for (const QStringList& assignments : bad) {
            const Run r = run(QStringList{"set", file} + assignments);
            QVERIFY2(r.exitCode == 1, qPrintable(assignments.join(' ')));
            QVERIFY(r.err.startsWith("daxo-config: "));
            QCOMPARE(bytes(file), before);
        }
        // wrong size, wrong model number
        QFile shortFile(m_dir.filePath("short.bin"));
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write(before.left(499));
        shortFile.close();
        Run r = run({"show", shortFile.fileName()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("499 bytes"));
        QByteArray model = before;
        model[4] = 33;
        QFile modelFile(m_dir.filePath("model.bin"));
        QVERIFY(modelFile.open(QIODevice::WriteOnly));
        modelFile.write(model);
        modelFile.close();
        r = run({"set", modelFile.fileName(), "aud_enable=1"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("model number 33"));
        QCOMPARE(bytes(modelFile.fileName()), model);
        // a FIFO or a device in its place: refused at once, named for what it is
        const QString fifo = m_dir.filePath("fifo.bin");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& odd : {fifo, QStringLiteral("/dev/zero")}) {
            for (const QStringList& args : {QStringList{"show", odd}, QStringList{"set", odd, "aud_enable=1"}}) {
                r = run(args);
                QCOMPARE(r.exitCode, 1);
                QVERIFY2(r.err.contains("is not a regular file"), r.err.constData());
            }
        }
        // what the settings window would refuse, with its message; --raw writes it
        for (const char* value : {"vid_brightness=9", "gsen_x_threshold=160", "szPlateNumber=AB-12", "time_gmt=34",
                                  "CableVoltCorr=0", "Brightness1=21", "motionBlock=4096",
                                  "sd_mem_always_ratio=80", "wifi_ssid=Cam", "wifi_password=pass word", "wifi_channel=14"}) {
            r = run({"set", file, value});
            QVERIFY2(r.exitCode == 1 && r.err.contains("--raw"), value);
            QCOMPARE(bytes(file), before);
        }
        QVERIFY(run({"set", file, "gsen_x_threshold=160"}).err.contains("0.05 to 1.5"));
        QCOMPARE(run({"set", file, "--raw", "vid_brightness=9"}).exitCode, 0);
        QVERIFY(bytes(file) != before);
        QCOMPARE(run({"set", file, "vid_brightness=2", "time_gmt=-1", "szPlateNumber=AB12"}).exitCode, 0);
        const QByteArray accepted = bytes(file);
        // a read-only file is not replaced, and says so
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        r = run({"set", file, "aud_enable=1"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot write"), r.err.constData());
        QCOMPARE(bytes(file), accepted);
        QCOMPARE(run({}).exitCode, 2);
    }

    // The fields a page sets through lists and steppers of its own take only what they offer,
    // and a refusal names the values offered, never a range the refused value lies in.
    void takesOnlyWhatThePagesOffer() {
        const QString file = m_dir.filePath("offered.bin");
        QCOMPARE(run({"defaults", file}).exitCode, 0);
        const QByteArray before = bytes(file);
        // a stepper, a list of numbers, a list of fractions, radio buttons
        const char* refused[] = {"blackboxHeight=100", "always_mode_timeout=11", "ADAS_SafeDistacne=1.25",
                                 "pip_position=4"};
        for (const char* value : refused) {
            const Run r = run({"set", file, value});
            QVERIFY2(r.exitCode == 1 && r.err.contains("--raw"), value);
            QCOMPARE(bytes(file), before);
        }
        QVERIFY(run({"set", file, "always_mode_timeout=11"})
                    .err.contains("only these values here: 0, 10, 30, 60, 120, 180, 300, 420, 600."));
        QVERIFY(run({"set", file, "pip_position=4"}).err.contains("only these values here: 0, 1, 2, 3."));
        for (const char* value : {"blackboxHeight=3", "always_mode_timeout=600", "ADAS_SafeDistacne=3.0", "pip_position=3"}) {
            const Run r = run({"set", file, value});
            QVERIFY2(r.exitCode == 0, (QByteArray(value) + ": " + r.err).constData());
        }
        // the speed lists follow the unit: 45 is offered in miles an hour only
        QCOMPARE(run({"set", file, "ADAS_Ldws_Speed=45"}).exitCode, 1);
        QCOMPARE(run({"set", file, "speed_disp_unit=1", "ADAS_Ldws_Speed=45", "ADAS_FCWS_Speed=45"}).exitCode, 0);
    }
};

DAXO_QTEST_MAIN(ConfigToolTest)
#include "tst_config_tool.moc"
