// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXTrip.h"

#include "config/filedata/ZLXFileData.h"
#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace daxo {

std::optional<int64_t> civilSeconds(int year, int month, int day, int hour, int minute, int second) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return std::nullopt;
    // days from 1970-01-01 of the proleptic Gregorian calendar
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string civilDateTimeText(int64_t seconds) {
    const int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t rest = seconds - days * 86400;
    // the calendar date of a day count (1970-01-01 is day 0)
    const int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097, doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365, doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153, d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9;
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", (long long)(yoe + era * 400 + (m <= 2)),
                  (long long)m, (long long)d, (long long)(rest / 3600), (long long)(rest / 60 % 60), (long long)(rest % 60));
    return text;
}

std::vector<ZLXTripGroup> tripGroupsOf(const std::vector<ZLXMediaList::MediaPtr>& medias,
                                       const ZLXMediaList::PairMap& pairs) {
    std::vector<ZLXTripGroup> groups;
    std::unordered_set<std::string> seen;
    for (const auto& media : medias) {
        const std::string name = media->mediaGroupName();
        if (!seen.insert(name).second)
            continue;
        const auto found = pairs.find(name);
        if (found == pairs.end())
            continue;
        const ZLXMediaPair& pair = *found->second;
        ZLXTripGroup group;
        group.media = pair.frontMedia ? pair.frontMedia : pair.rearMedia;
        if (!group.media)
            continue;
        group.frontPath = pair.frontMedia ? pair.frontMedia->path() : std::string();
        group.rearPath = pair.rearMedia ? pair.rearMedia->path() : std::string();
        const ZLXMedia& m = *group.media;
        if (m.mediaDirection() != ZLXMediaDirection::Unknown)
            group.start = civilSeconds(m.year(), m.month(), m.day(), m.hour(), m.minute(), m.second());
        groups.push_back(std::move(group));
    }
    return groups;
}

std::vector<ZLXTripGroup> tripGroupsWithDurations(const std::vector<ZLXMediaList::MediaPtr>& medias,
                                                  const ZLXMediaList::PairMap& pairs, ZLXTrackCache* cache) {
    std::vector<ZLXTripGroup> groups = tripGroupsOf(medias, pairs);
    const auto duration = [cache](const std::string& path) {
        return cache ? cache->duration(path) : recordingDuration(path.c_str()).value_or(0);
    };
    for (ZLXTripGroup& group : groups) {
        group.duration = duration(group.playPath());
        if (group.duration <= 0 && !group.rearPath.empty() && group.rearPath != group.playPath())
            group.duration = duration(group.rearPath);
    }
    return groups;
}

double ZLXTrip::duration() const {
    return startOf(groups.size());
}

double ZLXTrip::startOf(size_t group) const {
    double start = 0;
    for (size_t i = 0; i < group && i < groups.size(); ++i)
        start += groups[i].duration;
    return start;
}

ZLXTrip::Place ZLXTrip::placeAt(double tripSeconds) const {
    if (groups.empty())
        return {};
    double start = 0;
    const double t = std::isfinite(tripSeconds) ? std::max(0.0, tripSeconds) : 0.0;
    for (size_t i = 0; i < groups.size(); ++i) {
        if (t < start + groups[i].duration || i + 1 == groups.size())
            return {i, std::clamp(t - start, 0.0, groups[i].duration)};
        start += groups[i].duration;
    }
    return {};
}

double ZLXTrip::timeOf(size_t group, double seconds) const {
    if (group >= groups.size())
        return duration();
    return startOf(group) + std::clamp(seconds, 0.0, groups[group].duration);
}

std::optional<int64_t> ZLXTrip::startTime() const {
    return groups.empty() ? std::nullopt : groups.front().start;
}

std::optional<int64_t> ZLXTrip::endTime() const {
    if (groups.empty() || !groups.back().start)
        return std::nullopt;
    return *groups.back().start + int64_t(std::ceil(groups.back().duration));
}

std::vector<ZLXTrip> groupTrips(std::vector<ZLXTripGroup> groups, double maxGapSeconds) {
    // dated groups by time (undated ones after them, in list order)
    std::stable_sort(groups.begin(), groups.end(), [](const ZLXTripGroup& a, const ZLXTripGroup& b) {
        if (a.start && b.start)
            return *a.start < *b.start;
        return a.start.has_value() && !b.start.has_value();
    });
    std::vector<ZLXTrip> trips;
    for (ZLXTripGroup& group : groups) {
        bool joins = false;
        if (!trips.empty() && group.start) {
            const ZLXTripGroup& last = trips.back().groups.back();
            if (last.start) {
                // the end of the drive so far: the latest end of its groups (an event may lie
                // inside a longer recording)
                double end = 0;
                for (const ZLXTripGroup& g : trips.back().groups)
                    end = std::max(end, double(*g.start) + g.duration);
                joins = double(*group.start) - end < maxGapSeconds;
            }
        }
        if (!joins)
            trips.emplace_back();
        trips.back().groups.push_back(std::move(group));
    }
    return trips;
}

ZLXGSensor restingG(const ZLXTrack& track) {
    const auto& points = track.points;
    if (points.empty())
        return {};
    auto median = [&](float ZLXGSensor::*axis) {
        std::vector<float> values;
        values.reserve(points.size());
        for (const ZLXTrackPoint& p : points)
            values.push_back(std::isfinite(p.g.*axis) ? p.g.*axis : 0.0f);
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    return {median(&ZLXGSensor::x), median(&ZLXGSensor::y), median(&ZLXGSensor::z)};
}

std::vector<ZLXImpact> detectImpacts(const ZLXTrack& track, const ZLXImpactThresholds& thresholds, bool eventRecording) {
    std::vector<ZLXImpact> impacts;
    const auto& points = track.points;
    if (points.empty()) {
        if (eventRecording)
            impacts.push_back({0, 0, true});
        return impacts;
    }
    const ZLXGSensor rest = restingG(track);
    // the departure of a sample, and whether it passes a threshold
    auto departure = [&](const ZLXGSensor& g, bool& passes) {
        const float dx = std::fabs(g.x - rest.x), dy = std::fabs(g.y - rest.y), dz = std::fabs(g.z - rest.z);
        passes = dx > thresholds.x || dy > thresholds.y || dz > thresholds.z;
        const float worst = std::max({dx, dy, dz});
        return std::isfinite(worst) ? worst : 0.0f;
    };
    constexpr double kSeparation = 5.0;
    size_t strongest = 0;
    float strongestG = -1;
    for (size_t i = 0; i < points.size(); ++i) {
        bool passes = false;
        const float g = departure(points[i].g, passes);
        if (g > strongestG)
            strongest = i, strongestG = g;
        if (!passes)
            continue;
        if (!impacts.empty() && points[i].seconds - impacts.back().seconds < kSeparation) {
            if (g > impacts.back().g)
                impacts.back() = {points[i].seconds, g, eventRecording};
            continue;
        }
        impacts.push_back({points[i].seconds, g, eventRecording});
    }
    if (eventRecording && impacts.empty())
        impacts.push_back({points[strongest].seconds, std::max(0.0f, strongestG), true});
    return impacts;
}

} // namespace daxo

namespace daxo {

std::shared_ptr<const ZLXTrack> readTrack(const std::string& path) {
    ZLXBlackBoxData data;
    if (!data.ExtractStreamInformation(path.c_str()))
        return nullptr;
    constexpr double kRecordsPerSecond = 5;
    const double duration = recordingDuration(path.c_str()).value_or(double(data.m_GSensors.size()) / kRecordsPerSecond);
    const size_t slash = path.rfind('/');
    return std::make_shared<const ZLXTrack>(
        makeTrack(data, duration, slash == std::string::npos ? path : path.substr(slash + 1)));
}

void ZLXTrackCache::openIndex(const std::string& path) {
    std::call_once(m_indexOpened, [&] {
        std::string why;
        std::shared_ptr<ZLXTrackIndex> index = ZLXTrackIndex::open(path, &why);
        if (!why.empty())
            ZLXLog("index of recordings %s: %s%s", path.c_str(), why.c_str(), index ? ", made anew" : "");
        if (index)
            index->forgetUnseen(int64_t(std::time(nullptr)));
        const std::lock_guard lock(m_mutex);
        if (index)
            m_index = std::move(index);
    });
}

std::shared_ptr<ZLXTrackIndex> ZLXTrackCache::index() const {
    const std::lock_guard lock(m_mutex);
    return m_index;
}

std::optional<ZLXTrackCache::Key> ZLXTrackCache::keyOf(const std::string& path) const {
    // opened rather than named: a path longer than the system takes in one call still counts
    const int fd = openRegularFile(path);
    struct stat st {};
    const bool ok = fd >= 0 && ::fstat(fd, &st) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        return std::nullopt;
    return Key{path, int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

ZLXIndexKey ZLXTrackCache::indexKeyFor(const Key& key) {
    // the card's identity once per folder
    const std::string folder = folderOf(key.path);
    const std::string name = key.path.substr(key.path.rfind('/') + 1);
    ZLXCardPlace place;
    {
        const std::lock_guard lock(m_mutex);
        auto found = m_places.find(folder);
        if (found == m_places.end())
            found = m_places.emplace(folder, cardPlaceOf(folder)).first;
        place = found->second;
    }
    std::string path = place.path == "." || place.path.empty() ? name : place.path + "/" + name;
    return ZLXIndexKey{std::move(place.card), std::move(path), key.size, key.modified};
}

std::shared_ptr<const ZLXTrack> readTrackToFirstFix(const std::string& path) {
    ZLXBlackBoxData data;
    if (!data.ExtractStreamInformation(path.c_str(), lastRecordHasDatedFix))
        return nullptr;
    constexpr double kRecordsPerSecond = 5;
    const double duration = data.headerSeconds() > 0 ? data.headerSeconds()
                                                     : double(data.recordsNamed()) / kRecordsPerSecond;
    const size_t slash = path.rfind('/');
    return std::make_shared<const ZLXTrack>(makeTrack(data, duration,
                                                      slash == std::string::npos ? path : path.substr(slash + 1),
                                                      size_t(data.recordsNamed())));
}

std::optional<std::shared_ptr<const ZLXTrack>> ZLXTrackCache::inMemory(const Key& key) const {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_tracks.find(key); found != m_tracks.end())
        return found->second; // none: a file that could not be read
    return std::nullopt;
}

std::shared_ptr<const ZLXTrack> ZLXTrackCache::knownTrack(const std::string& path) {
    const std::optional<Key> key = keyOf(path);
    if (!key)
        return nullptr;
    if (auto found = inMemory(*key))
        return *found;
    const std::shared_ptr<ZLXTrackIndex> kept = index();
    return kept ? kept->track(indexKeyFor(*key)) : nullptr;
}

std::shared_ptr<const ZLXTrack> ZLXTrackCache::track(const std::string& path) {
    const std::optional<Key> key = keyOf(path);
    if (!key)
        return nullptr;
    if (auto found = inMemory(*key))
        return *found;
    // read without holding the others up: from the index, else from the file
    std::optional<ZLXIndexKey> indexKey;
    std::shared_ptr<const ZLXTrack> track;
    const std::shared_ptr<ZLXTrackIndex> kept = index();
    if (kept) {
        indexKey = indexKeyFor(*key);
        track = kept->track(*indexKey);
    }
    if (!track) {
        track = readTrack(path);
        ++m_filesRead;
        if (track && indexKey)
            kept->storeTrack(*indexKey, *track);
    }
    const std::lock_guard lock(m_mutex);
    // an older version of the file is forgotten
    for (auto it = m_tracks.lower_bound(Key{path, INT64_MIN, INT64_MIN}); it != m_tracks.end() && it->first.path == path;)
        it = m_tracks.erase(it);
    m_tracks.emplace(*key, track);
    return track;
}

double ZLXTrackCache::duration(const std::string& path) {
    const std::optional<Key> key = keyOf(path);
    if (!key)
        return 0;
    {
        const std::lock_guard lock(m_mutex);
        if (const auto found = m_tracks.find(*key); found != m_tracks.end() && found->second)
            return found->second->duration;
    }
    std::optional<ZLXIndexKey> indexKey;
    const std::shared_ptr<ZLXTrackIndex> kept = index();
    if (kept) {
        indexKey = indexKeyFor(*key);
        if (const std::optional<double> seconds = kept->duration(*indexKey))
            return *seconds;
    }
    const std::optional<double> read = movieHeaderDuration(path.c_str());
    if (read && indexKey)
        kept->storeDuration(*indexKey, *read);
    return read.value_or(0);
}

size_t ZLXTrackCache::size() const {
    const std::lock_guard lock(m_mutex);
    return m_tracks.size();
}

void ZLXTrackCache::clear() {
    const std::lock_guard lock(m_mutex);
    m_tracks.clear();
}

std::optional<ZLXImpactThresholds> impactThresholdsOf(const std::string& configPath) {
    _FILEDATA record{};
    if (!LoadFileData(configPath, &record) || record.checksum != fileDataChecksum(record))
        return std::nullopt;
    // thresholds the settings window accepts: 0.05 g to 1.5 g
    auto valid = [](int32_t hundredths) { return hundredths >= 5 && hundredths <= 150; };
    if (!valid(record.gsen_x_threshold) || !valid(record.gsen_y_threshold) || !valid(record.gsen_z_threshold))
        return std::nullopt;
    return ZLXImpactThresholds{float(record.gsen_x_threshold) / 100, float(record.gsen_y_threshold) / 100,
                               float(record.gsen_z_threshold) / 100};
}

ZLXDrive ZLXDrive::load(ZLXTrip trip, const TrackSource& source, const ZLXImpactThresholds& thresholds,
                        const std::function<bool(size_t, size_t)>& progress) {
    ZLXDrive drive;
    const size_t total = trip.groups.size();
    for (size_t i = 0; i < total; ++i) {
        if (progress && !progress(i, total))
            break;
        ZLXTripGroup& group = trip.groups[i];
        std::shared_ptr<const ZLXTrack> track = source(group.playPath());
        if (!track) { // an empty track keeps the group's place on the time line
            auto empty = std::make_shared<ZLXTrack>();
            empty->duration = group.duration;
            track = std::move(empty);
        }
        group.duration = track->duration;
        drive.tracks.push_back(track);
    }
    trip.groups.resize(drive.tracks.size());
    drive.trip = std::move(trip);
    for (size_t i = 0; i < drive.tracks.size(); ++i) {
        const ZLXTrack& track = *drive.tracks[i];
        drive.route.append(track);
        for (const ZLXImpact& impact : detectImpacts(track, thresholds, drive.trip.groups[i].isEvent())) {
            Impact found;
            found.group = i;
            found.impact = impact;
            found.time = drive.trip.timeOf(i, impact.seconds);
            double nearest = ZLXRoute::kMaxFixGap;
            for (const ZLXTrackPoint& p : track.points) {
                if (p.hasFix && std::fabs(p.seconds - impact.seconds) <= nearest) {
                    nearest = std::fabs(p.seconds - impact.seconds);
                    found.placed = true;
                    found.latitude = p.latitude;
                    found.longitude = p.longitude;
                }
            }
            drive.impacts.push_back(found);
        }
    }
    return drive;
}

std::vector<ZLXRouteMark> ZLXDrive::marks() const {
    std::vector<ZLXRouteMark> marks;
    for (const Impact& i : impacts) {
        if (!i.placed)
            continue;
        char name[64];
        std::snprintf(name, sizeof name, "%s %.1f g", i.impact.eventRecording ? "Event" : "Impact", double(i.impact.g));
        marks.push_back({i.time, i.latitude, i.longitude, name});
    }
    return marks;
}

} // namespace daxo
