// SPDX-License-Identifier: GPL-3.0-or-later
// Cards at a driver's scale without the disk space: N one-minute groups laid out at the sizes a
// 4K front and a 1080p rear take, their media left as holes in sparse files, their movie boxes
// and telemetry records real. For the benchmarks and the tests of a full card.
#pragma once

#include "tools/ZLXRecordingWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace daxo::tools {

// "$BODY*CS\r\n": a sentence with its checksum.
std::string nmeaSentence(const std::string& body);
// "3733.9780" (degrees and minutes, `degreeDigits` digits of degrees).
std::string nmeaAngle(double degrees, int degreeDigits);

// `count` records over `seconds` of a steady drive from (lat, lon) at `speedKmh` heading
// north-east, starting at `epoch` (seconds of a plain count, UTC): one RMC fix per record,
// the G-sensor at rest with a little noise, one sharp jolt when `jolt` is true.
std::vector<TelemetryRecord> cruiseRecords(size_t count, double seconds, int64_t epoch, double lat, double lon,
                                           double speedKmh, bool jolt);

struct CardOptions {
    int groups = 100;
    int recordsPerMinute = 60;
    // The inputs whose movie boxes the fronts and rears carry (one-minute files).
    std::string frontInput, rearInput;
    uint64_t frontBytes = 375ull << 20; // a minute of 4K at 50 Mbit/s
    uint64_t rearBytes = 75ull << 20;   // a minute of 1080p at 10 Mbit/s
    int groupsPerTrip = 30;             // then a pause of ten minutes
    int eventEvery = 25;                // every so many groups is an event recording
    int64_t firstUtc = 1714978800;      // the first group's start: 2024-05-06 07:00:00 UTC
    // What the camera's clock reads less UTC: its zone, and any error; the names carry it.
    int64_t clockAhead = 0;
};

struct CardResult {
    bool ok = false;
    std::string error;
    int files = 0;
};

// Writes the card's recordings into `folder` (which must exist).
CardResult makeCard(const std::string& folder, const CardOptions& options);

} // namespace daxo::tools
