// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ZLXCardMaker.h"

#include "telemetry/ZLXTrip.h"

#include <cmath>
#include <cstdio>

namespace daxo::tools {

namespace {
struct Civil {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
Civil civilOf(int64_t seconds) {
    Civil c;
    std::sscanf(civilDateTimeText(seconds).c_str(), "%d-%d-%d %d:%d:%d", &c.year, &c.month, &c.day, &c.hour, &c.minute,
                &c.second);
    return c;
}
} // namespace

std::string nmeaSentence(const std::string& body) {
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

std::string nmeaAngle(double degrees, int degreeDigits) {
    const double a = std::fabs(degrees);
    const int d = int(a);
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, d, (a - d) * 60);
    return text;
}

std::vector<TelemetryRecord> cruiseRecords(size_t count, double seconds, int64_t epoch, double lat, double lon,
                                           double speedKmh, bool jolt) {
    std::vector<TelemetryRecord> records;
    const double step = count ? seconds / double(count) : 0;
    const double metres = speedKmh / 3.6 * step / std::sqrt(2.0); // north and east each
    for (size_t i = 0; i < count; ++i) {
        TelemetryRecord r;
        const int64_t now = epoch + int64_t(double(i) * step);
        r.time = uint32_t(now);
        const double wobble = std::sin(double(i) * 1.7) * 0.03;
        const bool hit = jolt && i == count / 2;
        r.x = int32_t(std::lround((wobble + (hit ? 2.4 : 0)) * 256));
        r.y = int32_t(std::lround(wobble / 2 * 256));
        r.z = int32_t(std::lround((1 + wobble) * 256));
        r.unit = '9';
        const double la = lat + metres * double(i) / 111320;
        const double lo = lon + metres * double(i) / (111320 * std::cos(lat * M_PI / 180));
        const Civil c = civilOf(now);
        char hms[16], body[128];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.%03d", c.hour, c.minute, c.second,
                      int(std::lround(std::fmod(double(i) * step, 1.0) * 1000)) % 1000);
        const std::string latText = nmeaAngle(la, 2) + ",N", lonText = nmeaAngle(lo, 3) + ",E";
        // the fix and its course on one record, its quality and satellites on the next
        if (i % 2 == 0)
            std::snprintf(body, sizeof body, "GNRMC,%s,A,%s,%s,%.1f,45.0,%02d%02d%02d,,,A", hms, latText.c_str(),
                          lonText.c_str(), speedKmh / 1.852, c.day, c.month, c.year % 100);
        else
            std::snprintf(body, sizeof body, "GNGGA,%s,%s,%s,1,09,0.8,38.0,M,18.2,M,,", hms, latText.c_str(), lonText.c_str());
        r.text = nmeaSentence(body);
        records.push_back(r);
    }
    return records;
}

CardResult makeCard(const std::string& folder, const CardOptions& options) {
    CardResult result;
    int64_t start = options.firstUtc;
    for (int g = 0; g < options.groups; ++g) {
        if (g > 0 && options.groupsPerTrip > 0 && g % options.groupsPerTrip == 0)
            start += 600; // a pause: the next trip
        const int64_t s = start + 60 * int64_t(g);
        const Civil c = civilOf(s + options.clockAhead);
        const bool event = options.eventEvery > 0 && g % options.eventEvery == options.eventEvery - 1;
        char name[96];
        std::snprintf(name, sizeof name, "%s_%04d%02d%02d_%02d%02d%02d", event ? "event" : "alwa",
                      c.year, c.month, c.day, c.hour, c.minute, c.second);
        WriterOptions front;
        front.telemetry = cruiseRecords(size_t(options.recordsPerMinute), 60, s, 37.5 + 0.01 * g, 127.0, 60, event);
        front.largeMdatBytes = options.frontBytes;
        WriteResult written = writeRecording(options.frontInput, folder + "/" + name + "_F.MP4", front);
        if (!written.ok) {
            result.error = written.error;
            return result;
        }
        WriterOptions rear;
        rear.largeMdatBytes = options.rearBytes;
        written = writeRecording(options.rearInput, folder + "/" + name + "_R.MP4", rear);
        if (!written.ok) {
            result.error = written.error;
            return result;
        }
        result.files += 2;
    }
    result.ok = true;
    return result;
}

} // namespace daxo::tools
