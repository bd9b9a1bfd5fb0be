// SPDX-License-Identifier: GPL-3.0-or-later
// What a recording's telemetry says about the drive, kept small: one point per record with
// its G-sensor sample and, when the record's text gave one, its fix. A route is the points of
// one or more recordings on one time line; the exports (GPX 1.1, KML, CSV) are written from it.
#pragma once

#include "telemetry/ZLXBlackBoxData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

// The length of a recording (movieFacts below); none when the file has none to read.
std::optional<double> recordingDuration(const char* path);
// The length the movie header alone states, in two reads of a card (the file's first boxes,
// the movie box's head): what a list of many recordings is drawn with before their tracks are
// read, which bound it by their samples.
std::optional<double> movieHeaderDuration(const char* path);

// What a recording's movie holds: its length (the movie header's, bounded by what the samples
// of its longest track hold; none without samples) and whether it has a picture track.
struct ZLXMovieFacts {
    std::optional<double> duration;
    bool hasVideo = false;
    int width = 0, height = 0; // the first picture track's, from its track header
};
ZLXMovieFacts movieFacts(const char* path);

struct ZLXTrackPoint {
    double seconds = 0; // from the start of the recording
    ZLXGSensor g;
    bool hasFix = false;      // the record's text gave a fix with a position
    double latitude = 0;      // decimal degrees, negative south
    double longitude = 0;     // decimal degrees, negative west
    double speedKmh = 0;
    double course = 0;        // degrees from true north
    double hdop = 0;
    uint32_t satellites = 0;
    _SYSTEMTIME utc{};        // the fix's time; all zero when no valid fix carried a date and time
                              // (a valid fix has one before its position is known)
};

// One recording's points. Record i of n stands at i / n of the duration, as the viewer's
// telemetry display places it.
struct ZLXTrack {
    std::string name; // the recording's file name
    double duration = 0;
    bool speedInKmh = true; // the unit the camera showed (the records' unit byte)
    std::vector<ZLXTrackPoint> points;
};

// `recordsInAll`, when more than were read (a walk that ended early), places the points as
// the whole recording's records.
ZLXTrack makeTrack(const ZLXBlackBoxData& data, double duration, std::string name, size_t recordsInAll = 0);
// Whether the last record read left a valid fix with a date and a time.
bool lastRecordHasDatedFix(const ZLXBlackBoxData& data);

// A point of a route: a track point placed on the route's time line.
struct ZLXRoutePoint {
    double time = 0; // seconds from the start of the route
    const ZLXTrackPoint* point = nullptr;
    size_t part = 0; // the track it belongs to
};

// Tracks one after the other, each starting where the one before ended.
class ZLXRoute {
public:
    // A fix more than this many seconds after the previous one starts a new line.
    static constexpr double kMaxFixGap = 10.0;

    void append(const ZLXTrack& track) { m_tracks.push_back(&track); }
    const std::vector<const ZLXTrack*>& tracks() const { return m_tracks; }
    double duration() const;
    double startOf(size_t part) const;
    // The points with a fix, split into lines wherever the fixes pause for longer than
    // kMaxFixGap.
    std::vector<std::vector<ZLXRoutePoint>> lines() const;
    // Every point with or without a fix, in time order.
    std::vector<ZLXRoutePoint> points() const;
    double distanceMeters() const; // along the lines
    double maxSpeedKmh() const;

private:
    std::vector<const ZLXTrack*> m_tracks;
};

double haversineMeters(double lat1, double lon1, double lat2, double lon2);

// "2024-10-03T08:15:00.400Z"; empty without a valid date and time.
std::string isoUtc(const _SYSTEMTIME& t);

// A point the exports mark (an impact) with the text it is shown with.
struct ZLXRouteMark {
    double time = 0; // on the route's time line
    double latitude = 0, longitude = 0;
    std::string name;
};

// GPX 1.1: one trk named `name` with a trkseg per line; each trkpt has time, sat and hdop,
// speed (m/s) and course (degrees) in the extension namespace "urn:daxo:telemetry:1". The
// marks are wpt elements.
std::string routeGpx(const ZLXRoute& route, const std::string& name, const std::vector<ZLXRouteMark>& marks = {});
// KML 2.2: a Placemark with a LineString per line, and a Placemark with a Point per mark.
std::string routeKml(const ZLXRoute& route, const std::string& name, const std::vector<ZLXRouteMark>& marks = {});
// CSV, one row per record: recording, seconds in it, seconds in the route, the G-sensor
// sample, and the fix (empty fields without one). Lines end in CRLF.
std::string routeCsv(const ZLXRoute& route);

// Text for XML character data and attribute values.
std::string xmlEscaped(const std::string& text);

} // namespace daxo
