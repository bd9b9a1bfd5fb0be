// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-telemetry RECORDING                       one CSV row per telemetry record
// daxo-telemetry --gpx|--kml|--csv RECORDING...  the route of the recordings, one after the other
// daxo-telemetry --gpx|--kml|--csv --trip N DIR  the route of the folder's N-th trip
// daxo-telemetry --trips [--gap SECONDS] DIR     the folder's trips, one CSV row each
// daxo-telemetry --nmea LOG                      one CSV row per sentence of an NMEA log
// No toolkit: the program starts in about a millisecond and formats its rows itself.
#include "telemetry/ZLXBlackBoxData.h"
#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"
#include "presentation/ZLXMediaTableText.h"
#include "telemetry/ZLXTrip.h"

#include <algorithm>
#include <cmath>
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

// The fix's position in signed decimal degrees, its own hemispheres deciding the signs.
void degrees(const ZLXGpsData& fix, double& lat, double& lon) {
    convertNmeaToDegrees(&lat, &lon, fix.NS == 'S' ? -fix.Latitude : fix.Latitude,
                         fix.EW == 'W' ? -fix.Longitude : fix.Longitude);
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
        const ZLXGpsData* fix = sentences > 0 && fixes <= data.m_NMEAs.size() ? &data.m_NMEAs[fixes - 1] : nullptr;
        double lat = 0, lon = 0;
        if (fix)
            degrees(*fix, lat, lon);
        // a text without a position shows none, whatever its validity flag says
        if (fix && (fix->Latitude != 0 || fix->Longitude != 0) && std::isfinite(lat) && std::isfinite(lon)) {
            row.fixed(lat, 6).fixed(lon, 6).fixed(fix->SpeedOverGround * 1.852, 1).fixed(fix->HDOP, 1);
            row.integer(fix->SatelliteUsedCount).integer(fix->gpsValid).text(isoUtc(fix->Now));
        } else {
            row.empty(7);
        }
        out << line << "\r\n";
    }
    return 0;
}

// Tracks come through the index of recordings read before, unless --no-index.
std::unique_ptr<ZLXTrackCache> g_cache = std::make_unique<ZLXTrackCache>();

std::shared_ptr<const ZLXTrack> trackOf(const std::string& path) {
    return g_cache->track(path);
}

// The route of some groups played one after the other, in the chosen format.
int writeRoute(const std::string& format, const ZLXTrip& trip, const std::string& name, const std::string& folder) {
    const ZLXImpactThresholds thresholds = impactThresholdsOf(folder + "/config.bin").value_or(ZLXImpactThresholds{});
    const ZLXDrive drive = ZLXDrive::load(trip, trackOf, thresholds);
    for (size_t i = 0; i < drive.tracks.size(); ++i) {
        if (drive.tracks[i]->points.empty())
            std::fprintf(stderr, "daxo-telemetry: no telemetry in %s\n", drive.trip.groups[i].playPath().c_str());
    }
    Output out;
    if (format == "--gpx")
        out << routeGpx(drive.route, name, drive.marks());
    else if (format == "--kml")
        out << routeKml(drive.route, name, drive.marks());
    else
        out << routeCsv(drive.route);
    return 0;
}

std::vector<ZLXTrip> tripsOf(const std::string& folder, double gap) {
    const ZLXMediaList::Contents contents = ZLXMediaList::build(folder);
    return groupTrips(tripGroupsWithDurations(contents.medias, contents.mediaPairDic, g_cache.get()), gap);
}

std::string civilText(std::optional<int64_t> seconds) {
    return seconds ? civilDateTimeText(*seconds) : std::string();
}

int listTrips(const std::string& folder, double gap) {
    Output out;
    writeRow(out, {"trip", "start", "end", "seconds", "recordings", "distance_km", "max_speed_kmh", "impacts"});
    const std::vector<ZLXTrip> trips = tripsOf(folder, gap);
    const ZLXImpactThresholds thresholds = impactThresholdsOf(folder + "/config.bin").value_or(ZLXImpactThresholds{});
    for (size_t i = 0; i < trips.size(); ++i) {
        const ZLXDrive drive = ZLXDrive::load(trips[i], trackOf, thresholds);
        writeRow(out, {std::to_string(i + 1), civilText(drive.trip.startTime()), civilText(drive.trip.endTime()),
                       number(drive.trip.duration(), 1), std::to_string(drive.trip.groups.size()),
                       number(drive.route.distanceMeters() / 1000, 3), number(drive.route.maxSpeedKmh(), 1),
                       std::to_string(drive.impacts.size())});
    }
    return 0;
}

int parseLog(const std::string& path) {
    // a regular file only: a folder, a FIFO or a device (/dev/zero) is refused at once
    const int fd = openRegularFile(path);
    if (fd < 0)
        return fail(errno == EINVAL ? path + " is not a regular file" : "cannot open " + path + ": " + std::strerror(errno));
    Output out;
    writeRow(out, {"accepted", "NS", "EW", "Enable_GNGNS", "Enable_GNGSA", "Cnt_GNGSA", "gpsValid", "SatelliteCount",
                   "SatelliteUsedCount", "SatelliteUsedCount_GPS", "SatelliteUsedCount_GLONASS", "PDOP", "HDOP",
                   "VDOP", "Latitude", "Longitude", "SpeedOverGround", "CourseOverGround", "Now"});
    ZLXNMEASentenceParser parser;
    // read in pieces, each line held to what a sentence can be: a file without line ends
    // costs no more memory than one with them
    constexpr size_t kLongestLine = 4096;
    std::string pending, line;
    std::vector<char> piece(1 << 16);
    uint64_t at = 0;
    bool more = true;
    auto nextLine = [&]() -> bool {
        for (;;) {
            const size_t end = pending.find('\n');
            if (end != std::string::npos) {
                line.assign(pending, 0, std::min(end, kLongestLine));
                pending.erase(0, end + 1);
                return true;
            }
            if (!more) {
                if (pending.empty())
                    return false;
                line.assign(pending, 0, std::min(pending.size(), kLongestLine));
                pending.clear();
                return true;
            }
            const size_t got = readFullyAt(fd, at, piece.data(), piece.size());
            at += got;
            more = got == piece.size();
            pending.append(piece.data(), got);
            if (pending.size() > 2 * kLongestLine && pending.find('\n') == std::string::npos)
                pending.erase(kLongestLine, pending.size() - 2 * kLongestLine); // keep the start, drop the middle
        }
    };
    while (nextLine()) {
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
                       format("%g", g.SpeedOverGround), format("%g", g.CourseOverGround), isoUtc(g.Now)});
    }
    ::close(fd);
    return 0;
}

int usage(FILE* to) {
    std::fprintf(to, "usage: daxo-telemetry RECORDING                       the telemetry, one CSV row per record\n"
                     "       daxo-telemetry --gpx|--kml|--csv RECORDING...  the route of the recordings, in turn\n"
                     "       daxo-telemetry --gpx|--kml|--csv --trip N DIR  the route of the folder's N-th trip\n"
                     "       daxo-telemetry --trips [--gap SECONDS] DIR     the folder's trips\n"
                     "       daxo-telemetry --nmea LOG                      an NMEA log through the same parser\n"
                     "options: --verbose   also show the diagnostics the program logs\n"
                     "         --no-index  read every recording, not the index of those read before\n");
    return to == stdout ? 0 : 2;
}

std::optional<double> positiveNumber(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value > 0) || value > 1e9)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv) {
    setLogIdentity("daxo-telemetry");
    std::vector<std::string> args(argv + 1, argv + argc);
    // diagnostics go to the system log; to stderr as well only when asked
    const auto verbose = std::find(args.begin(), args.end(), std::string("--verbose"));
    setLogEcho(verbose != args.end());
    if (verbose != args.end())
        args.erase(verbose);
    if (const auto noIndex = std::find(args.begin(), args.end(), std::string("--no-index")); noIndex != args.end()) {
        args.erase(noIndex);
    } else {
        std::string why;
        if (auto index = ZLXTrackIndex::open(ZLXTrackIndex::defaultPath(), &why))
            g_cache = std::make_unique<ZLXTrackCache>(std::move(index));
        else
            ZLXLog("no index of recordings: %s", why.c_str());
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h"))
        return usage(stdout);
    if (args.size() == 1 && !args[0].starts_with('-'))
        return printRecords(args[0]);
    if (args.size() == 2 && args[0] == "--nmea")
        return parseLog(args[1]);
    constexpr double kGap = 180;
    if (args.size() == 2 && args[0] == "--trips")
        return listTrips(args[1], kGap);
    if (args.size() == 4 && args[0] == "--trips" && args[1] == "--gap") {
        const auto gap = positiveNumber(args[2]);
        return gap ? listTrips(args[3], *gap) : fail("the gap is a number of seconds above 0");
    }
    const bool route = !args.empty() && (args[0] == "--gpx" || args[0] == "--kml" || args[0] == "--csv");
    if (route && args.size() == 4 && args[1] == "--trip") {
        const auto n = positiveNumber(args[2]);
        const std::vector<ZLXTrip> trips = tripsOf(args[3], kGap);
        if (!n || *n != double(size_t(*n)) || size_t(*n) > trips.size())
            return fail(args[3] + " has " + std::to_string(trips.size()) + " trips; no trip " + args[2]);
        return writeRoute(args[0], trips[size_t(*n) - 1], "Trip " + args[2], args[3]);
    }
    if (route && args.size() >= 2) {
        ZLXTrip trip;
        for (size_t i = 1; i < args.size(); ++i) {
            ZLXBlackBoxData data;
            if (const auto error = extract(args[i], data))
                return fail(*error);
            ZLXTripGroup group;
            group.media = ZLXMedia::mediaWithPath(args[i]);
            group.frontPath = args[i];
            trip.groups.push_back(group);
        }
        const std::string& first = args[1];
        const size_t slash = first.rfind('/');
        return writeRoute(args[0], trip, first.substr(slash == std::string::npos ? 0 : slash + 1),
                          slash == std::string::npos ? std::string(".") : first.substr(0, slash));
    }
    return usage(stderr);
}
