// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-telemetry RECORDING          one CSV row per telemetry record
// daxo-telemetry --gpx RECORDING    the route as a GPX 1.1 track
// daxo-telemetry --nmea LOG         one CSV row per sentence of an NMEA log
#include "ZLXBlackBoxData.h"
#include "ZLXFileIO.h"
#include "ZLXLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <QXmlStreamWriter>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>

using namespace daxo;

namespace {

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void writeRow(QTextStream& out, const QStringList& fields) {
    QStringList quoted;
    for (const QString& f : fields)
        quoted << csvField(f);
    out << quoted.join(QLatin1Char(',')) << "\r\n";
}

QString number(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

// The fix's position in signed decimal degrees, its own hemispheres deciding the signs.
void degrees(const ZLXGpsData& fix, double& lat, double& lon) {
    convertNmeaToDegrees(&lat, &lon, fix.NS == 'S' ? -fix.Latitude : fix.Latitude,
                         fix.EW == 'W' ? -fix.Longitude : fix.Longitude);
}

QString utc(const _SYSTEMTIME& t) {
    if (t.wYear == 0)
        return {};
    const QDateTime time(QDate(t.wYear, t.wMonth, t.wDay),
                         QTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds), Qt::UTC);
    return time.isValid() ? time.toString(Qt::ISODateWithMs) : QString();
}

bool hasPosition(const ZLXGpsData& fix) {
    return fix.gpsValid && (fix.Latitude != 0 || fix.Longitude != 0);
}

int fail(const QString& message) {
    std::fprintf(stderr, "daxo-telemetry: %s\n", qPrintable(message));
    return 1;
}

// Reads the recording's telemetry; a message when it cannot (a file that cannot be opened is
// told apart from one that is not a recording). A recording with no records is no failure.
std::optional<QString> extract(const QString& path, ZLXBlackBoxData& data) {
    const QByteArray file = QFile::encodeName(path);
    const int fd = openRegularFile(file.constData());
    if (fd < 0)
        return QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(errno == EINVAL ? "not a regular file" : std::strerror(errno)));
    ::close(fd);
    if (!data.ExtractStreamInformation(file.constData()))
        return path + QStringLiteral(" is not a recording with telemetry");
    return std::nullopt;
}

int printRecords(const QString& path) {
    ZLXBlackBoxData data;
    if (const auto error = extract(path, data))
        return fail(*error);
    QTextStream out(stdout);
    writeRow(out, {"index", "time", "x", "y", "z", "unit", "sentences", "latitude", "longitude",
                   "speed_kmh", "hdop", "satellites", "gps_valid", "utc"});
    // Each row shows the last fix its own record's text produced; none, when it produced none.
    size_t fixes = 0;
    for (size_t i = 0; i < data.m_Times.size(); ++i) {
        const ZLXGSensor& g = data.m_GSensors[i];
        const size_t sentences = data.m_RecordSentenceCounts[i];
        fixes += std::min(sentences, ZLXBlackBoxData::kMaxFixesPerText);
        QStringList row{QString::number(i), QString::number(data.m_Times[i]), number(g.x, 4),
                        number(g.y, 4), number(g.z, 4),
                        QString(QLatin1Char(char(data.m_vGpsData[i].data.unit))), QString::number(sentences)};
        if (sentences > 0 && fixes <= data.m_NMEAs.size()) {
            const ZLXGpsData& fix = data.m_NMEAs[fixes - 1];
            double lat = 0, lon = 0;
            degrees(fix, lat, lon);
            row << number(lat, 6) << number(lon, 6) << number(fix.SpeedOverGround * 1.852, 1)
                << number(fix.HDOP, 1) << QString::number(fix.SatelliteUsedCount)
                << QString::number(fix.gpsValid) << utc(fix.Now);
        } else {
            row << "" << "" << "" << "" << "" << "" << "";
        }
        writeRow(out, row);
    }
    return 0;
}

int writeGpx(const QString& path) {
    ZLXBlackBoxData data;
    if (const auto error = extract(path, data))
        return fail(*error);
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write to standard output"));
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("gpx");
    xml.writeDefaultNamespace("http://www.topografix.com/GPX/1/1");
    xml.writeNamespace("http://www.w3.org/2001/XMLSchema-instance", "xsi");
    xml.writeNamespace("urn:daxo:telemetry:1", "daxo");
    xml.writeAttribute("version", "1.1");
    xml.writeAttribute("creator", "daxo-telemetry");
    xml.writeAttribute("http://www.w3.org/2001/XMLSchema-instance", "schemaLocation",
                       "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd");
    xml.writeStartElement("trk");
    xml.writeTextElement("name", QFileInfo(path).fileName());
    xml.writeStartElement("trkseg");
    for (const ZLXGpsData& fix : data.m_NMEAs) {
        if (!hasPosition(fix))
            continue;
        double lat = 0, lon = 0;
        degrees(fix, lat, lon);
        xml.writeStartElement("trkpt");
        xml.writeAttribute("lat", number(lat, 7));
        xml.writeAttribute("lon", number(lon, 7));
        const QString time = utc(fix.Now);
        if (!time.isEmpty())
            xml.writeTextElement("time", time);
        xml.writeTextElement("hdop", number(fix.HDOP, 1));
        xml.writeStartElement("extensions");
        xml.writeTextElement("urn:daxo:telemetry:1", "speed", number(fix.SpeedOverGround * 0.514444, 2));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return 0;
}

int parseLog(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open ") + path);
    QTextStream out(stdout);
    writeRow(out, {"accepted", "NS", "EW", "Enable_GNGNS", "Enable_GNGSA", "Cnt_GNGSA", "gpsValid",
                   "SatelliteCount", "SatelliteUsedCount", "SatelliteUsedCount_GPS",
                   "SatelliteUsedCount_GLONASS", "PDOP", "HDOP", "VDOP", "Latitude", "Longitude",
                   "SpeedOverGround", "CourseOverGround", "Now"});
    ZLXNMEASentenceParser parser;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const bool accepted = parser.parse(std::string_view(line.constData(), size_t(line.size())));
        const ZLXGpsData& g = parser.m_Current;
        writeRow(out, {QString::number(accepted), QString(QLatin1Char(char(g.NS))),
                       QString(QLatin1Char(char(g.EW))), QString::number(g.Enable_GNGNS),
                       QString::number(g.Enable_GNGSA), QString::number(g.Cnt_GNGSA),
                       QString::number(g.gpsValid), QString::number(g.SatelliteCount),
                       QString::number(g.SatelliteUsedCount), QString::number(g.SatelliteUsedCount_GPS),
                       QString::number(g.SatelliteUsedCount_GLONASS), QString::number(g.PDOP),
                       QString::number(g.HDOP), QString::number(g.VDOP),
                       QString::number(g.Latitude, 'g', 12), QString::number(g.Longitude, 'g', 12),
                       QString::number(g.SpeedOverGround), QString::number(g.CourseOverGround),
                       utc(g.Now)});
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    setLogIdentity("daxo-telemetry");
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("usage: daxo-telemetry RECORDING         the telemetry, one CSV row per record\n"
                    "       daxo-telemetry --gpx RECORDING   the route as a GPX 1.1 track\n"
                    "       daxo-telemetry --nmea LOG        an NMEA log through the same parser\n");
        return 0;
    }
    if (args.size() == 1 && !args[0].startsWith('-'))
        return printRecords(args[0]);
    if (args.size() == 2 && args[0] == "--gpx")
        return writeGpx(args[1]);
    if (args.size() == 2 && args[0] == "--nmea")
        return parseLog(args[1]);
    std::fprintf(stderr, "usage: daxo-telemetry RECORDING\n"
                         "       daxo-telemetry --gpx RECORDING\n"
                         "       daxo-telemetry --nmea LOG\n");
    return 2;
}
