// SPDX-License-Identifier: GPL-3.0-or-later
// Where the car was: the passes the index finds through a box are the passes a scan of every
// fix of every recording finds; the index follows the library's files and is never trusted.
#include "../support/FfmpegInput.h"
#include "../support/TempTree.h"
#include "library/ZLXMediaList.h"
#include "telemetry/ZLXPlaceIndex.h"
#include "telemetry/ZLXTrip.h"
#include "tools/ZLXCardMaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>
#include <functional>
#include <fstream>
#include <set>

using namespace daxo;

namespace {

struct Library {
    test::TempTree tree;
    std::string folder = tree.path("library");
    Library() {
        const std::string input = tree.path("input.mp4");
        EXPECT_TRUE(test::ffmpegMp4(input, 2, false));
        std::filesystem::create_directories(folder + "/2024-05-06");
        tools::CardOptions options;
        options.groups = 6;
        options.recordsPerMinute = 30;
        options.frontInput = options.rearInput = input;
        options.frontBytes = options.rearBytes = 1 << 20;
        options.groupsPerTrip = 3;
        options.eventEvery = 3;
        EXPECT_TRUE(tools::makeCard(folder + "/2024-05-06", options).ok);
    }
};

// Every pass through a place found by reading each recording's fixes in turn: (recording, seconds).
std::vector<std::pair<std::string, double>> scan(const std::string& library,
                                                 const std::function<bool(const ZLXTrackPoint&)>& inside,
                                                 ZLXTrackCache& cache) {
    std::vector<std::tuple<int64_t, std::string, double>> passes;
    for (const auto& media : ZLXMediaList::build(library).medias) {
        if (!media->isFrontMedia())
            continue;
        const int64_t start =
            *civilSeconds(media->year(), media->month(), media->day(), media->hour(), media->minute(), media->second());
        bool was = false;
        for (const ZLXTrackPoint& p : cache.track(media->path())->points) {
            if (!p.hasFix)
                continue;
            const bool in = inside(p);
            if (in && !was)
                passes.emplace_back(start * 1000 + int64_t(p.seconds * 1000), media->path(), p.seconds);
            was = in;
        }
    }
    std::sort(passes.rbegin(), passes.rend());
    std::vector<std::pair<std::string, double>> found;
    for (const auto& [when, path, seconds] : passes)
        found.emplace_back(path, seconds);
    return found;
}

std::vector<std::pair<std::string, double>> scan(const std::string& library, const ZLXBox& box, ZLXTrackCache& cache) {
    return scan(
        library,
        [&](const ZLXTrackPoint& p) {
            return p.latitude >= box.south && p.latitude <= box.north && p.longitude >= box.west &&
                   p.longitude <= box.east;
        },
        cache);
}

std::vector<std::pair<std::string, double>> passesOf(const std::vector<ZLXPass>& passes) {
    std::vector<std::pair<std::string, double>> found;
    for (const ZLXPass& p : passes)
        found.emplace_back(p.recording, p.seconds);
    return found;
}

} // namespace

// The command line prints what the index finds, for a circle and its filters alike; a circle
// that is none is refused with the reason.
TEST(PlaceIndex, TheCommandLineFindsTheSame) {
    Library library;
    ZLXTrackCache cache;
    auto index = ZLXPlaceIndex::open(library.folder);
    ASSERT_TRUE(index);
    index->update(cache);
    const auto run = [&](const std::string& options, int* status, const std::string& environment = {}) {
        const std::string command = environment + " " + DAXO_LIBRARY_TOOL + " find " +
                                    (environment.empty() ? "--library '" + library.folder + "' " : "") + options + " 2>&1";
        std::string out;
        FILE* pipe = ::popen(command.c_str(), "r");
        char buffer[4096];
        for (size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, got);
        *status = pipe ? WEXITSTATUS(::pclose(pipe)) : -1;
        return out;
    };
    int status = 0;
    ZLXPassFilter filter;
    filter.around = ZLXCircle{37.5205, 127.0, 2000};
    EXPECT_EQ(run("--around 37.5205,127.0,2000", &status), passesCsv(index->find(boxAround(*filter.around), filter)));
    EXPECT_EQ(status, 0);
    filter.impactsOnly = true;
    const std::string impacts = run("--around 37.5205,127.0,2000 --impacts", &status);
    EXPECT_EQ(impacts, passesCsv(index->find(boxAround(*filter.around), filter)));
    EXPECT_EQ(std::count(impacts.begin(), impacts.end(), '\n'), 2); // the heading and the event
    EXPECT_NE(run("--around 37.5,127,0", &status).find("not a circle"), std::string::npos);
    EXPECT_EQ(status, 2);

    // without --library, the library chosen in the viewer's settings is searched
    test::TempTree config;
    config.mkdir("daxo");
    std::ofstream(config.path("daxo/daxo-viewer.conf")) << "[library]\nfolder=" << library.folder << "\n";
    EXPECT_EQ(run("--around 37.5205,127.0,2000 --impacts", &status, "XDG_CONFIG_HOME='" + config.path() + "'"), impacts);
    EXPECT_EQ(status, 0);
}

// Boxes from a few streets to the whole drive, and one the car never entered: the index finds
// exactly what a scan of every fix finds, newest first; the filters narrow it.
TEST(PlaceIndex, FindsWhatAScanOfEveryFixFinds) {
    Library library;
    ZLXTrackCache cache;
    auto index = ZLXPlaceIndex::open(library.folder);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->update(cache), 6u);
    int64_t fixes = 0;
    for (const auto& media : ZLXMediaList::build(library.folder).medias)
        if (media->isFrontMedia())
            for (const ZLXTrackPoint& p : cache.track(media->path())->points)
                fixes += p.hasFix;
    EXPECT_EQ(index->fixes(), fixes);
    for (const std::string text : {"37.5,127.0,37.504,127.004", "37.52,127.0,37.56,127.05", "30,120,40,130",
                                   "10,10,11,11"}) {
        const ZLXBox box = *parseBox(text);
        EXPECT_EQ(passesOf(index->find(box)), scan(library.folder, box, cache)) << text;
    }
    const ZLXBox all = *parseBox("30,120,40,130");
    EXPECT_EQ(index->find(all).size(), 6u);
    ZLXPassFilter events;
    events.eventsOnly = true;
    EXPECT_EQ(index->find(all, events).size(), 2u);
    ZLXPassFilter fast;
    fast.minSpeedKmh = 100;
    EXPECT_TRUE(index->find(all, fast).empty());
    // impacts: the event recordings' jolts; the others have none
    ZLXPassFilter impacts;
    impacts.impactsOnly = true;
    EXPECT_EQ(passesOf(index->find(all, impacts)), passesOf(index->find(all, events)));
    // a circle: what a scan of every fix within its radius finds
    for (const double metres : {30.0, 250.0, 2000.0}) {
        ZLXPassFilter around;
        around.around = ZLXCircle{37.5205, 127.0, metres};
        EXPECT_EQ(passesOf(index->find(boxAround(*around.around), around)),
                  scan(
                      library.folder,
                      [&](const ZLXTrackPoint& p) {
                          return haversineMeters(37.5205, 127.0, p.latitude, p.longitude) <= metres;
                      },
                      cache))
            << metres;
    }
    EXPECT_FALSE(index->find(boxAround({37.5205, 127.0, 250}), {}).empty());
    EXPECT_FALSE(parseCircle("37.5,127,0.5"));
    EXPECT_FALSE(parseCircle("91,127,50"));
    EXPECT_TRUE(parseCircle("37.5,127,50"));
    const std::string csv = passesCsv(index->find(*parseBox("37.5,127.0,37.5005,127.0005")));
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "date,time,recording,seconds,latitude,longitude,speed_kmh");
    EXPECT_NE(csv.find("\n2024-05-06,07:00:00,"), std::string::npos) << csv;

    EXPECT_FALSE(parseBox("37.6,127,37.5,128")); // south of its north only
    EXPECT_FALSE(parseBox("37.5,127,37.6"));
}

// A second update reads nothing; a recording written again is read again, one removed is
// forgotten; a damaged index is made anew from the files.
TEST(PlaceIndex, FollowsTheFilesAndIsNeverTrusted) {
    Library library;
    ZLXTrackCache cache;
    const ZLXBox all = *parseBox("30,120,40,130");
    {
        auto index = ZLXPlaceIndex::open(library.folder);
        index->update(cache);
        EXPECT_EQ(index->update(cache), 0u);
        std::vector<std::string> fronts;
        for (const auto& entry : std::filesystem::directory_iterator(library.folder + "/2024-05-06"))
            if (entry.path().string().ends_with("_F.MP4"))
                fronts.push_back(entry.path().string());
        std::sort(fronts.begin(), fronts.end());
        std::filesystem::remove(fronts[0]);
        std::ofstream(fronts[1], std::ios::app) << "more";
        EXPECT_EQ(index->update(cache), 1u);
        EXPECT_EQ(index->find(all).size(), 5u);
    }
    std::ofstream(library.folder + "/index.sqlite", std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
    auto again = ZLXPlaceIndex::open(library.folder);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->find(all).size(), 0u);
    EXPECT_EQ(again->update(cache), 5u);
    EXPECT_EQ(again->find(all).size(), 5u);
}
