// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXTelemetryText.h"

#include "presentation/ZLXMapScript.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace daxo {

size_t sampleIndex(double position, size_t count) {
    if (count == 0)
        return 0;
    const double scaled = position * double(count);
    // Positions outside 0 to 1 (or not numbers at all) stay inside the list.
    if (!(scaled > 0))
        return 0;
    const size_t i = scaled >= double(count) ? count : size_t(scaled);
    return i < count ? i : count - 1;
}

namespace {

// The whole part of a value, toward zero, kept within what an int holds.
int truncated(double v) {
    if (!(v == v))
        return 0;
    return int(std::clamp(v, -2147483648.0, 2147483647.0));
}

// A fix taken before the receiver knew where it was carries no position.
bool hasPosition(const ZLXGpsData& fix) {
    return fix.Latitude != 0 || fix.Longitude != 0;
}

} // namespace

std::string gsensorText(char axis, float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%c=%s%.2lf", axis, value > 0 ? "+" : "", double(value));
    return text;
}

ZLXTelemetryDisplay telemetryDisplayAt(const ZLXBlackBoxData& data, double position) {
    ZLXTelemetryDisplay out;
    if (const size_t n = data.m_GSensors.size()) {
        const ZLXGSensor& g = data.m_GSensors[sampleIndex(position, n)];
        out.x = gsensorText('X', g.x);
        out.y = gsensorText('Y', g.y);
        out.z = gsensorText('Z', g.z);
    }

    const size_t raw = data.m_vGpsData.size();
    if (raw == 0)
        out.mapScript = kMapNoGpsScript;
    if (raw > 0 && !data.m_NMEAs.empty()) {
        // One fix per raw record is what the camera writes; where the two lists differ, the
        // index stays inside the fix list.
        const size_t i = sampleIndex(position, raw);
        const ZLXGpsData& fix = data.m_NMEAs[std::min(i, data.m_NMEAs.size() - 1)];
        const ZLXAviGpsData& record = data.m_vGpsData[i];
        if (!hasPosition(fix))
            return out; // neither moves the marker nor changes the fields
        double lat = std::fabs(fix.Latitude), lon = std::fabs(fix.Longitude);
        if (fix.NS != 'N')
            lat = -lat;
        if (fix.EW != 'E')
            lon = -lon;
        convertNmeaToDegrees(&lat, &lon, lat, lon);
        out.mapScript = mapSetLatLagScript(lon, lat);
        char speed[32];
        if (record.data.unit == '9')
            std::snprintf(speed, sizeof speed, "%d Km/h", truncated(fix.SpeedOverGround * 1.852));
        else
            std::snprintf(speed, sizeof speed, "%d Mi/h", truncated(fix.SpeedOverGround * 1.150779));
        out.speed = speed;
    }

    const size_t m = data.m_NMEAs.size();
    if (m == 0) {
        out.speed = "- Km/h";
        out.hdop = "-.-";
        out.satellites = "-";
    } else if (const ZLXGpsData& fix = data.m_NMEAs[sampleIndex(position, m)]; hasPosition(fix)) {
        char hdop[32], sats[32];
        std::snprintf(hdop, sizeof hdop, "%.1f", fix.HDOP);
        std::snprintf(sats, sizeof sats, "%d", truncated(double(fix.SatelliteUsedCount)));
        out.hdop = hdop;
        out.satellites = sats;
    }
    return out;
}

} // namespace daxo
