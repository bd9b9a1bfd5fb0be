// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXClockCheck.h"

#include "config/filedata/ZLXFileData.h"
#include "library/ZLXMediaList.h"
#include "telemetry/ZLXTrip.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace daxo {
namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kHour = 3600;
constexpr int64_t kRightWithin = 2;  // the name and the fix both count whole seconds
constexpr int64_t kJumpOver = 60;    // a clock drifts seconds a week, a reset jumps
constexpr int64_t kZoneWithin = 120; // how near a whole zone step an error must be

std::string durationText(int64_t seconds) {
    seconds = std::llabs(seconds);
    char text[64];
    if (seconds >= kDay)
        std::snprintf(text, sizeof text, "%lld days", static_cast<long long>((seconds + kDay / 2) / kDay));
    else if (seconds >= kHour && seconds % kHour < 60)
        std::snprintf(text, sizeof text, "%lld h", static_cast<long long>(seconds / kHour));
    else if (seconds >= kHour)
        std::snprintf(text, sizeof text, "%lld h %lld min", static_cast<long long>(seconds / kHour),
                      static_cast<long long>(seconds % kHour / 60));
    else
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
    return text;
}

std::string signedSeconds(int64_t seconds) {
    return (seconds > 0 ? "+" : seconds < 0 ? "-" : "") + std::to_string(std::llabs(seconds)) + " s";
}

} // namespace

std::optional<int32_t> zoneOffsetSeconds(int32_t zoneIndex) {
    if (zoneIndex < 0 || static_cast<size_t>(zoneIndex) >= kTimeZoneTable.size())
        return std::nullopt;
    const int hhmm = kTimeZoneTable[static_cast<size_t>(zoneIndex)];
    return (hhmm / 100) * 3600 + (hhmm % 100) * 60;
}

std::string zoneText(int32_t offsetSeconds) {
    const int32_t minutes = std::abs(offsetSeconds) / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%s%02d:%02d", offsetSeconds > 0 ? "+" : offsetSeconds < 0 ? "-" : "",
                  minutes / 60, minutes % 60);
    return text;
}

int64_t cardLocalSeconds(int64_t utcSeconds, const ZLXClockZone& zone) {
    return utcSeconds + zoneOffsetSeconds(zone.zoneIndex).value_or(0) + (zone.summerTime ? kHour : 0);
}

ZLXClockCheck checkClock(const std::vector<ZLXClockInput>& recordings, std::optional<ZLXClockZone> zone) {
    ZLXClockCheck check;
    const std::optional<int32_t> offset = zone ? zoneOffsetSeconds(zone->zoneIndex) : std::nullopt;
    if (!zone) {
        check.reason = "the card has no config.bin, so its time zone is not known";
        return check;
    }
    if (!offset) {
        check.reason = "the camera's time zone is not set (index " + std::to_string(zone->zoneIndex) +
                       "): set it on the GPS page";
        return check;
    }
    for (const ZLXClockInput& input : recordings) {
        if (!input.media)
            continue;
        const ZLXMedia& media = *input.media;
        const auto cameraStart =
            civilSeconds(media.year(), media.month(), media.day(), media.hour(), media.minute(), media.second());
        if (!cameraStart) {
            check.unused.push_back({media.fileName(), "the name holds no camera time"});
            continue;
        }
        // the first fix with a date and time, and the seconds into the recording it came at
        std::optional<int64_t> fixUtc;
        double fixSeconds = 0;
        bool undated = false;
        static const std::vector<ZLXTrackPoint> kNoPoints;
        for (const ZLXTrackPoint& point : input.track ? input.track->points : kNoPoints) {
            const _SYSTEMTIME& t = point.utc;
            fixUtc = t.wYear != 0 ? civilSeconds(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond)
                                  : std::nullopt;
            if (fixUtc) {
                *fixUtc += t.wMilliseconds >= 500 ? 1 : 0;
                fixSeconds = point.seconds;
                break;
            }
            undated = undated || point.hasFix;
        }
        if (!fixUtc) {
            check.unused.push_back({media.fileName(), !input.track ? "its telemetry could not be read"
                                                      : undated    ? "its fixes carry no date"
                                                                   : "no GPS fix"});
            continue;
        }
        ZLXClockReading reading;
        reading.name = media.fileName();
        reading.cameraStart = *cameraStart;
        reading.gpsStart = cardLocalSeconds(*fixUtc - static_cast<int64_t>(fixSeconds + 0.5), *zone);
        reading.error = reading.cameraStart - reading.gpsStart;
        check.readings.push_back(std::move(reading));
    }
    if (check.readings.empty()) {
        check.reason = recordings.empty() ? "there are no front recordings"
                                          : "no recording has a GPS fix with a date and time";
        return check;
    }
    std::stable_sort(check.readings.begin(), check.readings.end(),
                     [](const ZLXClockReading& a, const ZLXClockReading& b) { return a.gpsStart > b.gpsStart; });
    for (size_t i = 1; i < check.readings.size(); ++i) {
        if (std::llabs(check.readings[i].error - check.readings[i - 1].error) > kJumpOver)
            check.jumps.push_back(i - 1);
    }
    // The clock as it is now: the readings since the newest jump.
    const size_t current = check.jumps.empty() ? check.readings.size() : check.jumps.front() + 1;
    std::vector<int64_t> errors;
    for (size_t i = 0; i < current; ++i)
        errors.push_back(check.readings[i].error);
    std::sort(errors.begin(), errors.end());
    check.median = errors.size() % 2 ? errors[errors.size() / 2]
                                     : (errors[errors.size() / 2 - 1] + errors[errors.size() / 2]) / 2;
    check.spread = errors.back() - errors.front();

    const int64_t m = check.median;
    const int64_t quarter = (m >= 0 ? m + 450 : m - 450) / 900 * 900;
    if (std::llabs(m) > kDay) {
        check.verdict = ZLXClockCheck::Verdict::Date;
    } else if (std::llabs(m) <= kRightWithin) {
        check.verdict = ZLXClockCheck::Verdict::Right;
    } else if (quarter != 0 && std::llabs(m - quarter) <= kZoneWithin) {
        // An hour ahead with daylight saving off, or behind with it on: the clock keeps the
        // other side of daylight saving time than the settings say.
        if ((quarter == kHour && !zone->summerTime) || (quarter == -kHour && zone->summerTime)) {
            check.verdict = ZLXClockCheck::Verdict::DaylightSaving;
            check.suggestedSummerTime = !zone->summerTime;
        } else {
            check.verdict = ZLXClockCheck::Verdict::TimeZone;
            const int32_t kept = *offset + static_cast<int32_t>(quarter);
            if (const int32_t index = timeZoneIndexForOffset(kept); index >= 0)
                check.suggestedZone = index;
        }
    } else {
        check.verdict = ZLXClockCheck::Verdict::Fast;
    }
    return check;
}

std::string clockVerdictText(const ZLXClockCheck& check) {
    const int64_t m = check.median;
    switch (check.verdict) {
    case ZLXClockCheck::Verdict::Unknown:
        return "The camera's clock could not be checked: " + check.reason + ".";
    case ZLXClockCheck::Verdict::Right:
        return "The camera's clock is right.";
    case ZLXClockCheck::Verdict::Fast:
        return "The camera's clock is " + durationText(m) + (m > 0 ? " fast." : " slow.");
    case ZLXClockCheck::Verdict::DaylightSaving:
        return std::string("Daylight saving time looks wrong: the camera's clock is an hour ") +
               (m > 0 ? "ahead of" : "behind") + " GPS time; turn daylight saving time " +
               (check.suggestedSummerTime.value_or(false) ? "on." : "off.");
    case ZLXClockCheck::Verdict::TimeZone: {
        std::string text = "The time zone looks wrong: the camera's clock is " + durationText(m) +
                           (m > 0 ? " ahead of" : " behind") + " GPS time in its zone";
        if (check.suggestedZone)
            text += "; it keeps the time of " + zoneText(*zoneOffsetSeconds(*check.suggestedZone));
        return text + ".";
    }
    case ZLXClockCheck::Verdict::Date:
        return "The camera's date is wrong: its clock is " + durationText(m) + (m > 0 ? " ahead." : " behind.");
    }
    return {};
}

std::string clockReportText(const ZLXClockCheck& check) {
    std::string text = clockVerdictText(check) + "\n";
    if (!check.readings.empty()) {
        const size_t current = check.jumps.empty() ? check.readings.size() : check.jumps.front() + 1;
        text += "error " + signedSeconds(check.median) + " (median of " + std::to_string(current) +
                " recordings, spread " + std::to_string(check.spread) + " s)\n";
    }
    for (const size_t jump : check.jumps) {
        const ZLXClockReading& after = check.readings[jump];
        const ZLXClockReading& before = check.readings[jump + 1];
        text += "the clock was reset between " + before.name + " (" + signedSeconds(before.error) + ") and " +
                after.name + " (" + signedSeconds(after.error) + ")\n";
    }
    for (const ZLXClockReading& reading : check.readings)
        text += reading.name + "\tcamera " + civilDateTimeText(reading.cameraStart) + "\tGPS " +
                civilDateTimeText(reading.gpsStart) + "\t" + signedSeconds(reading.error) + "\n";
    for (const ZLXClockUnused& unused : check.unused)
        text += unused.name + "\tnot used: " + unused.why + "\n";
    return text;
}

std::optional<ZLXClockZone> cardClockZone(const std::string& configPath) {
    _FILEDATA record{};
    if (!LoadFileData(configPath, &record))
        return std::nullopt;
    return ZLXClockZone{record.time_gmt, record.summer_time != 0};
}

std::optional<int64_t> driveClockError(const ZLXDrive& drive, std::optional<ZLXClockZone> zone) {
    std::vector<ZLXClockInput> inputs;
    for (size_t i = 0; i < drive.trip.groups.size() && i < drive.tracks.size(); ++i) {
        const ZLXTripGroup& group = drive.trip.groups[i];
        if (group.media && group.media->isFrontMedia())
            inputs.push_back({group.media.get(), drive.tracks[i].get()});
    }
    const ZLXClockCheck check = checkClock(inputs, zone);
    if (check.verdict == ZLXClockCheck::Verdict::Unknown || check.verdict == ZLXClockCheck::Verdict::Right)
        return std::nullopt;
    return check.median;
}

ZLXClockCheck checkFolderClock(const std::string& folder, ZLXTrackCache& cache) {
    const ZLXMediaList::Contents contents = ZLXMediaList::build(folder);
    std::vector<std::shared_ptr<const ZLXTrack>> tracks;
    std::vector<ZLXClockInput> inputs;
    for (const auto& media : contents.medias) {
        if (!media->isFrontMedia())
            continue;
        // a recording not seen before is read only as far as its first dated fix
        std::shared_ptr<const ZLXTrack> track = cache.knownTrack(media->path());
        tracks.push_back(track ? track : readTrackToFirstFix(media->path()));
        inputs.push_back({media.get(), tracks.back().get()});
    }
    return checkClock(inputs, cardClockZone(folder + "/config.bin"));
}

} // namespace daxo
