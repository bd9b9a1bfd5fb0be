// SPDX-License-Identifier: GPL-3.0-or-later
// Where the car was, across a library: every fix of every front recording, with an R*Tree on
// position, in "index.sqlite" beside the recordings. The files are the truth: the index is
// brought up to date from them (a recording new or changed is read again, one gone is dropped)
// and made anew when it is missing, damaged or of another version.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace daxo {

class ZLXTrackCache;
struct ZLXTrackPoint;

struct ZLXBox {
    double south = 0, west = 0, north = 0, east = 0;
};
// "S,W,N,E" in decimal degrees; none when it is not four numbers of a box on the globe.
std::optional<ZLXBox> parseBox(const std::string& text);

// A circle on the ground: its centre in decimal degrees, its radius in metres.
struct ZLXCircle {
    double latitude = 0, longitude = 0, metres = 0;
};
// The box around it.
ZLXBox boxAround(const ZLXCircle& circle);
// "LAT,LON,METRES"; none when it is not a place on the globe and a radius from 1 m to 100 km.
std::optional<ZLXCircle> parseCircle(const std::string& text);

struct ZLXPassFilter {
    std::optional<int64_t> from, to; // civil seconds of the recording's start, `to` exclusive
    bool eventsOnly = false;
    double minSpeedKmh = 0;
    bool impactsOnly = false; // an impact during the pass or within 10 s of it
    std::optional<ZLXCircle> around; // the passes through this circle (the box searched holds it)
};

// One pass of the car through a box: its first fix there.
struct ZLXPass {
    std::string recording; // the recording's path
    int64_t start = 0;     // the recording's start (the camera's clock), civil seconds
    double seconds = 0;    // into the recording
    double latitude = 0, longitude = 0, speedKmh = 0, course = 0;
    bool event = false;
};

// One fix as the index keeps it (for the search and its check).
struct ZLXPlaceFix {
    int64_t recording = 0; // the recording's row
    int64_t ordinal = 0;   // its place among the recording's fixes
    double seconds = 0, latitude = 0, longitude = 0, speedKmh = 0, course = 0;
    double fastest = 0; // the top speed of the stretch it stands for
};

class ZLXPlaceIndex {
public:
    static constexpr int kVersion = 3;
    // The index of the library at `library`; none (with why) when it cannot be kept there.
    static std::unique_ptr<ZLXPlaceIndex> open(const std::string& library, std::string* why = nullptr);
    ~ZLXPlaceIndex();

    // Brings the index up to date with the library's front recordings; how many were read.
    size_t update(ZLXTrackCache& tracks);
    // One recording's fixes (`start`: the camera's time at its start, civil seconds), inside a
    // transaction the caller holds; false when the index would not take it.
    bool addRecording(const std::string& path, int64_t size, int64_t modified, std::optional<int64_t> start, bool event,
                      const std::vector<ZLXTrackPoint>& points, const std::vector<double>& impactSeconds = {});
    bool begin();
    bool commit();
    // Every pass through `box` (and the filter's circle), newest first.
    std::vector<ZLXPass> find(const ZLXBox& box, const ZLXPassFilter& filter = {});
    int64_t fixes();

private:
    explicit ZLXPlaceIndex(sqlite3* db, std::string library) : m_db(db), m_library(std::move(library)) {}
    std::vector<ZLXPass> passesOf(const std::vector<ZLXPlaceFix>& inBox, const ZLXPassFilter& filter);
    sqlite3* m_db;
    std::string m_library;
};

// "date,time,recording,seconds,latitude,longitude,speed_kmh" then one line per pass.
std::string passesCsv(const std::vector<ZLXPass>& passes);

} // namespace daxo
