// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXPlaceIndex.h"

#include "library/ZLXMediaList.h"
#include "presentation/ZLXMediaTableText.h"
#include "telemetry/ZLXSqlite.h"
#include "telemetry/ZLXTrip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sqlite3.h>
#include <sstream>
#include <sys/stat.h>

namespace daxo {
namespace {

constexpr int32_t kApplicationId = 0x4441584c; // marks the file as this program's place index

// The R*Tree holds each recording's box: a search reads the fixes only of the recordings whose
// box crosses the one searched; a recording wholly inside it is one pass from its first fix.
constexpr const char* kSchema =
    "CREATE TABLE recording(id INTEGER PRIMARY KEY, path TEXT UNIQUE NOT NULL, size INTEGER NOT NULL,"
    " modified INTEGER NOT NULL, start INTEGER, event INTEGER NOT NULL, fastest REAL NOT NULL);"
    "CREATE TABLE fix(recording INTEGER NOT NULL, ordinal INTEGER NOT NULL, seconds REAL NOT NULL,"
    " latitude REAL NOT NULL, longitude REAL NOT NULL, speed REAL NOT NULL, course REAL NOT NULL,"
    " PRIMARY KEY(recording, ordinal)) WITHOUT ROWID;"
    "CREATE VIRTUAL TABLE recording_place USING rtree(id, south, north, west, east);"
    "CREATE TABLE impact(recording INTEGER NOT NULL, seconds REAL NOT NULL, PRIMARY KEY(recording, seconds))"
    " WITHOUT ROWID;";

// An impact this close to a pass belongs to it.
constexpr double kImpactNear = 10;

struct Known {
    int64_t id = 0, size = 0, modified = 0;
    bool seen = false;
};

void forget(sqlite3* db, int64_t recording) {
    for (const char* sql : {"DELETE FROM recording_place WHERE id = ?1", "DELETE FROM fix WHERE recording = ?1",
                            "DELETE FROM impact WHERE recording = ?1", "DELETE FROM recording WHERE id = ?1"}) {
        ZLXStatement s(db, sql);
        sqlite3_bind_int64(s.get(), 1, recording);
        s.step();
    }
}

} // namespace

std::optional<ZLXBox> parseBox(const std::string& text) {
    ZLXBox box;
    char end = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%c", &box.south, &box.west, &box.north, &box.east, &end) != 4)
        return std::nullopt;
    const auto finite = [](double v) { return std::isfinite(v); };
    if (!finite(box.south) || !finite(box.west) || !finite(box.north) || !finite(box.east) || box.south > box.north ||
        box.west > box.east || box.south < -90 || box.north > 90 || box.west < -180 || box.east > 180)
        return std::nullopt;
    return box;
}

ZLXBox boxAround(const ZLXCircle& circle) {
    constexpr double kMetresPerDegree = 111320;
    const double dLat = circle.metres / kMetresPerDegree;
    // toward the poles a degree of longitude shrinks; near them the box takes every longitude
    const double shrink = std::cos(std::min(89.0, std::fabs(circle.latitude) + dLat) * M_PI / 180);
    const double dLon = std::min(180.0, circle.metres / (kMetresPerDegree * shrink));
    return {std::max(-90.0, circle.latitude - dLat), std::max(-180.0, circle.longitude - dLon),
            std::min(90.0, circle.latitude + dLat), std::min(180.0, circle.longitude + dLon)};
}

std::optional<ZLXCircle> parseCircle(const std::string& text) {
    ZLXCircle c;
    char end = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf,%lf%c", &c.latitude, &c.longitude, &c.metres, &end) != 3 ||
        !std::isfinite(c.latitude) || !std::isfinite(c.longitude) || !std::isfinite(c.metres) ||
        std::fabs(c.latitude) > 90 || std::fabs(c.longitude) > 180 || c.metres < 1 || c.metres > 100000)
        return std::nullopt;
    return c;
}

std::unique_ptr<ZLXPlaceIndex> ZLXPlaceIndex::open(const std::string& library, std::string* why) {
    sqlite3* db = openCacheDatabase(library + "/index.sqlite", kSchema, kApplicationId, kVersion, why);
    return db ? std::unique_ptr<ZLXPlaceIndex>(new ZLXPlaceIndex(db, library)) : nullptr;
}

ZLXPlaceIndex::~ZLXPlaceIndex() {
    sqlite3_close(m_db);
}

size_t ZLXPlaceIndex::update(ZLXTrackCache& tracks) {
    std::map<std::string, Known> known;
    {
        ZLXStatement all(m_db, "SELECT id, path, size, modified FROM recording");
        while (all && all.step() == SQLITE_ROW)
            known[reinterpret_cast<const char*>(sqlite3_column_text(all.get(), 1))] = {
                sqlite3_column_int64(all.get(), 0), sqlite3_column_int64(all.get(), 2),
                sqlite3_column_int64(all.get(), 3), false};
    }
    size_t read = 0;
    begin();
    for (const auto& media : ZLXMediaList::build(m_library).medias) {
        if (!media->isFrontMedia())
            continue;
        struct stat st {};
        if (::stat(media->path().c_str(), &st) != 0)
            continue;
        const int64_t modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        auto found = known.find(media->path());
        if (found != known.end()) {
            found->second.seen = true;
            if (found->second.size == st.st_size && found->second.modified == modified)
                continue;
            forget(m_db, found->second.id);
        }
        const auto track = tracks.track(media->path());
        ++read;
        static const std::vector<ZLXTrackPoint> kNoPoints;
        const bool event = media->mediaDivision() == ZLXMediaDivision::Event;
        // impacts by the camera's default thresholds: the library mixes cards and their settings
        std::vector<double> impacts;
        if (track)
            for (const ZLXImpact& impact : detectImpacts(*track, ZLXImpactThresholds{}, event))
                impacts.push_back(impact.seconds);
        addRecording(media->path(), st.st_size, modified,
                     civilSeconds(media->year(), media->month(), media->day(), media->hour(), media->minute(),
                                  media->second()),
                     event, track ? track->points : kNoPoints, impacts);
    }
    for (const auto& [path, k] : known)
        if (!k.seen)
            forget(m_db, k.id); // gone from the library
    commit();
    return read;
}

bool ZLXPlaceIndex::begin() {
    return sqliteExec(m_db, "BEGIN IMMEDIATE");
}

bool ZLXPlaceIndex::commit() {
    return sqliteExec(m_db, "COMMIT");
}

bool ZLXPlaceIndex::addRecording(const std::string& path, int64_t size, int64_t modified, std::optional<int64_t> start,
                                 bool event, const std::vector<ZLXTrackPoint>& points,
                                 const std::vector<double>& impactSeconds) {
    double fastest = 0;
    ZLXBox box{90, 180, -90, -180};
    for (const ZLXTrackPoint& p : points) {
        if (!p.hasFix)
            continue;
        fastest = std::max(fastest, p.speedKmh);
        box = {std::min(box.south, p.latitude), std::min(box.west, p.longitude), std::max(box.north, p.latitude),
               std::max(box.east, p.longitude)};
    }
    ZLXStatement addRecording(m_db, "INSERT INTO recording(path, size, modified, start, event, fastest)"
                                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    sqlite3_bind_text(addRecording.get(), 1, path.data(), int(path.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(addRecording.get(), 2, size);
    sqlite3_bind_int64(addRecording.get(), 3, modified);
    if (start)
        sqlite3_bind_int64(addRecording.get(), 4, *start);
    sqlite3_bind_int(addRecording.get(), 5, event);
    sqlite3_bind_double(addRecording.get(), 6, fastest);
    if (addRecording.step() != SQLITE_DONE)
        return false;
    const int64_t recording = sqlite3_last_insert_rowid(m_db);
    ZLXStatement addImpact(m_db, "INSERT OR IGNORE INTO impact(recording, seconds) VALUES(?1, ?2)");
    for (const double seconds : impactSeconds) {
        addImpact.reset();
        sqlite3_bind_int64(addImpact.get(), 1, recording);
        sqlite3_bind_double(addImpact.get(), 2, seconds);
        if (addImpact.step() != SQLITE_DONE)
            return false;
    }
    ZLXStatement addFix(m_db, "INSERT INTO fix(recording, ordinal, seconds, latitude, longitude, speed, course)"
                              " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    int64_t ordinal = 0;
    for (const ZLXTrackPoint& p : points) {
        if (!p.hasFix)
            continue;
        addFix.reset();
        sqlite3_bind_int64(addFix.get(), 1, recording);
        sqlite3_bind_int64(addFix.get(), 2, ordinal++);
        sqlite3_bind_double(addFix.get(), 3, p.seconds);
        sqlite3_bind_double(addFix.get(), 4, p.latitude);
        sqlite3_bind_double(addFix.get(), 5, p.longitude);
        sqlite3_bind_double(addFix.get(), 6, p.speedKmh);
        sqlite3_bind_double(addFix.get(), 7, p.course);
        if (addFix.step() != SQLITE_DONE)
            return false;
    }
    if (ordinal == 0)
        return true; // no fix: nowhere to be found
    ZLXStatement place(m_db, "INSERT INTO recording_place(id, south, north, west, east) VALUES(?1, ?2, ?3, ?4, ?5)");
    sqlite3_bind_int64(place.get(), 1, recording);
    sqlite3_bind_double(place.get(), 2, box.south);
    sqlite3_bind_double(place.get(), 3, box.north);
    sqlite3_bind_double(place.get(), 4, box.west);
    sqlite3_bind_double(place.get(), 5, box.east);
    return place.step() == SQLITE_DONE;
}

int64_t ZLXPlaceIndex::fixes() {
    ZLXStatement count(m_db, "SELECT count(*) FROM fix");
    return count && count.step() == SQLITE_ROW ? sqlite3_column_int64(count.get(), 0) : 0;
}

std::vector<ZLXPass> ZLXPlaceIndex::find(const ZLXBox& box, const ZLXPassFilter& filter) {
    // the recordings whose box crosses the one searched (the R*Tree keeps single-precision
    // boxes a little larger than the points: the points themselves decide)
    ZLXStatement crossing(m_db, "SELECT id, south, north, west, east FROM recording_place"
                                " WHERE north >= ?1 AND south <= ?3 AND east >= ?2 AND west <= ?4 ORDER BY id");
    sqlite3_bind_double(crossing.get(), 1, box.south);
    sqlite3_bind_double(crossing.get(), 2, box.west);
    sqlite3_bind_double(crossing.get(), 3, box.north);
    sqlite3_bind_double(crossing.get(), 4, box.east);
    ZLXStatement inBox(m_db, "SELECT ordinal, seconds, latitude, longitude, speed, course FROM fix WHERE recording = ?1"
                             " AND latitude BETWEEN ?2 AND ?4 AND longitude BETWEEN ?3 AND ?5 ORDER BY ordinal");
    ZLXStatement first(m_db, "SELECT f.ordinal, f.seconds, f.latitude, f.longitude, f.speed, f.course, r.fastest"
                             " FROM fix f JOIN recording r ON r.id = f.recording WHERE f.recording = ?1 ORDER BY f.ordinal"
                             " LIMIT 1");
    std::vector<ZLXPlaceFix> fixes;
    while (crossing && crossing.step() == SQLITE_ROW) {
        const int64_t recording = sqlite3_column_int64(crossing.get(), 0);
        const auto column = [&](int i) { return sqlite3_column_double(crossing.get(), i); };
        // a recording wholly inside (its box with room for the tree's rounding) is one pass
        constexpr double kRounding = 1e-4;
        if (!filter.around && column(1) >= box.south + kRounding && column(2) <= box.north - kRounding &&
            column(3) >= box.west + kRounding && column(4) <= box.east - kRounding) {
            first.reset();
            sqlite3_bind_int64(first.get(), 1, recording);
            if (first.step() == SQLITE_ROW)
                fixes.push_back({recording, sqlite3_column_int64(first.get(), 0), sqlite3_column_double(first.get(), 1),
                                 sqlite3_column_double(first.get(), 2), sqlite3_column_double(first.get(), 3),
                                 sqlite3_column_double(first.get(), 4), sqlite3_column_double(first.get(), 5),
                                 sqlite3_column_double(first.get(), 6)});
            continue;
        }
        inBox.reset();
        sqlite3_bind_int64(inBox.get(), 1, recording);
        sqlite3_bind_double(inBox.get(), 2, box.south);
        sqlite3_bind_double(inBox.get(), 3, box.west);
        sqlite3_bind_double(inBox.get(), 4, box.north);
        sqlite3_bind_double(inBox.get(), 5, box.east);
        while (inBox.step() == SQLITE_ROW)
            fixes.push_back({recording, sqlite3_column_int64(inBox.get(), 0), sqlite3_column_double(inBox.get(), 1),
                             sqlite3_column_double(inBox.get(), 2), sqlite3_column_double(inBox.get(), 3),
                             sqlite3_column_double(inBox.get(), 4), sqlite3_column_double(inBox.get(), 5),
                             sqlite3_column_double(inBox.get(), 4)});
    }
    if (const auto& c = filter.around)
        std::erase_if(fixes, [&](const ZLXPlaceFix& f) {
            return haversineMeters(c->latitude, c->longitude, f.latitude, f.longitude) > c->metres;
        });
    return passesOf(fixes, filter);
}

std::vector<ZLXPass> ZLXPlaceIndex::passesOf(const std::vector<ZLXPlaceFix>& inBox, const ZLXPassFilter& filter) {
    ZLXStatement recording(m_db, "SELECT path, start, event FROM recording WHERE id = ?1");
    ZLXStatement impact(m_db, "SELECT 1 FROM impact WHERE recording = ?1 AND seconds BETWEEN ?2 AND ?3 LIMIT 1");
    std::vector<ZLXPass> passes;
    for (size_t i = 0; i < inBox.size();) {
        // a pass: the fixes of one recording that follow each other inside the box
        size_t end = i + 1;
        double fastest = inBox[i].fastest;
        while (end < inBox.size() && inBox[end].recording == inBox[i].recording &&
               inBox[end].ordinal == inBox[end - 1].ordinal + 1)
            fastest = std::max(fastest, inBox[end++].fastest);
        const ZLXPlaceFix& first = inBox[i];
        const double lastSeconds = inBox[end - 1].seconds;
        i = end;
        if (filter.impactsOnly) {
            impact.reset();
            sqlite3_bind_int64(impact.get(), 1, first.recording);
            sqlite3_bind_double(impact.get(), 2, first.seconds - kImpactNear);
            sqlite3_bind_double(impact.get(), 3, lastSeconds + kImpactNear);
            if (impact.step() != SQLITE_ROW)
                continue;
        }
        recording.reset();
        sqlite3_bind_int64(recording.get(), 1, first.recording);
        if (recording.step() != SQLITE_ROW)
            continue;
        ZLXPass pass;
        pass.recording = reinterpret_cast<const char*>(sqlite3_column_text(recording.get(), 0));
        pass.start = sqlite3_column_int64(recording.get(), 1);
        pass.event = sqlite3_column_int(recording.get(), 2) != 0;
        pass.seconds = first.seconds;
        pass.latitude = first.latitude;
        pass.longitude = first.longitude;
        pass.speedKmh = first.speedKmh;
        pass.course = first.course;
        if ((filter.eventsOnly && !pass.event) || fastest < filter.minSpeedKmh ||
            (filter.from && pass.start < *filter.from) || (filter.to && pass.start >= *filter.to))
            continue;
        passes.push_back(std::move(pass));
    }
    std::stable_sort(passes.begin(), passes.end(), [](const ZLXPass& a, const ZLXPass& b) {
        return a.start + a.seconds > b.start + b.seconds;
    });
    return passes;
}

std::string passesCsv(const std::vector<ZLXPass>& passes) {
    std::string csv = "date,time,recording,seconds,latitude,longitude,speed_kmh\n";
    char numbers[160];
    for (const ZLXPass& pass : passes) {
        const std::string when = civilDateTimeText(pass.start + int64_t(std::floor(pass.seconds)));
        std::snprintf(numbers, sizeof numbers, ",%.1f,%.6f,%.6f,%.1f\n", pass.seconds, pass.latitude, pass.longitude,
                      pass.speedKmh);
        csv += when.substr(0, 10) + "," + when.substr(11) + "," + csvField(pass.recording) + numbers;
    }
    return csv;
}

} // namespace daxo
