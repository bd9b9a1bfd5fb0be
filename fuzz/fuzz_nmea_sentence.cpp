// SPDX-License-Identifier: GPL-3.0-or-later
// One NMEA sentence through the parser, twice in a row so that state carried over is used.
#include "telemetry/ZLXGpsData.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    daxo::ZLXNMEASentenceParser parser;
    const std::string_view sentence(reinterpret_cast<const char*>(data), size);
    parser.parse(sentence);
    parser.parse(sentence);
    double lat = 0, lon = 0;
    daxo::convertNmeaToDegrees(&lat, &lon, parser.m_Current.Latitude, parser.m_Current.Longitude);
    return 0;
}
