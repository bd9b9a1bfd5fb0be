// SPDX-License-Identifier: GPL-3.0-or-later
// A year of daily driving in the library's index of places (about a million fixes), searched
// for a few streets and for the whole city: through the R*Tree, and by a scan of every fix in
// the same file, its peer. Prints "fixes N", then "<box> <ms> <peer ms> <passes>" lines.
#include "telemetry/ZLXPlaceIndex.h"
#include "telemetry/ZLXRoute.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sqlite3.h>
#include <vector>

using namespace daxo;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F> double timed(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_places EMPTY-FOLDER\n");
        return 2;
    }
    const std::string library = argv[1];
    auto index = ZLXPlaceIndex::open(library);
    if (!index)
        return 1;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> turn(-0.3, 0.3);
    const double homeLat = 37.55, homeLon = 126.98;
    index->begin();
    int64_t day0 = 1704067200; // 2024-01-01
    for (int day = 0; day < 365; ++day) {
        double lat = homeLat, lon = homeLon, heading = day * 0.7;
        for (int r = 0; r < 45; ++r) {
            std::vector<ZLXTrackPoint> points(60);
            for (int s = 0; s < 60; ++s) {
                heading += turn(random);
                lat += 0.000135 * std::cos(heading); // 15 m a second
                lon += 0.00017 * std::sin(heading);
                // the city keeps the car within about 20 km of home
                if (std::abs(lat - homeLat) > 0.09 || std::abs(lon - homeLon) > 0.11)
                    heading += M_PI;
                points[size_t(s)] = ZLXTrackPoint{};
                points[size_t(s)].seconds = s;
                points[size_t(s)].hasFix = true;
                points[size_t(s)].latitude = lat;
                points[size_t(s)].longitude = lon;
                points[size_t(s)].speedKmh = 54;
            }
            char name[64];
            std::snprintf(name, sizeof name, "%s/d%03d/alwa_%03d_%02d_F.MP4", library.c_str(), day, day, r);
            index->addRecording(name, 1, 1, day0 + day * 86400 + 7 * 3600 + r * 60, r % 20 == 0, points);
        }
    }
    index->commit();
    std::printf("fixes %lld\n", static_cast<long long>(index->fixes()));

    sqlite3* peer = nullptr;
    sqlite3_open_v2((library + "/index.sqlite").c_str(), &peer, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* scan = nullptr;
    // the same rows without the tree's help: every fix looked at
    sqlite3_prepare_v2(peer, "SELECT recording, ordinal, seconds, latitude, longitude, speed FROM fix"
                             " WHERE latitude BETWEEN ?1 AND ?3 AND longitude BETWEEN ?2 AND ?4",
                       -1, &scan, nullptr);
    const struct {
        const char* what;
        ZLXBox box;
    } boxes[] = {{"streets", {homeLat - 0.002, homeLon - 0.0025, homeLat + 0.002, homeLon + 0.0025}},
                 {"city", {homeLat - 0.1, homeLon - 0.125, homeLat + 0.1, homeLon + 0.125}}};
    for (const auto& [what, box] : boxes) {
        std::vector<double> ours, theirs;
        size_t passes = 0, rows = 0;
        for (int run = 0; run < 7; ++run) {
            ours.push_back(timed([&] { passes = index->find(box).size(); }));
            theirs.push_back(timed([&] {
                sqlite3_reset(scan);
                sqlite3_bind_double(scan, 1, box.south);
                sqlite3_bind_double(scan, 2, box.west);
                sqlite3_bind_double(scan, 3, box.north);
                sqlite3_bind_double(scan, 4, box.east);
                rows = 0;
                while (sqlite3_step(scan) == SQLITE_ROW)
                    ++rows;
            }));
        }
        std::printf("%s %.1f %.1f %zu %zu\n", what, median(ours), median(theirs), passes, rows);
    }
    sqlite3_finalize(scan);
    sqlite3_close(peer);
    return 0;
}
