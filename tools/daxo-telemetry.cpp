// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-telemetry RECORDING          one CSV row per telemetry record
// daxo-telemetry --gpx RECORDING    the route as a GPX 1.1 track
// daxo-telemetry --nmea LOG         one CSV row per sentence of an NMEA log
// No toolkit: the program starts in about a millisecond and formats its rows itself.
#include "ZLXBlackBoxData.h"
#include "ZLXFileIO.h"
#include "ZLXLog.h"
#include "ZLXMediaTableText.h"

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace daxo;

namespace {

// Everything goes out through one buffer, written when full and at the end.
class Output {
public:
    ~Output() { flush(); }
    Output& operator<<(std::string_view text) {
        m_buffer.append(text);
        if (m_buffer.size() > (1 << 16))
            flush();
        return *this;
    }
    void flush() {
        if (!m_buffer.empty())
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
        m_buffer.clear();
    }

private:
    std::string m_buffer;
};

std::string format(const char* pattern, ...) {
    char text[128];
    va_list args;
    va_start(args, pattern);
    const int n = std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return std::string(text, size_t(std::max(0, std::min(n, int(sizeof text) - 1))));
}

// Fixed-point with `decimals` places, as printf's "%.*f" writes it (to_chars is the faster).
std::string number(double v, int decimals) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text, end) : format("%.*f", decimals, v);
}

// One CSV row built in place: numbers written with to_chars, text quoted when it must be.
class Row {
public:
    explicit Row(std::string& line) : m_line(line) { m_line.clear(); }
    Row& integer(long long v) {
        char text[24];
        const auto end = std::to_chars(text, text + sizeof text, v).ptr;
        separate().append(text, end);
        return *this;
    }
    Row& fixed(double v, int decimals) {
        separate() += number(v, decimals);
        return *this;
    }
    Row& text(const std::string& v) {
        separate() += csvField(v);
        return *this;
    }
    Row& empty(int fields) {
        for (int i = 0; i < fields; ++i)
            separate();
        return *this;
    }

private:
    std::string& separate() {
        if (!m_first)
            m_line += ',';
        m_first = false;
        return m_line;
    }
    std::string& m_line;
    bool m_first = true;
};

void writeRow(Output& out, const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        line += csvField(fields[i]);
    }
    out << line << "\r\n";
}

std::string xmlText(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// The fix's position in signed decimal degrees, its own hemispheres deciding the signs.
void degrees(const ZLXGpsData& fix, double& lat, double& lon) {
    convertNmeaToDegrees(&lat, &lon, fix.NS == 'S' ? -fix.Latitude : fix.Latitude,
                         fix.EW == 'W' ? -fix.Longitude : fix.Longitude);
}

bool validDateTime(const _SYSTEMTIME& t) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1)
        return false;
    const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
    const int days = kDays[t.wMonth - 1] + (t.wMonth == 2 && leap ? 1 : 0);
    return t.wDay <= days && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

// ISO 8601 in UTC with milliseconds, "2024-10-03T08:15:00.000Z"; empty without a valid time.
std::string utc(const _SYSTEMTIME& t) {
    if (t.wYear == 0 || !validDateTime(t))
        return {};
    return format("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                  t.wMilliseconds);
}

bool hasPosition(const ZLXGpsData& fix) {
    return fix.gpsValid && (fix.Latitude != 0 || fix.Longitude != 0);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "daxo-telemetry: %s\n", message.c_str());
    return 1;
}

// Reads the recording's telemetry; a message when it cannot (a file that cannot be opened is
// told apart from one that is not a recording). A recording with no records is no failure.
std::optional<std::string> extract(const std::string& path, ZLXBlackBoxData& data) {
    const int fd = openRegularFile(path.c_str());
    if (fd < 0)
        return "cannot open " + path + ": " + (errno == EINVAL ? "not a regular file" : std::strerror(errno));
    ::close(fd);
    if (!data.ExtractStreamInformation(path.c_str()))
        return path + " is not a recording with telemetry";
    return std::nullopt;
}

int printRecords(const std::string& path) {
    ZLXBlackBoxData data;
    if (const auto error = extract(path, data))
        return fail(*error);
    Output out;
    writeRow(out, {"index", "time", "x", "y", "z", "unit", "sentences", "latitude", "longitude", "speed_kmh", "hdop",
                   "satellites", "gps_valid", "utc"});
    // Each row shows the last fix its own record's text produced; none, when it produced none.
    size_t fixes = 0;
    std::string line;
    for (size_t i = 0; i < data.m_Times.size(); ++i) {
        const ZLXGSensor& g = data.m_GSensors[i];
        const size_t sentences = data.m_RecordSentenceCounts[i];
        fixes += std::min(sentences, ZLXBlackBoxData::kMaxFixesPerText);
        Row row(line);
        row.integer((long long)i).integer(data.m_Times[i]).fixed(g.x, 4).fixed(g.y, 4).fixed(g.z, 4);
        row.text(std::string(1, char(data.m_vGpsData[i].data.unit))).integer((long long)sentences);
        if (sentences > 0 && fixes <= data.m_NMEAs.size()) {
            const ZLXGpsData& fix = data.m_NMEAs[fixes - 1];
            double lat = 0, lon = 0;
            degrees(fix, lat, lon);
            row.fixed(lat, 6).fixed(lon, 6).fixed(fix.SpeedOverGround * 1.852, 1).fixed(fix.HDOP, 1);
            row.integer(fix.SatelliteUsedCount).integer(fix.gpsValid).text(utc(fix.Now));
        } else {
            row.empty(7);
        }
        out << line << "\r\n";
    }
    return 0;
}

int writeGpx(const std::string& path) {
    ZLXBlackBoxData data;
    if (const auto error = extract(path, data))
        return fail(*error);
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    Output out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:daxo=\"urn:daxo:telemetry:1\" "
           "version=\"1.1\" creator=\"daxo-telemetry\" "
           "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
           "    <trk>\n"
           "        <name>"
        << xmlText(name)
        << "</name>\n"
           "        <trkseg>\n";
    for (const ZLXGpsData& fix : data.m_NMEAs) {
        if (!hasPosition(fix))
            continue;
        double lat = 0, lon = 0;
        degrees(fix, lat, lon);
        out << "            <trkpt lat=\"" << number(lat, 7) << "\" lon=\"" << number(lon, 7) << "\">\n";
        if (const std::string time = utc(fix.Now); !time.empty())
            out << "                <time>" << time << "</time>\n";
        out << "                <hdop>" << number(fix.HDOP, 1) << "</hdop>\n"
            << "                <extensions>\n"
            << "                    <daxo:speed>" << number(fix.SpeedOverGround * 0.514444, 2) << "</daxo:speed>\n"
            << "                </extensions>\n"
            << "            </trkpt>\n";
    }
    out << "        </trkseg>\n    </trk>\n</gpx>\n";
    return 0;
}

int parseLog(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return fail("cannot open " + path);
    Output out;
    writeRow(out, {"accepted", "NS", "EW", "Enable_GNGNS", "Enable_GNGSA", "Cnt_GNGSA", "gpsValid", "SatelliteCount",
                   "SatelliteUsedCount", "SatelliteUsedCount_GPS", "SatelliteUsedCount_GLONASS", "PDOP", "HDOP",
                   "VDOP", "Latitude", "Longitude", "SpeedOverGround", "CourseOverGround", "Now"});
    ZLXNMEASentenceParser parser;
    std::string line;
    while (std::getline(file, line)) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        const bool accepted = parser.parse(line);
        const ZLXGpsData& g = parser.m_Current;
        writeRow(out, {std::to_string(int(accepted)), std::string(1, char(g.NS)), std::string(1, char(g.EW)),
                       std::to_string(g.Enable_GNGNS), std::to_string(g.Enable_GNGSA), std::to_string(g.Cnt_GNGSA),
                       std::to_string(int(g.gpsValid)), std::to_string(g.SatelliteCount),
                       std::to_string(g.SatelliteUsedCount), std::to_string(g.SatelliteUsedCount_GPS),
                       std::to_string(g.SatelliteUsedCount_GLONASS), format("%g", g.PDOP), format("%g", g.HDOP),
                       format("%g", g.VDOP), format("%.12g", g.Latitude), format("%.12g", g.Longitude),
                       format("%g", g.SpeedOverGround), format("%g", g.CourseOverGround), utc(g.Now)});
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setLogIdentity("daxo-telemetry");
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("usage: daxo-telemetry RECORDING         the telemetry, one CSV row per record\n"
                    "       daxo-telemetry --gpx RECORDING   the route as a GPX 1.1 track\n"
                    "       daxo-telemetry --nmea LOG        an NMEA log through the same parser\n");
        return 0;
    }
    if (args.size() == 1 && !args[0].starts_with('-'))
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
