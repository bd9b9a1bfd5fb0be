// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-telemetry on the demo card: the CSV rows, the trips, GPX and KML files other readers
// open, NMEA logs.
#include "../support/QtTestMain.h"

#include <QProcess>
#include <QTemporaryDir>

class TelemetryToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_front, m_rear;

    struct Run {
        int exitCode = -1;
        QByteArray out, err;
    };
    static Run run(const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        Run r;
        if (!p.waitForStarted(10000) || !p.waitForFinished(120000))
            return r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const Run made = run(DAXO_DEMO_CARD_TOOL, {m_dir.filePath("card")});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        m_front = m_dir.filePath("card/alwa_20241003_081500_F.MP4");
        m_rear = m_dir.filePath("card/alwa_20241003_081500_R.MP4");
    }

    void csvHasOneRowPerRecord() {
        const Run r = run(DAXO_TELEMETRY_TOOL, {m_front});
        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 101); // a header and 100 records
        QCOMPARE(lines[0].trimmed(), QByteArray("index,time,x,y,z,unit,sentences,latitude,longitude,speed_kmh,"
                                                 "hdop,satellites,gps_valid,utc"));
        // (what each record holds is the walk's own test, against ffprobe)
        QVERIFY(lines[100].trimmed().split(',').last().startsWith("2024-10-03T08:15:1"));
    }

    void eachRowShowsTheFixOfItsOwnRecord() {
        // records of two sentences, one and none: a row never shows a later record's fix
        QFile text(m_dir.filePath("records.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("1700000000 0 0 256 0 9 $GNGGA,120000,3733.0,N,12658.0,E,1,08,0.9,5,M,,M,,*47\\r\\n"
                   "$GNGGA,120001,3734.0,N,12658.0,E,1,08,0.9,5,M,,M,,*47\\r\\n\n"
                   "1700000001 0 0 256 0 9 \n"
                   "1700000002 0 0 256 0 9 $GNGGA,120002,3735.0,N,12658.0,E,1,08,0.9,5,M,,M,,*47\\r\\n\n"
                   "1700000003 0 0 256 0 9 $GNGGA,120003,0000.0,N,00000.0,E,1,00,0.0,0,M,,M,,*47\\r\\n\n");
        text.close();
        const QString recording = m_dir.filePath("three_F.MP4");
        const Run made = run(DAXO_MAKE_RECORDING_TOOL, {m_rear, recording, "--telemetry", text.fileName()});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        const QList<QByteArray> lines = run(DAXO_TELEMETRY_TOOL, {recording}).out.trimmed().split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1].split(',')[6], QByteArray("2"));
        QVERIFY(qAbs(lines[1].split(',')[7].toDouble() - (37 + 34 / 60.0)) < 1e-6); // its second fix
        QCOMPARE(lines[2].split(',')[6], QByteArray("0"));
        QCOMPARE(lines[2].split(',')[7], QByteArray("")); // none of its own
        QVERIFY(qAbs(lines[3].split(',')[7].toDouble() - (37 + 35 / 60.0)) < 1e-6);
        // a sentence without a position shows none (not 0, 0, valid)
        QCOMPARE(lines[4].split(',')[6], QByteArray("1"));
        QCOMPARE(lines[4].split(',').mid(7), QList<QByteArray>(7, QByteArray()));
    }

    // The demo card's morning drive and the car park's recording are two trips (their figures
    // are the trip list's test); a longer gap joins them.
    void theDemoCardHasOneMorningDriveWithItsEvent() {
        const Run r = run(DAXO_TELEMETRY_TOOL, {"--trips", m_dir.filePath("card")});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out.trimmed().split('\n').size(), 3);
        QVERIFY(r.out.contains("\n1,2024-10-03 08:15:00,2024-10-03 08:16:20,80.0,4,"));
        // a gap of 2 hours joins them; nonsense is refused
        QCOMPARE(run(DAXO_TELEMETRY_TOOL, {"--trips", "--gap", "14000", m_dir.filePath("card")}).out.count('\n'), 2);
        QCOMPARE(run(DAXO_TELEMETRY_TOOL, {"--trips", "--gap", "-1", m_dir.filePath("card")}).exitCode, 1);
        QCOMPARE(run(DAXO_TELEMETRY_TOOL, {"--gpx", "--trip", "3", m_dir.filePath("card")}).exitCode, 1);
    }

    // The trip's GPX is valid GPX 1.1 and gpsbabel reads every point back; so is its KML.
    void gpxAndKmlOpenInAnotherReader() {
        QVERIFY2(QFile::exists(DAXO_GPX_SCHEMA), "no GPX schema: scripts/setup fetches it");
        const Run r = run(DAXO_TELEMETRY_TOOL, {"--gpx", "--trip", "1", m_dir.filePath("card")});
        QCOMPARE(r.exitCode, 0);
        const QString gpx = m_dir.filePath("route.gpx");
        QFile file(gpx);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(r.out);
        file.close();
        // a point per fix: every one with its time, each later than the one before
        const int points = r.out.count("<trkpt ");
        QVERIFY2(points > 70, qPrintable(QString::number(points))); // four recordings, 80 s
        QCOMPARE(r.out.count("<time>"), points);
        QString previous;
        for (qsizetype at = r.out.indexOf("<time>"); at >= 0; at = r.out.indexOf("<time>", at + 1)) {
            const QString time = QString::fromLatin1(r.out.mid(at + 6, 24));
            QVERIFY2(time > previous, qPrintable(time));
            previous = time;
        }
        QCOMPARE(r.out.count("<wpt "), 1);
        const Run lint = run("xmllint", {"--noout", "--schema", DAXO_GPX_SCHEMA, gpx});
        QVERIFY2(lint.exitCode == 0, lint.err.constData());

        const Run babel = run("gpsbabel", {"-t", "-i", "gpx", "-f", gpx, "-o", "unicsv", "-F", "-"});
        QVERIFY2(babel.exitCode == 0, babel.err.constData());
        const QList<QByteArray> rows = babel.out.trimmed().split('\n');
        QCOMPARE(rows.size() - 1, points);
        QVERIFY(rows[0].contains("Latitude"));
        QVERIFY(rows[1].contains("37.566"));
        QVERIFY(rows[1].contains("126.977"));

        const Run kml = run(DAXO_TELEMETRY_TOOL, {"--kml", "--trip", "1", m_dir.filePath("card")});
        QCOMPARE(kml.exitCode, 0);
        QFile kmlFile(m_dir.filePath("route.kml"));
        QVERIFY(kmlFile.open(QIODevice::WriteOnly));
        kmlFile.write(kml.out);
        kmlFile.close();
        const Run kmlBack = run("gpsbabel", {"-t", "-i", "kml", "-f", kmlFile.fileName(), "-o", "unicsv", "-F", "-"});
        QVERIFY2(kmlBack.exitCode == 0, kmlBack.err.constData());
        QCOMPARE(kmlBack.out.trimmed().split('\n').size() - 1, points);
        const Run kmlMarks = run("gpsbabel", {"-i", "kml", "-f", kmlFile.fileName(), "-o", "unicsv", "-F", "-"});
        QVERIFY(kmlMarks.out.contains("Event 4.3 g"));

        // one recording on its own: the same points as the trip holds of it
        const Run one = run(DAXO_TELEMETRY_TOOL, {"--csv", m_front});
        QCOMPARE(one.exitCode, 0);
        QCOMPARE(one.out.count('\n'), 101);
    }

    void nmeaLogGivesOneRowPerLine() {
        const QString log = m_dir.filePath("drive.nmea");
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
                   "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n"
                   "$GNRMC,123519.000,A,,,,,022.4,084.4,230394,,,A*6A\n");
        file.close();
        const Run r = run(DAXO_TELEMETRY_TOOL, {"--nmea", log});
        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[1].startsWith("1,N,E,"));
        QVERIFY(lines[1].contains(",4807.03808594,1131,"));
        QVERIFY(lines[2].startsWith("0,N,E,")); // VTG is not handled; the fix stays
        QVERIFY(lines[3].trimmed().endsWith(",2094-03-23T12:35:19.000Z"));
    }

    void whatIsNotARecordingIsToldApartFromWhatCannotBeOpened() {
        Run r = run(DAXO_TELEMETRY_TOOL, {m_rear});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains("is not a recording with telemetry"), r.err.constData());
        r = run(DAXO_TELEMETRY_TOOL, {m_dir.filePath("nothing.mp4")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot open") && r.err.contains("No such file"), r.err.constData());
        // a recording whose telemetry track holds no record: the header, and success
        QFile empty(m_dir.filePath("empty.txt"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        const QString zero = m_dir.filePath("zero_F.MP4");
        QCOMPARE(run(DAXO_MAKE_RECORDING_TOOL, {m_rear, zero, "--telemetry", empty.fileName()}).exitCode, 0);
        r = run(DAXO_TELEMETRY_TOOL, {zero});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("index,time,"));
        QCOMPARE(r.out.count('\n'), 1);
        QCOMPARE(run(DAXO_TELEMETRY_TOOL, {}).exitCode, 2);
        QCOMPARE(run(DAXO_TELEMETRY_TOOL, {"--help"}).exitCode, 0);
    }
};

DAXO_QTEST_MAIN(TelemetryToolTest)
#include "tst_telemetry_tool.moc"
