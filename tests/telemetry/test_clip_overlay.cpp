// SPDX-License-Identifier: GPL-3.0-or-later
// What a clip's overlay shows at each moment, where its panel goes, and which encoder a clip
// is written with.
#include "telemetry/ZLXClip.h"
#include "telemetry/ZLXClipOverlay.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace daxo;

namespace {

// Two recordings of 10 s from 08:00:00, five samples a second, the car speeding up by 1 km/h a
// second, north along a meridian; a jolt of 2 g at 12 s.
struct TwoRecordings {
    std::vector<std::shared_ptr<ZLXTrack>> tracks;
    ZLXDrive drive;
    TwoRecordings(bool withFixes = true) {
        ZLXTrip trip;
        for (int g = 0; g < 2; ++g) {
            ZLXTripGroup group;
            group.frontPath = "/card/alwa_2024050608000" + std::to_string(g) + "_F.MP4";
            group.start = *civilSeconds(2024, 5, 6, 8, 0, 10 * g);
            group.duration = 10;
            trip.groups.push_back(group);
            auto track = std::make_shared<ZLXTrack>();
            track->duration = 10;
            for (int i = 0; i < 50; ++i) {
                ZLXTrackPoint p;
                p.seconds = i * 0.2;
                const double t = 10 * g + p.seconds;
                p.g = ZLXGSensor(0, 0, std::abs(t - 12) < 0.01 ? 3.0f : 1.0f);
                p.hasFix = withFixes;
                p.latitude = 37.5 + t * 1e-4;
                p.longitude = 127.0;
                p.speedKmh = 40 + t;
                track->points.push_back(p);
            }
            tracks.push_back(track);
        }
        drive = ZLXDrive::load(trip, [&](const std::string& path) {
            return tracks[path.find("080001") != std::string::npos ? 1 : 0];
        }, {});
    }
};

} // namespace

TEST(ClipOverlay, EachMomentShowsItsTimeSpeedTraceAndRoute) {
    TwoRecordings r;
    const ZLXOverlayTimeline timeline(r.drive, 5, true); // the clip starts 5 s in
    const ZLXOverlayMoment m = timeline.momentAt(7.5);   // 12.5 s on the drive's line
    EXPECT_EQ(m.time, "2024-05-06 08:00:12");
    ASSERT_TRUE(m.speed);
    EXPECT_NEAR(*m.speed, 52.4, 0.11); // the fix within a second, nearest
    EXPECT_EQ(m.trace.size(), 50u);    // the samples of the last ten seconds
    EXPECT_NEAR(*std::max_element(m.trace.begin(), m.trace.end()), 2.0, 1e-4); // the jolt, from rest
    EXPECT_EQ(m.routeSoFar, 63u);      // the fixes up to 12.5 s
    ASSERT_TRUE(m.car);
    EXPECT_NEAR(m.car->first, 37.5 + 12.4e-4, 1e-9);
    EXPECT_EQ(timeline.route().size(), 100u);
    // in miles an hour, and past the drive's end its last moment
    EXPECT_NEAR(*ZLXOverlayTimeline(r.drive, 0, false).momentAt(5).speed, 45 / 1.609344, 0.01);
    EXPECT_EQ(timeline.momentAt(60).time, "2024-05-06 08:00:20");
}

TEST(ClipOverlay, WhatADriveCannotShowIsLeftOutAndSaid) {
    ZLXOverlayOptions all{true, true, true, true, ZLXOverlayOptions::Place::BottomLeft};
    std::string note;
    const ZLXOverlayOptions shown = overlayForDrive(TwoRecordings().drive, all, &note);
    EXPECT_TRUE(shown.map && shown.speed && shown.g && shown.time);
    EXPECT_TRUE(note.empty());
    const ZLXOverlayOptions noFixes = overlayForDrive(TwoRecordings(false).drive, all, &note);
    EXPECT_TRUE(!noFixes.map && !noFixes.speed && noFixes.g && noFixes.time);
    EXPECT_EQ(note, "This clip has no GPS fixes: the map and the speed are left out.");
    ZLXDrive bare;
    bare.trip.groups.resize(1);
    const ZLXOverlayOptions timeOnly = overlayForDrive(bare, all, &note);
    EXPECT_TRUE(!timeOnly.map && !timeOnly.speed && !timeOnly.g && timeOnly.time);
    EXPECT_EQ(note, "This clip has no telemetry: only the time is shown.");
}

TEST(ClipOverlay, ElementsAndPlacesAreReadAndThePanelStaysInThePicture) {
    EXPECT_TRUE(parseOverlayElements("time,g")->g);
    EXPECT_FALSE(parseOverlayElements("time,g")->map);
    for (const char* bad : {"", "speed,sky", ",", "MAP"})
        EXPECT_FALSE(parseOverlayElements(bad)) << bad;
    EXPECT_FALSE(parseOverlayPlace("middle"));
    for (const char* word : {"bottom-left", "bottom-right", "top-left", "top-right", "bottom"}) {
        ZLXOverlayOptions o = *parseOverlayElements("map,speed,g,time");
        o.place = *parseOverlayPlace(word);
        for (const ZLXClipLayout layout : {ZLXClipLayout::PictureInPicture, ZLXClipLayout::SideBySide}) {
            const auto [w, h] = clipPictureSize(layout);
            const ZLXOverlayRect r = overlayRect(o, w, h);
            EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.width <= w && r.y + r.height <= h) << word;
            EXPECT_TRUE(r.width % 2 == 0 && r.height % 2 == 0 && r.width >= 5 * r.height) << word;
        }
    }
}

TEST(ClipOverlay, AHardwareEncoderOnlyWhereItWorks) {
    const std::string list = " V....D libx264              libx264 H.264 / AVC (codec h264)\n"
                             " V....D h264_nvenc           NVIDIA NVENC H.264 encoder (codec h264)\n"
                             " V....D h264_vaapi           H.264/AVC (VAAPI) (codec h264)\n";
    const auto yes = [](const ZLXVideoEncoder&) { return true; };
    const auto no = [](const ZLXVideoEncoder&) { return false; };
    EXPECT_EQ(chooseVideoEncoder(list, false, true, yes).name, "h264_nvenc");
    const ZLXVideoEncoder vaapi = chooseVideoEncoder(list, true, false, yes);
    EXPECT_EQ(vaapi.name, "h264_vaapi");
    EXPECT_EQ(vaapi.filter, "format=nv12,hwupload");
    const ZLXVideoEncoder failed = chooseVideoEncoder(list, true, true, no);
    EXPECT_EQ(failed.name, "libx264");
    EXPECT_EQ(failed.description, "libx264 (software; the hardware encoder did not work)");
    EXPECT_EQ(chooseVideoEncoder(list, false, false, yes).description, "libx264 (software; no hardware encoder found)");
    // a name only in another line's description is not an encoder
    EXPECT_EQ(chooseVideoEncoder(" V....D libx264 x (see h264_nvenc )\n A....D h264_nvenc audio?\n", false, true, yes).name,
              "libx264");

    // its device before the inputs, its upload after the picture's filters
    ZLXClipOptions options;
    options.encoder = vaapi;
    const std::vector<ZLXClipSegment> one{{"/card/a_F.MP4", "", 0, 5}};
    const auto args = clipFfmpegArguments(one, options, "/out.mp4", "", "");
    const auto at = [&](const std::string& a) { return std::find(args.begin(), args.end(), a) - args.begin(); };
    EXPECT_LT(at("-init_hw_device"), at("-i"));
    EXPECT_NE(args[size_t(at("-filter_complex") + 1)].find(";[v]format=nv12,hwupload[venc]"), std::string::npos);
    EXPECT_EQ(args[size_t(at("-map") + 1)], "[venc]");
}
