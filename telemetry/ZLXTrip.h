// SPDX-License-Identifier: GPL-3.0-or-later
// Drives: the groups of a folder that follow each other with short gaps form a trip, which
// plays as one time line; and the impacts of a drive, from the G-sensor and the event
// recordings.
#pragma once

#include "library/ZLXMediaList.h"
#include "telemetry/ZLXRoute.h"
#include "telemetry/ZLXTrackIndex.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

// One group of the list: its front and rear files (either may be missing).
struct ZLXTripGroup {
    std::shared_ptr<const ZLXMedia> media; // the front file, else the rear one
    std::string frontPath, rearPath;
    std::optional<int64_t> start; // seconds of the name's date and time on a plain count; none when undated
    double duration = 0;          // seconds; 0 when not known
    bool isEvent() const { return media && media->isEventMedia(); }
    const std::string& playPath() const { return frontPath.empty() ? rearPath : frontPath; }
};

// The groups of a list in its order (oldest first), durations not yet read.
std::vector<ZLXTripGroup> tripGroupsOf(const std::vector<ZLXMediaList::MediaPtr>& medias,
                                       const ZLXMediaList::PairMap& pairs);
class ZLXTrackCache;
// The same with each group's duration read from its movie header (through `cache` when given:
// a card seen before is not read again).
std::vector<ZLXTripGroup> tripGroupsWithDurations(const std::vector<ZLXMediaList::MediaPtr>& medias,
                                                  const ZLXMediaList::PairMap& pairs, ZLXTrackCache* cache = nullptr);
// Days and seconds of a date and time counted on one plain scale (no time zone, no leap
// seconds); none outside the calendar.
std::optional<int64_t> civilSeconds(int year, int month, int day, int hour, int minute, int second);

// "2024-10-03 08:16:05" for a count of seconds on that scale.
std::string civilDateTimeText(int64_t seconds);

class ZLXTrip {
public:
    std::vector<ZLXTripGroup> groups;

    // Recorded seconds: the gaps between groups are not part of a trip's time line.
    double duration() const;
    double startOf(size_t group) const;
    struct Place {
        size_t group = 0;
        double seconds = 0; // in that group's recording
    };
    // The group and position for a time on the trip's line (kept inside the trip).
    Place placeAt(double tripSeconds) const;
    double timeOf(size_t group, double seconds) const;
    // The first group's start and the last group's end, on the scale of civilSeconds.
    std::optional<int64_t> startTime() const;
    std::optional<int64_t> endTime() const;
};

// Groups whose gap (the next start minus the end of the one before) is under `maxGapSeconds`
// belong to one trip; an undated group is a trip of its own. Trips come oldest first.
std::vector<ZLXTrip> groupTrips(std::vector<ZLXTripGroup> groups, double maxGapSeconds);

// The driving impact thresholds, per axis, in g.
struct ZLXImpactThresholds {
    float x = 1.5f, y = 1.5f, z = 1.5f;
};

struct ZLXImpact {
    double seconds = 0; // in the recording
    float g = 0;        // the largest departure from rest on any axis
    bool eventRecording = false;
};

// Peaks where an axis departs from its resting value (the recording's median, which holds
// gravity whatever way the camera is mounted) by more than its threshold; one impact per peak,
// peaks less than five seconds apart counted once. An event recording always has one, at its
// strongest sample when no peak passes.
std::vector<ZLXImpact> detectImpacts(const ZLXTrack& track, const ZLXImpactThresholds& thresholds, bool eventRecording);
// A track's resting G-sensor value: each axis's median over its samples.
ZLXGSensor restingG(const ZLXTrack& track);

// A recording's track: its telemetry, placed over the length its movie header gives (else
// five records a second, the camera's rate). None when the file cannot be read as a recording.
std::shared_ptr<const ZLXTrack> readTrack(const std::string& path);
// The same, read only as far as the first fix with a date and time (the whole track when it
// has none): a few reads of a card, for the clock check. Its points stand where the whole
// track's would.
std::shared_ptr<const ZLXTrack> readTrackToFirstFix(const std::string& path);

// Tracks already read, kept by path, size and modification time: a file written again is read
// again. With an index, tracks and lengths are looked up there first and what is read is kept
// there for the next opening. Safe to use from several threads.
class ZLXTrackCache {
public:
    ZLXTrackCache() = default;
    explicit ZLXTrackCache(std::shared_ptr<ZLXTrackIndex> index) : m_index(std::move(index)) {}
    // Opens the index at `path` the first time it is called; the cache works without one when
    // it cannot be made.
    void openIndex(const std::string& path);

    std::shared_ptr<const ZLXTrack> track(const std::string& path);
    // The track when it is kept (here or in the index), never reading the file.
    std::shared_ptr<const ZLXTrack> knownTrack(const std::string& path);
    // The recording's length: the track's when read, else the index's, else its movie header's
    // (two reads; the track's, bounded by its samples, replaces it once read); 0 when it has none.
    double duration(const std::string& path);
    size_t size() const;
    void clear();
    // Recordings whose telemetry was read from the file rather than found.
    size_t filesRead() const { return m_filesRead; }
    std::shared_ptr<ZLXTrackIndex> index() const;

private:
    struct Key {
        std::string path;
        int64_t size = 0;
        int64_t modified = 0; // nanoseconds
        auto operator<=>(const Key&) const = default;
    };
    std::optional<Key> keyOf(const std::string& path) const;
    std::optional<std::shared_ptr<const ZLXTrack>> inMemory(const Key& key) const;
    ZLXIndexKey indexKeyFor(const Key& key);

    mutable std::mutex m_mutex;
    std::map<Key, std::shared_ptr<const ZLXTrack>> m_tracks;
    std::shared_ptr<ZLXTrackIndex> m_index;
    std::once_flag m_indexOpened;
    std::map<std::string, ZLXCardPlace> m_places; // by folder
    std::atomic<size_t> m_filesRead{0};
};

// The driving thresholds of a card's settings file, when it holds valid ones.
std::optional<ZLXImpactThresholds> impactThresholdsOf(const std::string& configPath);

// A trip with its tracks read: the route over all its groups, the impacts on it.
struct ZLXDrive {
    struct Impact {
        size_t group = 0;
        ZLXImpact impact;
        double time = 0; // on the trip's time line
        bool placed = false;
        double latitude = 0, longitude = 0; // the fix nearest in time, within 10 s
    };
    ZLXTrip trip; // with the durations of the tracks read
    std::vector<std::shared_ptr<const ZLXTrack>> tracks;
    ZLXRoute route;
    std::vector<Impact> impacts;

    using TrackSource = std::function<std::shared_ptr<const ZLXTrack>(const std::string& path)>;
    // Reads each group's front file (the rear one when there is none) through `source`; a
    // group that cannot be read stays on the time line with no points. Stops early, with
    // what it has, when `cancelled` says so.
    static ZLXDrive load(ZLXTrip trip, const TrackSource& source, const ZLXImpactThresholds& thresholds,
                         const std::function<bool(size_t done, size_t total)>& progress = {});
    // The placed impacts as marks for the map and the exports: "Event 4.3 g" for an event
    // recording's, else "Impact 1.7 g".
    std::vector<ZLXRouteMark> marks() const;
};

} // namespace daxo
