// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's clock against the GPS time in its recordings.
#include "../support/FfmpegInput.h"
#include "../support/TempTree.h"
#include "config/filedata/ZLXFileData.h"
#include "library/ZLXMediaList.h"
#include "telemetry/ZLXClip.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrip.h"
#include "tools/ZLXCardMaker.h"
#include "tools/ZLXRecordingWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace daxo;

namespace {

constexpr int32_t kUtc = 14, kPlus0530 = 22, kPlus0900 = 28; // indexes of the zone table

// A front recording named for `cameraTime` (civil seconds) that GPS says began at `gpsStart`
// (UTC), its first fix `fixAfter` seconds in; `fixes` false: a track without any fix.
struct Recording {
    std::shared_ptr<ZLXMedia> media;
    ZLXTrack track;
};

Recording recording(int64_t cameraTime, int64_t gpsStart, int fixAfter = 3, bool fixes = true) {
    const std::string name = civilDateTimeText(cameraTime); // "2024-10-03 08:16:05"
    const std::string file = "alwa_" + name.substr(0, 4) + name.substr(5, 2) + name.substr(8, 2) + "_" +
                             name.substr(11, 2) + name.substr(14, 2) + name.substr(17, 2) + "_F.MP4";
    Recording r{ZLXMedia::mediaWithPath("/card/" + file), {}};
    for (int i = 0; i < 10; ++i) {
        ZLXTrackPoint point;
        point.seconds = i;
        point.hasFix = fixes && i >= fixAfter;
        if (point.hasFix) {
            const std::string utc = civilDateTimeText(gpsStart + i);
            point.utc.wYear = uint16_t(std::stoi(utc.substr(0, 4)));
            point.utc.wMonth = uint16_t(std::stoi(utc.substr(5, 2)));
            point.utc.wDay = uint16_t(std::stoi(utc.substr(8, 2)));
            point.utc.wHour = uint16_t(std::stoi(utc.substr(11, 2)));
            point.utc.wMinute = uint16_t(std::stoi(utc.substr(14, 2)));
            point.utc.wSecond = uint16_t(std::stoi(utc.substr(17, 2)));
        }
        r.track.points.push_back(point);
    }
    return r;
}

ZLXClockCheck check(const std::vector<Recording>& recordings, std::optional<ZLXClockZone> zone) {
    std::vector<ZLXClockInput> inputs;
    for (const Recording& r : recordings)
        inputs.push_back({r.media.get(), &r.track});
    return checkClock(inputs, zone);
}

const int64_t kMorning = *civilSeconds(2024, 10, 3, 7, 0, 0); // UTC

} // namespace

// A clock set off from GPS by a known amount is found, whatever the zone, also where the zone
// carries the local day past midnight; the recording's seconds to its first fix are allowed for.
TEST(ClockCheck, AKnownErrorIsFound) {
    // +09:00 at 20:30 UTC is 05:30 of the next day
    const int64_t evening = *civilSeconds(2024, 3, 31, 20, 30, 0);
    std::vector<Recording> drive;
    for (int i = 0; i < 5; ++i) {
        const int64_t start = evening + 60 * i;
        drive.push_back(recording(start + 9 * 3600 + 83 + (i == 2 ? 1 : 0), start, 3 + i));
    }
    const ZLXClockCheck fast = check(drive, ZLXClockZone{kPlus0900, false});
    EXPECT_EQ(fast.verdict, ZLXClockCheck::Verdict::Fast);
    EXPECT_EQ(fast.median, 83);
    EXPECT_EQ(fast.spread, 1);
    EXPECT_TRUE(fast.jumps.empty());
    ASSERT_EQ(fast.readings.size(), 5u);
    EXPECT_EQ(fast.readings.front().name, "alwa_20240401_053523_F.MP4"); // newest first
    EXPECT_EQ(civilDateTimeText(fast.readings.back().gpsStart), "2024-04-01 05:30:00");
    EXPECT_EQ(clockVerdictText(fast), "The camera's clock is 83 s fast.");

    const ZLXClockCheck slow = check({recording(kMorning - 40, kMorning)}, ZLXClockZone{kUtc, false});
    EXPECT_EQ(clockVerdictText(slow), "The camera's clock is 40 s slow.");
    const ZLXClockCheck right = check({recording(kMorning + 1, kMorning)}, ZLXClockZone{kUtc, false});
    EXPECT_EQ(right.verdict, ZLXClockCheck::Verdict::Right);
}

// Whole-hour and zone-sized errors are named for their likely cause, with the setting that
// would agree with the clock; more than a day off is the date, never a zone.
TEST(ClockCheck, TheLikelyCauseIsNamed) {
    const ZLXClockCheck summer = check({recording(kMorning + 3600 + 20, kMorning)}, ZLXClockZone{kUtc, false});
    EXPECT_EQ(summer.verdict, ZLXClockCheck::Verdict::DaylightSaving);
    EXPECT_EQ(summer.suggestedSummerTime, true);
    EXPECT_EQ(clockVerdictText(summer), "Daylight saving time looks wrong: the camera's clock is an hour ahead of "
                                        "GPS time; turn daylight saving time on.");
    const ZLXClockCheck winter = check({recording(kMorning, kMorning)}, ZLXClockZone{kUtc, true});
    EXPECT_EQ(winter.verdict, ZLXClockCheck::Verdict::DaylightSaving);
    EXPECT_EQ(winter.suggestedSummerTime, false);

    // a clock on India's time in a camera set to UTC
    const ZLXClockCheck zone = check({recording(kMorning + 19800, kMorning)}, ZLXClockZone{kUtc, false});
    EXPECT_EQ(zone.verdict, ZLXClockCheck::Verdict::TimeZone);
    EXPECT_EQ(zone.suggestedZone, kPlus0530);
    EXPECT_EQ(clockVerdictText(zone), "The time zone looks wrong: the camera's clock is 5 h 30 min ahead of GPS "
                                      "time in its zone; it keeps the time of +05:30.");

    const ZLXClockCheck date = check({recording(kMorning + 3 * 86400, kMorning)}, ZLXClockZone{kUtc, false});
    EXPECT_EQ(date.verdict, ZLXClockCheck::Verdict::Date);
    EXPECT_FALSE(date.suggestedZone);
    EXPECT_EQ(clockVerdictText(date), "The camera's date is wrong: its clock is 3 days ahead.");
}

// A clock reset between two drives (back to 2020-01-01) is found where it happened, and the
// verdict is of the clock as it is since.
TEST(ClockCheck, AResetBetweenDrivesIsFound) {
    const int64_t reset = *civilSeconds(2020, 1, 1, 0, 0, 0);
    std::vector<Recording> drives{recording(kMorning, kMorning), recording(kMorning + 60, kMorning + 60),
                                  recording(reset, kMorning + 7200), recording(reset + 60, kMorning + 7260)};
    const ZLXClockCheck c = check(drives, ZLXClockZone{kUtc, false});
    ASSERT_EQ(c.jumps, std::vector<size_t>{1});
    EXPECT_EQ(c.readings[1].name, "alwa_20200101_000000_F.MP4");
    EXPECT_EQ(c.readings[2].error, 0);
    EXPECT_EQ(c.verdict, ZLXClockCheck::Verdict::Date);
    EXPECT_NE(clockReportText(c).find("the clock was reset between alwa_20241003_070100_F.MP4 (0 s) and "
                                      "alwa_20200101_000000_F.MP4 (-"),
              std::string::npos);
}

// What cannot be used is said and never guessed at: recordings without fixes or with undated
// ones, names that are not camera times, no zone or one outside the table.
TEST(ClockCheck, WhatCannotBeUsedIsSaid) {
    Recording undated = recording(kMorning, kMorning);
    for (ZLXTrackPoint& point : undated.track.points)
        point.utc = {};
    Recording unnamed{ZLXMedia::mediaWithPath("/card/holiday.MP4"), recording(kMorning, kMorning).track};
    const std::vector<Recording> unusable{recording(kMorning, kMorning, 3, false), undated, unnamed};
    const ZLXClockCheck c = check(unusable, ZLXClockZone{kUtc, false});
    EXPECT_EQ(c.verdict, ZLXClockCheck::Verdict::Unknown);
    ASSERT_EQ(c.unused.size(), 3u);
    EXPECT_EQ(c.unused[0].why, "no GPS fix");
    EXPECT_EQ(c.unused[1].why, "its fixes carry no date");
    EXPECT_EQ(c.unused[2].why, "the name holds no camera time");
    EXPECT_EQ(clockVerdictText(c),
              "The camera's clock could not be checked: no recording has a GPS fix with a date and time.");

    const std::vector<Recording> good{recording(kMorning, kMorning)};
    EXPECT_EQ(check(good, std::nullopt).verdict, ZLXClockCheck::Verdict::Unknown);
    const ZLXClockCheck unset = check(good, ZLXClockZone{-1, false});
    EXPECT_EQ(unset.verdict, ZLXClockCheck::Verdict::Unknown);
    EXPECT_TRUE(unset.readings.empty());
    EXPECT_EQ(unset.reason, "the camera's time zone is not set (index -1): set it on the GPS page");
}

// A made card, read from its files: fronts only, the zone from its config.bin.
TEST(ClockCheck, ACardIsCheckedFromItsFiles) {
    test::TempTree tree;
    const std::string input = tree.path("input.mp4"), folder = tree.path("card");
    ASSERT_TRUE(test::ffmpegMp4(input, 2, false));
    std::filesystem::create_directories(folder);
    tools::CardOptions options;
    options.groups = 3;
    options.recordsPerMinute = 10;
    options.frontInput = options.rearInput = input;
    options.frontBytes = options.rearBytes = 1 << 20;
    options.clockAhead = 5 * 3600 + 1800 - 83; // +05:30, 83 s slow
    ASSERT_TRUE(tools::makeCard(folder, options).ok);
    ZLXTrackCache cache;
    EXPECT_EQ(checkFolderClock(folder, cache).verdict, ZLXClockCheck::Verdict::Unknown); // no config.bin

    _FILEDATA record{};
    InitFileData(&record);
    record.time_gmt = kPlus0530;
    FinalizeFileData(&record);
    ASSERT_FALSE(SaveFileData(&record, folder + "/config.bin"));
    const ZLXClockCheck c = checkFolderClock(folder, cache);
    EXPECT_EQ(c.readings.size(), 3u);
    EXPECT_EQ(clockVerdictText(c), "The camera's clock is 83 s slow.");
    EXPECT_EQ(cache.filesRead(), 0u); // a card not seen before: each read only to its first fix

    // a recording whose fixes begin later: read that far, the fix where the whole track has it
    const std::string late = tree.path("late.mp4");
    tools::WriterOptions writer;
    writer.telemetry = tools::cruiseRecords(20, 4, 1714978800, 37.5, 127.0, 60, false);
    for (size_t i = 0; i < 5; ++i)
        (*writer.telemetry)[i].text.clear();
    ASSERT_TRUE(tools::writeRecording(input, late, writer).ok);
    const auto whole = readTrack(late), first = readTrackToFirstFix(late);
    ASSERT_TRUE(whole && first);
    ASSERT_EQ(first->points.size(), 7u); // the odd records carry no date
    EXPECT_EQ(whole->points.size(), 20u);
    const ZLXTrackPoint &a = first->points.back(), &b = whole->points[6];
    EXPECT_DOUBLE_EQ(a.seconds, b.seconds);
    EXPECT_EQ(isoUtc(a.utc), isoUtc(b.utc));
    EXPECT_FALSE(isoUtc(a.utc).empty());

    // a clip's captions give the GPS time beside the camera's
    const ZLXMediaList::Contents contents = ZLXMediaList::build(folder);
    const auto trips = groupTrips(tripGroupsWithDurations(contents.medias, contents.mediaPairDic, &cache), 180);
    ASSERT_EQ(trips.size(), 1u);
    const ZLXDrive drive = ZLXDrive::load(trips[0], [&](const std::string& p) { return cache.track(p); }, {});
    const auto error = driveClockError(drive, cardClockZone(folder + "/config.bin"));
    ASSERT_EQ(error, -83);
    const std::string captions = clipCaptions(drive, 0, 1, true, error);
    EXPECT_NE(captions.find("2024-05-06 12:28:37 (GPS 12:30:00, camera -83 s)"), std::string::npos) << captions;
}
