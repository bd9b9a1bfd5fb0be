// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXRoute.h"

#include "library/ZLXFileIO.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <tuple>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace daxo {

namespace {

uint32_t be32(const uint8_t* b) {
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}
uint64_t be64(const uint8_t* b) {
    return uint64_t(be32(b)) << 32 | be32(b + 4);
}

// Box `type` among the boxes from `begin` to `end`; its body's start and end.
bool findBox(ZLXRecordingReader& file, uint64_t begin, uint64_t end, const char* type, uint64_t& bodyBegin, uint64_t& bodyEnd) {
    uint64_t p = begin;
    for (int boxes = 0; boxes < 4096 && p + 8 <= end; ++boxes) {
        uint8_t header[16];
        if (file.read(p, header, 8) != 8)
            return false;
        uint64_t size = be32(header);
        uint64_t headerSize = 8;
        if (size == 1) { // the size follows in 64 bits
            if (file.read(p + 8, header + 8, 8) != 8)
                return false;
            size = be64(header + 8);
            headerSize = 16;
        } else if (size == 0) { // to the end
            size = end - p;
        }
        if (size < headerSize || size > end - p)
            return false;
        if (std::equal(type, type + 4, header + 4)) {
            bodyBegin = p + headerSize;
            bodyEnd = p + size;
            return true;
        }
        p += size;
    }
    return false;
}

void degreesOf(const ZLXGpsData& fix, double& lat, double& lon) {
    convertNmeaToDegrees(&lat, &lon, fix.NS == 'S' ? -fix.Latitude : fix.Latitude,
                         fix.EW == 'W' ? -fix.Longitude : fix.Longitude);
}

bool validDateTime(const _SYSTEMTIME& t) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.wYear == 0 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1)
        return false;
    const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
    const int days = kDays[t.wMonth - 1] + (t.wMonth == 2 && leap ? 1 : 0);
    return t.wDay <= days && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

std::string fixed(double v, int decimals) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string csvText(const std::string& v) {
    if (v.find_first_of(",\"\r\n") == std::string::npos)
        return v;
    std::string quoted = "\"";
    for (const char c : v)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

} // namespace

namespace {

// The boxes of one level, in turn.
struct BoxWalk {
    ZLXRecordingReader& file;
    uint64_t p, end;
    int boxes = 0;
    char type[4] = {};
    uint64_t bodyBegin = 0, bodyEnd = 0;

    bool next() {
        if (boxes++ >= 4096 || p + 8 > end)
            return false;
        uint8_t header[16];
        if (file.read(p, header, 8) != 8)
            return false;
        uint64_t size = be32(header);
        uint64_t headerSize = 8;
        if (size == 1) {
            if (file.read(p + 8, header + 8, 8) != 8)
                return false;
            size = be64(header + 8);
            headerSize = 16;
        } else if (size == 0) {
            size = end - p;
        }
        if (size < headerSize || size > end - p)
            return false;
        std::copy(header + 4, header + 8, type);
        bodyBegin = p + headerSize;
        bodyEnd = p + size;
        p += size;
        return true;
    }
    bool is(const char* name) const { return std::equal(name, name + 4, type); }
};

// What one track's samples hold: their time from the sample durations (stts) in the media
// header's time scale, and whether the track is a picture.
struct TrackFacts {
    std::optional<double> seconds;
    bool video = false;
    int width = 0, height = 0;
};

TrackFacts trackFacts(ZLXRecordingReader& file, uint64_t begin, uint64_t end) {
    TrackFacts facts;
    uint64_t tkhdBegin = 0, tkhdEnd = 0;
    uint8_t header[96] = {};
    if (findBox(file, begin, end, "tkhd", tkhdBegin, tkhdEnd) && tkhdEnd - tkhdBegin >= 84 &&
        file.read(tkhdBegin, header, size_t(std::min<uint64_t>(sizeof header, tkhdEnd - tkhdBegin))) >= 84) {
        // the picture's size in 16.16 fixed point at the header's end
        const size_t at = header[0] == 1 ? 88 : 76;
        if (tkhdEnd - tkhdBegin >= at + 8) {
            facts.width = int(std::min<uint32_t>(be32(header + at) >> 16, 16384));
            facts.height = int(std::min<uint32_t>(be32(header + at + 4) >> 16, 16384));
        }
    }
    uint64_t mdiaBegin = 0, mdiaEnd = 0;
    if (!findBox(file, begin, end, "mdia", mdiaBegin, mdiaEnd))
        return facts;
    uint32_t scale = 0;
    uint64_t stts = 0, sttsEnd = 0;
    for (BoxWalk w{file, mdiaBegin, mdiaEnd}; w.next();) {
        uint8_t body[24] = {};
        if (w.is("mdhd") && file.read(w.bodyBegin, body, 24) >= 24)
            scale = be32(body + (body[0] == 1 ? 20 : 12));
        else if (w.is("hdlr") && file.read(w.bodyBegin, body, 12) == 12)
            facts.video = std::equal(body + 8, body + 12, "vide");
        else if (w.is("minf")) {
            uint64_t stblBegin = 0, stblEnd = 0;
            if (findBox(file, w.bodyBegin, w.bodyEnd, "stbl", stblBegin, stblEnd))
                findBox(file, stblBegin, stblEnd, "stts", stts, sttsEnd);
        }
    }
    if (scale == 0 || sttsEnd < stts + 8)
        return facts;
    uint8_t head[8];
    if (file.read(stts, head, 8) != 8)
        return facts;
    // the entries the box holds, whatever its count claims
    const uint64_t entries = std::min<uint64_t>(be32(head + 4), (sttsEnd - stts - 8) / 8);
    long double units = 0;
    uint8_t chunk[8 * 512];
    for (uint64_t done = 0; done < entries;) {
        const uint64_t n = std::min<uint64_t>(entries - done, 512);
        if (file.read(stts + 8 + done * 8, chunk, size_t(n * 8)) != n * 8)
            return facts;
        for (uint64_t i = 0; i < n; ++i)
            units += static_cast<long double>(be32(chunk + i * 8)) * be32(chunk + i * 8 + 4);
        done += n;
    }
    facts.seconds = double(units / scale);
    return facts;
}

} // namespace

ZLXMovieFacts movieFacts(const char* path) {
    ZLXMovieFacts facts;
    ZLXRecordingReader file(path);
    if (!file.isOpen())
        return facts;
    const uint64_t end = file.size();
    uint64_t moovBegin = 0, moovEnd = 0, mvhdBegin = 0, mvhdEnd = 0;
    uint8_t body[32];
    std::optional<double> header;
    const bool found = end > 0 && findBox(file, 0, end, "moov", moovBegin, moovEnd);
    if (found)
        file.hold(moovBegin, moovEnd - moovBegin); // one read for the whole walk below
    if (found &&
        findBox(file, moovBegin, moovEnd, "mvhd", mvhdBegin, mvhdEnd) && mvhdEnd - mvhdBegin >= 20 &&
        file.read(mvhdBegin, body, std::min<uint64_t>(sizeof body, mvhdEnd - mvhdBegin)) >= 20) {
        // version 0: times in 32 bits; version 1: in 64
        const bool wide = body[0] == 1;
        const uint32_t scale = be32(body + (wide ? 20 : 12));
        const uint64_t length = wide ? (mvhdEnd - mvhdBegin >= 32 ? be64(body + 24) : 0) : be32(body + 16);
        if (scale > 0 && length != UINT64_MAX && (wide || length != UINT32_MAX))
            header = double(length) / scale;
    }
    if (header) {
        // The header's length, never more than the longest track's samples hold: a header
        // that claims hours for seconds of samples is not believed.
        std::optional<double> samples;
        for (BoxWalk w{file, moovBegin, moovEnd}; w.next();) {
            if (!w.is("trak"))
                continue;
            const TrackFacts track = trackFacts(file, w.bodyBegin, w.bodyEnd);
            const bool picture = track.video && track.seconds && *track.seconds > 0;
            if (picture && !facts.hasVideo) {
                facts.width = track.width;
                facts.height = track.height;
            }
            facts.hasVideo = facts.hasVideo || picture;
            if (track.seconds)
                samples = std::max(samples.value_or(0.0), *track.seconds);
        }
        if (samples && *samples > 0)
            facts.duration = std::min(*header, *samples);
    }
    return facts;
}

std::optional<double> movieHeaderDuration(const char* path) {
    ZLXRecordingReader file(path);
    uint64_t moovBegin = 0, moovEnd = 0, mvhdBegin = 0, mvhdEnd = 0;
    uint8_t body[32];
    if (!file.isOpen() || !findBox(file, 0, file.size(), "moov", moovBegin, moovEnd) ||
        !findBox(file, moovBegin, moovEnd, "mvhd", mvhdBegin, mvhdEnd) || mvhdEnd - mvhdBegin < 20 ||
        file.read(mvhdBegin, body, size_t(std::min<uint64_t>(sizeof body, mvhdEnd - mvhdBegin))) < 20)
        return std::nullopt;
    const bool wide = body[0] == 1;
    const uint32_t scale = be32(body + (wide ? 20 : 12));
    const uint64_t length = wide ? (mvhdEnd - mvhdBegin >= 32 ? be64(body + 24) : 0) : be32(body + 16);
    if (scale == 0 || length == 0 || length == UINT64_MAX || (!wide && length == UINT32_MAX))
        return std::nullopt;
    return double(length) / scale;
}

std::optional<double> recordingDuration(const char* path) {
    return movieFacts(path).duration;
}

namespace {

// The fix a record's text left, on `point`: its time when valid and dated, the rest when it has
// a position; false when it has none.
bool placeFix(const ZLXGpsData& fix, ZLXTrackPoint& point) {
    double lat = 0, lon = 0;
    degreesOf(fix, lat, lon);
    // a valid fix gives the satellites' time even before its position is known
    if (fix.gpsValid && validDateTime(fix.Now))
        point.utc = fix.Now;
    if (!fix.gpsValid || (fix.Latitude == 0 && fix.Longitude == 0) || !std::isfinite(lat) || !std::isfinite(lon) ||
        std::fabs(lat) > 90 || std::fabs(lon) > 180)
        return false;
    point.hasFix = true;
    point.latitude = lat;
    point.longitude = lon;
    point.speedKmh = std::isfinite(fix.SpeedOverGround) ? fix.SpeedOverGround * 1.852 : 0;
    point.course = std::isfinite(fix.CourseOverGround) ? fix.CourseOverGround : 0;
    point.hdop = std::isfinite(fix.HDOP) ? fix.HDOP : 0;
    point.satellites = fix.SatelliteUsedCount;
    return true;
}

} // namespace

ZLXTrack makeTrack(const ZLXBlackBoxData& data, double duration, std::string name, size_t recordsInAll) {
    ZLXTrack track;
    track.name = std::move(name);
    track.duration = duration;
    const size_t n = data.m_GSensors.size();
    const size_t places = std::max(n, recordsInAll);
    track.points.reserve(n);
    size_t fixes = 0;
    for (size_t i = 0; i < n; ++i) {
        ZLXTrackPoint point;
        point.seconds = duration * double(i) / double(places);
        point.g = data.m_GSensors[i];
        const size_t sentences = i < data.m_RecordSentenceCounts.size() ? data.m_RecordSentenceCounts[i] : 0;
        fixes += std::min(sentences, ZLXBlackBoxData::kMaxFixesPerText);
        // the last fix this record's text left, when it left one with a position
        if (sentences > 0 && fixes <= data.m_NMEAs.size())
            placeFix(data.m_NMEAs[fixes - 1], point);
        track.points.push_back(point);
    }
    if (!data.m_vGpsData.empty())
        track.speedInKmh = data.m_vGpsData.front().data.unit == '9';
    return track;
}

bool lastRecordHasDatedFix(const ZLXBlackBoxData& data) {
    ZLXTrackPoint point;
    if (data.m_RecordSentenceCounts.empty() || data.m_RecordSentenceCounts.back() == 0 || data.m_NMEAs.empty())
        return false;
    placeFix(data.m_NMEAs.back(), point);
    return validDateTime(point.utc);
}

double ZLXRoute::duration() const {
    return startOf(m_tracks.size());
}

double ZLXRoute::startOf(size_t part) const {
    double start = 0;
    for (size_t i = 0; i < part && i < m_tracks.size(); ++i)
        start += m_tracks[i]->duration;
    return start;
}

std::vector<ZLXRoutePoint> ZLXRoute::points() const {
    std::vector<ZLXRoutePoint> all;
    double start = 0;
    for (size_t part = 0; part < m_tracks.size(); ++part) {
        for (const ZLXTrackPoint& p : m_tracks[part]->points)
            all.push_back({start + p.seconds, &p, part});
        start += m_tracks[part]->duration;
    }
    return all;
}

std::vector<std::vector<ZLXRoutePoint>> ZLXRoute::lines() const {
    std::vector<std::vector<ZLXRoutePoint>> lines;
    double last = 0;
    // A fix is one point: the records that carry the same fix (or an older one, out of turn)
    // add none, so the times of a line only ever increase.
    std::optional<std::tuple<int, int, int, int, int, int, int>> lastFix;
    for (const ZLXRoutePoint& p : points()) {
        if (!p.point->hasFix)
            continue;
        if (const _SYSTEMTIME& t = p.point->utc; t.wYear != 0) {
            const auto fix = std::make_tuple(int(t.wYear), int(t.wMonth), int(t.wDay), int(t.wHour), int(t.wMinute),
                                             int(t.wSecond), int(t.wMilliseconds));
            if (lastFix && fix <= *lastFix)
                continue;
            lastFix = fix;
        }
        if (lines.empty() || p.time - last > kMaxFixGap)
            lines.emplace_back();
        lines.back().push_back(p);
        last = p.time;
    }
    return lines;
}

double haversineMeters(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kEarthRadius = 6371008.8;
    constexpr double kRadians = M_PI / 180;
    const double dLat = (lat2 - lat1) * kRadians, dLon = (lon2 - lon1) * kRadians;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * kRadians) * std::cos(lat2 * kRadians) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

double ZLXRoute::distanceMeters() const {
    double meters = 0;
    for (const auto& line : lines()) {
        for (size_t i = 1; i < line.size(); ++i)
            meters += haversineMeters(line[i - 1].point->latitude, line[i - 1].point->longitude,
                                      line[i].point->latitude, line[i].point->longitude);
    }
    return meters;
}

double ZLXRoute::maxSpeedKmh() const {
    double fastest = 0;
    for (const ZLXTrack* track : m_tracks) {
        for (const ZLXTrackPoint& p : track->points) {
            if (p.hasFix)
                fastest = std::max(fastest, p.speedKmh);
        }
    }
    return fastest;
}

std::string isoUtc(const _SYSTEMTIME& t) {
    if (!validDateTime(t))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// The length of the valid UTF-8 sequence at `i` that XML 1.0 allows; 0 when there is none
// (a byte of another encoding, a cut sequence, a surrogate, U+FFFE or U+FFFF).
size_t utf8Sequence(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned lead = byte(i);
    const size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > text.size())
        return 0;
    uint32_t code = lead & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF)
        return 0;
    return n;
}

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            // a name need not be UTF-8; what is not stands as U+FFFD, so the file stays XML
            const size_t n = utf8Sequence(text, i);
            escaped += n ? text.substr(i, n) : std::string("\xEF\xBF\xBD");
            i += n ? n - 1 : 0;
            continue;
        }
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default:
            // control characters have no place in XML 1.0
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                escaped += c;
        }
    }
    return escaped;
}

std::string routeGpx(const ZLXRoute& route, const std::string& name, const std::vector<ZLXRouteMark>& marks) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:daxo=\"urn:daxo:telemetry:1\" "
                      "version=\"1.1\" creator=\"DAXO Viewer\" "
                      "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                      "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    for (const ZLXRouteMark& mark : marks) {
        out += "  <wpt lat=\"" + fixed(mark.latitude, 7) + "\" lon=\"" + fixed(mark.longitude, 7) + "\">\n";
        out += "    <name>" + xmlEscaped(mark.name) + "</name>\n    <type>impact</type>\n  </wpt>\n";
    }
    out += "  <trk>\n    <name>" + xmlEscaped(name) + "</name>\n";
    for (const auto& line : route.lines()) {
        out += "    <trkseg>\n";
        for (const ZLXRoutePoint& rp : line) {
            const ZLXTrackPoint& p = *rp.point;
            out += "      <trkpt lat=\"" + fixed(p.latitude, 7) + "\" lon=\"" + fixed(p.longitude, 7) + "\">\n";
            if (const std::string time = isoUtc(p.utc); !time.empty())
                out += "        <time>" + time + "</time>\n";
            if (p.satellites > 0) // a fix without a satellite count (an RMC sentence alone) says none
                out += "        <sat>" + std::to_string(p.satellites) + "</sat>\n";
            out += "        <hdop>" + fixed(p.hdop, 1) + "</hdop>\n";
            out += "        <extensions><daxo:speed>" + fixed(p.speedKmh / 3.6, 2) + "</daxo:speed><daxo:course>" +
                   fixed(p.course, 1) + "</daxo:course></extensions>\n";
            out += "      </trkpt>\n";
        }
        out += "    </trkseg>\n";
    }
    out += "  </trk>\n</gpx>\n";
    return out;
}

std::string routeKml(const ZLXRoute& route, const std::string& name, const std::vector<ZLXRouteMark>& marks) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n"
                      "  <name>" +
                      xmlEscaped(name) +
                      "</name>\n"
                      "  <Style id=\"route\"><LineStyle><color>ff2c3ad3</color><width>4</width></LineStyle></Style>\n";
    for (const auto& line : route.lines()) {
        out += "  <Placemark>\n    <name>" + xmlEscaped(name) + "</name>\n    <styleUrl>#route</styleUrl>\n";
        out += "    <LineString>\n      <tessellate>1</tessellate>\n      <coordinates>\n";
        for (const ZLXRoutePoint& rp : line)
            out += "        " + fixed(rp.point->longitude, 7) + "," + fixed(rp.point->latitude, 7) + ",0\n";
        out += "      </coordinates>\n    </LineString>\n  </Placemark>\n";
    }
    for (const ZLXRouteMark& mark : marks) {
        out += "  <Placemark>\n    <name>" + xmlEscaped(mark.name) + "</name>\n    <Point><coordinates>" +
               fixed(mark.longitude, 7) + "," + fixed(mark.latitude, 7) + ",0</coordinates></Point>\n  </Placemark>\n";
    }
    out += "</Document>\n</kml>\n";
    return out;
}

std::string routeCsv(const ZLXRoute& route) {
    std::string out = "recording,seconds,route_seconds,x,y,z,latitude,longitude,speed_kmh,course,hdop,satellites,utc\r\n";
    for (const ZLXRoutePoint& rp : route.points()) {
        const ZLXTrackPoint& p = *rp.point;
        out += csvText(route.tracks()[rp.part]->name) + ',' + fixed(p.seconds, 3) + ',' + fixed(rp.time, 3) + ',' +
               fixed(p.g.x, 4) + ',' + fixed(p.g.y, 4) + ',' + fixed(p.g.z, 4) + ',';
        if (p.hasFix) {
            out += fixed(p.latitude, 7) + ',' + fixed(p.longitude, 7) + ',' + fixed(p.speedKmh, 1) + ',' +
                   fixed(p.course, 1) + ',' + fixed(p.hdop, 1) + ',' + std::to_string(p.satellites) + ',' +
                   isoUtc(p.utc);
        } else {
            out += ",,,,,,";
        }
        out += "\r\n";
    }
    return out;
}

} // namespace daxo
