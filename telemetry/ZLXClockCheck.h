// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's clock checked against GPS. A recording's name holds the camera's local time when
// it started; its first fix holds the satellites' UTC time some seconds later. With the card's
// time zone and daylight-saving setting the two give the clock's error:
//     error = name time - (fix UTC - seconds to the fix + zone + one hour when daylight saving)
// positive when the camera's clock is fast.
#pragma once

#include "library/ZLXMedia.h"
#include "telemetry/ZLXRoute.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

// The card's clock settings: the index into the camera's zone table and the daylight-saving
// flag, as config.bin holds them.
struct ZLXClockZone {
    int32_t zoneIndex = -1;
    bool summerTime = false;
};

// The zone's offset from UTC in seconds, or nothing for an index outside the table.
std::optional<int32_t> zoneOffsetSeconds(int32_t zoneIndex);
// "+05:30", "-03:30", "00:00".
std::string zoneText(int32_t offsetSeconds);

// One recording's view of the clock.
struct ZLXClockReading {
    std::string name;
    int64_t cameraStart = 0; // the name's time, as civil seconds
    int64_t gpsStart = 0;    // the fix's time less the seconds to it, in the card's zone
    int64_t error = 0;       // cameraStart - gpsStart
};

// A recording the check could not use, and why.
struct ZLXClockUnused {
    std::string name;
    std::string why;
};

struct ZLXClockCheck {
    enum class Verdict {
        Unknown,    // nothing to go by: see `reason`
        Right,      // within two seconds
        Fast,       // or slow: by `median` seconds
        DaylightSaving,
        TimeZone,   // the clock keeps another zone of the table: `suggestedZone`
        Date,       // more than a day off
    };
    Verdict verdict = Verdict::Unknown;
    std::string reason;                      // for Unknown
    std::vector<ZLXClockReading> readings;   // newest first (by GPS time)
    std::vector<ZLXClockUnused> unused;
    // Over the readings since the newest jump: the median error and its spread (largest less
    // smallest).
    int64_t median = 0;
    int64_t spread = 0;
    // Where the error changed between two drives by more than a minute: a reset of the clock.
    // Each is the index in `readings` of the first recording after the change.
    std::vector<size_t> jumps;
    std::optional<int32_t> suggestedZone; // the zone the clock keeps, when the table has it
    std::optional<bool> suggestedSummerTime;
};

struct ZLXClockInput {
    const ZLXMedia* media = nullptr; // a front recording
    const ZLXTrack* track = nullptr; // its telemetry
};

ZLXClockCheck checkClock(const std::vector<ZLXClockInput>& recordings,
                         std::optional<ZLXClockZone> zone);

// One line for the user: "The camera's clock is 83 s fast.", "Daylight saving time looks wrong:
// the camera's clock is an hour ahead of GPS time." ...
std::string clockVerdictText(const ZLXClockCheck& check);
// The whole report the command line prints: the verdict, the spread, the jumps, each reading
// newest first, and what could not be used.
std::string clockReportText(const ZLXClockCheck& check);

class ZLXTrackCache;
// The card's clock settings from its config.bin; nothing when it has none the camera would take.
std::optional<ZLXClockZone> cardClockZone(const std::string& configPath);
// The check of a card (or any folder of recordings): its front recordings against its
// config.bin, the tracks through `cache` (an index makes a card seen before quick).
ZLXClockCheck checkFolderClock(const std::string& folder, ZLXTrackCache& cache);

// The error of the camera's clock over a drive's front recordings, when the check finds one
// (none when it is right or cannot tell).
std::optional<int64_t> driveClockError(const struct ZLXDrive& drive, std::optional<ZLXClockZone> zone);

// The local time of the card's zone at `utcSeconds` (civil seconds, as the camera's clock
// should read).
int64_t cardLocalSeconds(int64_t utcSeconds, const ZLXClockZone& zone);

} // namespace daxo
