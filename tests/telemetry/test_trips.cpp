// SPDX-License-Identifier: GPL-3.0-or-later
// Drives: trips from group lists, the trip time line, impacts, the route's lines and exports,
// on made-up lists and on the demo card.
#include "../support/FfmpegInput.h"
#include "../support/TempTree.h"
#include "tools/ZLXRecordingWriter.h"
#include "presentation/ZLXMapScript.h"
#include "telemetry/ZLXClip.h"
#include "telemetry/ZLXTrip.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace daxo;

namespace {

// A group named like the camera names them, `duration` seconds long.
ZLXTripGroup group(const std::string& name, double duration, bool rearOnly = false) {
    ZLXTripGroup g;
    const std::string path = "/card/" + name + (rearOnly ? "_R.MP4" : "_F.MP4");
    g.media = ZLXMedia::mediaWithPath(path);
    (rearOnly ? g.rearPath : g.frontPath) = path;
    const ZLXMedia& m = *g.media;
    if (m.mediaDirection() != ZLXMediaDirection::Unknown)
        g.start = civilSeconds(m.year(), m.month(), m.day(), m.hour(), m.minute(), m.second());
    g.duration = duration;
    return g;
}

std::vector<size_t> tripSizes(const std::vector<ZLXTrip>& trips) {
    std::vector<size_t> sizes;
    for (const ZLXTrip& t : trips)
        sizes.push_back(t.groups.size());
    return sizes;
}

} // namespace

TEST(Trips, GapsUnderTheThresholdJoinAndAtItSplit) {
    // 60 s recordings: the third starts 180 s after the second ends (at the threshold), the
    // fourth 179 s after the third ends (under it)
    const auto trips = groupTrips({group("alwa_20240506_100000", 60), group("alwa_20240506_100100", 60),
                                   group("alwa_20240506_100500", 60), group("alwa_20240506_100859", 60)},
                                  180);
    EXPECT_EQ(tripSizes(trips), (std::vector<size_t>{2, 2}));
    EXPECT_EQ(*trips[1].startTime() - *trips[0].startTime(), 300);
    EXPECT_EQ(*trips[1].endTime() - *trips[1].startTime(), 299);
}

TEST(Trips, MidnightRearOnlyEventsAndUndatedNames) {
    const auto trips =
        groupTrips({group("alwa_20241231_235930", 30), group("alwa_20250101_000000", 60, true),
                    group("event_20250101_000030", 20), // inside the recording before it
                    group("alwa_20250101_000100", 60), group("holiday clip", 20), group("alwa_20250101_000300", 60)},
                   180);
    // the drive goes on over midnight and the new year, rear-only or not; the event inside
    // the longer recording does not end it; the undated file is a trip of its own, last
    EXPECT_EQ(tripSizes(trips), (std::vector<size_t>{5, 1}));
    EXPECT_TRUE(trips[0].groups[2].isEvent());
    EXPECT_EQ(trips[0].groups[1].playPath(), "/card/alwa_20250101_000000_R.MP4");
    EXPECT_FALSE(trips[1].startTime());
    EXPECT_EQ(*civilSeconds(2025, 1, 1, 0, 0, 0) - *civilSeconds(2024, 12, 31, 23, 59, 30), 30);
    EXPECT_EQ(*civilSeconds(2024, 3, 1, 0, 0, 0) - *civilSeconds(2024, 2, 28, 0, 0, 0), 2 * 86400);
    EXPECT_FALSE(civilSeconds(2023, 2, 29, 0, 0, 0));
    EXPECT_EQ(*civilSeconds(1970, 1, 1, 0, 0, 1), 1);
}

TEST(Trips, TheTimeLineMapsBothWays) {
    ZLXTrip trip;
    trip.groups = {group("alwa_20240506_100000", 20), group("alwa_20240506_100020", 20.5),
                   group("alwa_20240506_100041", 20)};
    EXPECT_DOUBLE_EQ(trip.duration(), 60.5);
    struct Case {
        double t;
        size_t group;
        double seconds;
    };
    for (const Case c : {Case{0, 0, 0}, Case{19.99, 0, 19.99}, Case{20, 1, 0}, Case{40.5, 2, 0}, Case{50, 2, 9.5},
                         Case{60.5, 2, 20}, Case{999, 2, 20}, Case{-3, 0, 0}}) {
        const ZLXTrip::Place place = trip.placeAt(c.t);
        EXPECT_EQ(place.group, c.group) << c.t;
        EXPECT_NEAR(place.seconds, c.seconds, 1e-9) << c.t;
        if (c.t >= 0 && c.t <= 60.5) {
            EXPECT_NEAR(trip.timeOf(place.group, place.seconds), c.t, 1e-9);
        }
    }
    EXPECT_EQ(trip.placeAt(std::nan("")).group, 0u);
}

TEST(Impacts, PeaksAboveTheThresholdFromRestOnce) {
    ZLXTrack track;
    track.duration = 20;
    for (int i = 0; i < 100; ++i) {
        ZLXTrackPoint p;
        p.seconds = i * 0.2;
        p.g = ZLXGSensor(0.02f * float(i % 3), 0.98f, 0.1f); // mounted on its side: y holds gravity
        track.points.push_back(p);
    }
    track.points[30].g.x = 0.9f;  // a peak of 0.9 g ...
    track.points[31].g.x = 1.6f;  // ... rising to 1.6 g: one impact, at its top
    track.points[40].g.y = -0.7f; // 1.68 g below rest, 1.8 s after: the same impact
    track.points[80].g.z = 0.7f;  // 0.6 g: under 1.5 g, over 0.45 g
    auto impacts = detectImpacts(track, {}, false);
    ASSERT_EQ(impacts.size(), 1u);
    EXPECT_NEAR(impacts[0].seconds, 8.0, 1e-9);
    EXPECT_NEAR(impacts[0].g, 1.68f, 1e-3);
    impacts = detectImpacts(track, {0.45f, 0.45f, 0.45f}, false);
    ASSERT_EQ(impacts.size(), 2u);
    EXPECT_NEAR(impacts[1].seconds, 16.0, 1e-9);

    // an event recording has its impact even when nothing passes; one without samples at 0
    track.points.resize(20);
    impacts = detectImpacts(track, {}, true);
    ASSERT_EQ(impacts.size(), 1u);
    EXPECT_TRUE(impacts[0].eventRecording);
    EXPECT_EQ(detectImpacts(ZLXTrack{}, {}, true).size(), 1u);
    EXPECT_TRUE(detectImpacts(ZLXTrack{}, {}, false).empty());
}

TEST(Route, AGapOfMoreThanTenSecondsBreaksTheLine) {
    ZLXTrack first, second;
    first.duration = second.duration = 20;
    first.name = "a_F.MP4";
    second.name = "b, \"c\"_F.MP4";
    for (int i = 0; i < 20; ++i) {
        ZLXTrackPoint p;
        p.seconds = i;
        // fixes in the first 5 s of the first recording and after the second's 6th second
        p.hasFix = i < 5 ? true : false;
        p.latitude = 37.5 + i * 0.001;
        p.longitude = 127.0;
        p.speedKmh = 40;
        first.points.push_back(p);
        p.hasFix = i > 6;
        p.latitude = -33.9;
        p.longitude = 151.2 + i * 1e-4;
        p.speedKmh = 10 * i;
        second.points.push_back(p);
    }
    ZLXRoute route;
    route.append(first);
    route.append(second);
    EXPECT_DOUBLE_EQ(route.duration(), 40);
    auto lines = route.lines();
    ASSERT_EQ(lines.size(), 2u); // 4 s to 27 s: broken
    EXPECT_EQ(lines[0].size(), 5u);
    EXPECT_EQ(lines[1].size(), 13u);
    EXPECT_DOUBLE_EQ(lines[1][0].time, 27);
    EXPECT_DOUBLE_EQ(route.maxSpeedKmh(), 190);
    // 4 steps of 0.001° of latitude, and 12 of 1e-4° of longitude at 33.9° S
    EXPECT_NEAR(route.distanceMeters(), 4 * 111.19 + 12 * 11.119 * std::cos(33.9 * M_PI / 180), 1.0);

    // a gap of exactly ten seconds keeps the line, one of eleven breaks it
    first.points[14].hasFix = true;
    lines = route.lines();
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 6u);
    first.points[14].hasFix = false;
    first.points[15].hasFix = true;
    EXPECT_EQ(route.lines().size(), 3u);
    first.points[15].hasFix = false;

    const std::string script = mapRouteScript(route, {{31, -33.9, 151.2, "Impact 'hard' </script>"}}, true);
    EXPECT_EQ(script.substr(0, 45), "showRoute([[[37.500000,127.000000,40.0,0.00],");
    EXPECT_NE(script.find("],[[-33.900000,151.200700,70.0,27.00],"), std::string::npos) << script;
    EXPECT_NE(script.find("'Impact \\x27hard\\x27 \\x3c/script>']],true)"), std::string::npos) << script;

    std::istringstream rows(routeCsv(route));
    std::string header, row;
    std::getline(rows, header);
    EXPECT_EQ(header, "recording,seconds,route_seconds,x,y,z,latitude,longitude,speed_kmh,course,hdop,satellites,utc\r");
    size_t count = 0;
    std::string last;
    while (std::getline(rows, row))
        ++count, last = row;
    EXPECT_EQ(count, 40u);
    EXPECT_TRUE(last.starts_with("\"b, \"\"c\"\"_F.MP4\",19.000,39.000,0.0000,")) << last;
}

namespace {

// MP4 boxes for hand-made movies.
std::string be32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string box(const char* type, const std::string& body) {
    return be32(uint32_t(8 + body.size())) + type + body;
}
std::string mvhd(uint32_t scale, uint32_t length) {
    return box("mvhd", be32(0) + be32(1) + be32(2) + be32(scale) + be32(length));
}
// a track of `samples` samples of `delta` units at `scale` a second
std::string trak(const char* handler, uint32_t scale, uint32_t samples, uint32_t delta) {
    const std::string mdhd = box("mdhd", be32(0) + be32(0) + be32(0) + be32(scale) + be32(samples * delta));
    const std::string hdlr = box("hdlr", be32(0) + be32(0) + handler + std::string(12, '\0'));
    const std::string stts = box("stts", be32(0) + be32(1) + be32(samples) + be32(delta));
    return box("trak", box("mdia", mdhd + hdlr + box("minf", box("stbl", stts))));
}

} // namespace

// The length comes from the movie header, never beyond what the samples of its longest track
// hold: a header claiming 2^32-2 s for 40 s of samples says 40 s. No samples, no length.
TEST(Route, DurationsFromTheMovieHeaderBoundedByTheSamples) {
    test::TempTree tree;
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(tree.path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return tree.path(name);
    };
    const std::string video = trak("vide", 90000, 1200, 3000); // 40 s at 30 frames a second
    const std::string text = trak("text", 1000, 400, 100);     // 40 s of records
    const std::string movie = box("free", "") + box("moov", mvhd(600, 7500) + text + video); // 12.5 s
    EXPECT_DOUBLE_EQ(*recordingDuration(write("short.mp4", movie).c_str()), 12.5);
    EXPECT_TRUE(movieFacts(tree.path("short.mp4").c_str()).hasVideo);
    const std::string lying = box("moov", mvhd(1, 0xFFFFFFFE) + video);
    EXPECT_DOUBLE_EQ(*recordingDuration(write("lying.mp4", lying).c_str()), 40.0);
    // a 64-bit box size and a version 1 header (1000 a second, 3.25 s)
    const std::string v1body = std::string(1, '\1') + std::string(3, '\0') + std::string(16, '\0') + be32(1000) +
                               be32(0) + be32(3250);
    const std::string v1 = box("moov", box("mvhd", v1body) + text);
    const std::string wide = be32(1) + "moov" + be32(0) + be32(uint32_t(16 + v1.size() - 8)) + v1.substr(8);
    EXPECT_DOUBLE_EQ(*recordingDuration(write("v1.mp4", wide).c_str()), 3.25);
    EXPECT_FALSE(movieFacts(tree.path("v1.mp4").c_str()).hasVideo); // telemetry alone
    // no samples, cut inside the header, a box larger than the file, no movie at all
    EXPECT_FALSE(recordingDuration(write("bare.mp4", box("moov", mvhd(600, 7500))).c_str()));
    EXPECT_FALSE(recordingDuration(write("cut.mp4", movie.substr(0, 30)).c_str()));
    std::string big = movie;
    big[9] = 1; // moov claims 16 MB more than the file holds
    EXPECT_FALSE(recordingDuration(write("big.mp4", big).c_str()));
    EXPECT_FALSE(recordingDuration(write("free.mp4", box("free", "")).c_str()));
    EXPECT_FALSE(recordingDuration(tree.path().c_str()));
}

// A name that is not UTF-8 still makes XML: what is not UTF-8 stands as U+FFFD.
TEST(Route, WritersMakeXmlOfAnyName) {
    ZLXRoute route;
    const std::string gpx = routeGpx(route, "caf\xE9 \xC3\xA9t\xC3\xA9 \xED\xA0\x80 <&>\x01");
    EXPECT_NE(gpx.find("caf\xEF\xBF\xBD \xC3\xA9t\xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD &lt;&amp;&gt;<"),
              std::string::npos)
        << gpx;
    EXPECT_EQ(routeKml(route, "caf\xE9").find('\xE9'), std::string::npos);
}

TEST(Route, TheCacheReadsAFileAgainOnlyWhenItChanged) {
    test::TempTree tree;
    const std::string input = tree.path("input.mp4"), path = tree.path("alwa_20240506_100000_F.MP4");
    ASSERT_TRUE(test::ffmpegMp4(input, 2));
    tools::WriterOptions options;
    options.telemetry = std::vector<tools::TelemetryRecord>(10);
    ASSERT_TRUE(tools::writeRecording(input, path, options).ok);
    ZLXTrackCache cache;
    const auto first = cache.track(path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->points.size(), 10u);
    EXPECT_NEAR(first->duration, 2.0, 0.1); // from the movie header
    EXPECT_EQ(cache.track(path), first);
    // written again: read again, the old one forgotten
    options.telemetry = std::vector<tools::TelemetryRecord>(12);
    ASSERT_TRUE(tools::writeRecording(input, path, options).ok);
    const auto second = cache.track(path);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->points.size(), 12u);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.track(tree.path()), nullptr); // a folder
    EXPECT_EQ(cache.track(input), nullptr);       // no telemetry
}

// A track point is a fix: the records that carry the same fix (or an older one) add none, so a
// line's times only increase and no time has two positions; a fix without a satellite count
// says none.
TEST(Route, OnePointPerFixTimeAlwaysLater) {
    ZLXTrack track;
    track.duration = 10;
    const auto at = [](int second) {
        _SYSTEMTIME t{};
        t.wYear = 2024, t.wMonth = 10, t.wDay = 3, t.wHour = 8, t.wMinute = 15, t.wSecond = uint16_t(second);
        return t;
    };
    const int seconds[] = {0, 0, 1, 1, 0, 2, 3, 3};
    for (size_t i = 0; i < std::size(seconds); ++i) {
        ZLXTrackPoint p;
        p.seconds = double(i);
        p.hasFix = true;
        p.latitude = 37.5 + double(i) * 0.001; // another place for each record
        p.longitude = 127;
        p.satellites = i < 2 ? 0 : 7;
        p.utc = at(seconds[i]);
        track.points.push_back(p);
    }
    ZLXRoute route;
    route.append(track);
    const auto lines = route.lines();
    ASSERT_EQ(lines.size(), 1u);
    std::vector<int> kept;
    for (const ZLXRoutePoint& p : lines[0])
        kept.push_back(p.point->utc.wSecond);
    EXPECT_EQ(kept, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_DOUBLE_EQ(lines[0][1].point->latitude, 37.502); // the first record of that fix
    const std::string gpx = routeGpx(route, "drive", {});
    EXPECT_EQ(gpx.find("<sat>0</sat>"), std::string::npos);
    size_t points = 0;
    for (size_t p = gpx.find("<trkpt"); p != std::string::npos; p = gpx.find("<trkpt", p + 1))
        ++points;
    EXPECT_EQ(points, 4u);
}


// With captions along the bottom, the rear inset of a picture-in-picture clip moves to the top
// right, so that neither hides the other.
TEST(Clip, TheInsetStandsClearOfTheCaptions) {
    const std::vector<ZLXClipSegment> segments{{"a_F.MP4", "a_R.MP4", 0, 5}};
    const auto graphOf = [&](bool captions) {
        ZLXClipOptions options;
        options.layout = ZLXClipLayout::PictureInPicture;
        options.captions = captions;
        const auto args = clipFfmpegArguments(segments, options, "out.mp4", "c.ass", "l.txt");
        const auto at = std::find(args.begin(), args.end(), "-filter_complex");
        return at != args.end() && at + 1 != args.end() ? *(at + 1) : std::string();
    };
    EXPECT_NE(graphOf(true).find("overlay=W-w-16:16["), std::string::npos) << graphOf(true);
    EXPECT_NE(graphOf(false).find("overlay=W-w-16:H-h-16["), std::string::npos) << graphOf(false);
}
