// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXGpsData.h"

#include "library/ZLXNumberText.h"

#include <atomic>
#include <cmath>
#include <cstdio>

namespace daxo {

void ZLXGpsData::clear() {
    *this = ZLXGpsData();
}

_PAIR ZLXGpsData::SVonChannelAtIndex(int32_t index) const {
    return index >= 0 && index < 12 ? SVonChannel[size_t(index)] : _PAIR{};
}
void ZLXGpsData::setSVonChannel(_PAIR pair, int32_t index) {
    if (index >= 0 && index < 12)
        SVonChannel[size_t(index)] = pair;
}
void ZLXGpsData::setSVonChannelWithFirstSecond(uint8_t first, uint8_t second, int32_t index) {
    setSVonChannel({first, second}, index);
}
void ZLXGpsData::setSVonChannelWithFirst(uint8_t first, int32_t index) {
    setSVonChannel({first, SVonChannelAtIndex(index).second}, index);
}
void ZLXGpsData::setSVonChannelWithSecond(uint8_t second, int32_t index) {
    setSVonChannel({SVonChannelAtIndex(index).first, second}, index);
}
uint8_t ZLXGpsData::SatelliteUsedAtIndex(int32_t index) const {
    return index >= 0 && index < 12 ? SatelliteUsed[size_t(index)] : 0;
}
void ZLXGpsData::setSatelliteUsed(uint8_t number, int32_t index) {
    if (index >= 0 && index < 12)
        SatelliteUsed[size_t(index)] = number;
}

void convertNmeaToDegrees(double* latitudeOut, double* longitudeOut, double latitude,
                          double longitude) {
    auto convert = [](double v) {
        const double d = std::trunc(v / 100);
        return (v / 100 - d) * 100 / 60 + d;
    };
    if (latitudeOut)
        *latitudeOut = convert(latitude);
    if (longitudeOut)
        *longitudeOut = convert(longitude);
}

namespace nmea {

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > text.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

} // namespace nmea

namespace {

double floatOfField(std::string_view field) {
    return leadingFloat(field);
}
int32_t integerOfField(std::string_view field) {
    return leadingInteger(field);
}

std::string_view field(const ZLXNMEASentenceParser::Fields& fields, size_t index) {
    return index < fields.size() ? fields[index] : std::string_view();
}

void split(std::string_view text, char separator, std::vector<std::string_view>& pieces) {
    pieces.clear();
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// The receiver's satellites-in-view messages come in numbered parts; these two counters
// follow the sequence across calls.
std::atomic<int32_t> g_nextChannel{0};
std::atomic<int32_t> g_lastMessage{0};

} // namespace

bool ZLXNMEASentenceParser::parse(std::string_view sentence) {
    if (!nmea::isValidUtf8(sentence))
        return false;
    // Exactly one '*': the checksum after it is not checked.
    const size_t star = sentence.find('*');
    if (star == std::string_view::npos || sentence.find('*', star + 1) != std::string_view::npos)
        return false;
    Fields& fields = m_fields; // reused: no allocation per sentence once it has grown
    split(sentence.substr(0, star), ',', fields);
    const std::string_view address = fields[0];
    if (address == "$GPRMC" || address == "$GNRMC")
        return parseGPRMC(fields);
    if (address == "$GPGGA" || address == "$GNGGA")
        return parseGPGGA(fields);
    if (address == "$GNGSA")
        return parseGNGSA(fields);
    if (address == "$GNGNS")
        return parseGNGNS(fields);
    return false;
}

bool ZLXNMEASentenceParser::parseGPRMC(const Fields& fields) {
    ZLXGpsData& gps = m_Current;
    gps.SpeedOverGround = floatOfField(field(fields, 7));
    gps.CourseOverGround = floatOfField(field(fields, 8));
    gps.gpsValid = field(fields, 2) == "A" ? 1 : 0;
    const std::string_view dateField = field(fields, 9), timeField = field(fields, 1);
    if (dateField.size() == 6 && timeField.size() == 10) {
        const std::string date(dateField), time(timeField);
        int hour = 0, minute = 0, second = 0, millisecond = 0, day = 0, month = 0, year = 0;
        std::sscanf(time.c_str(), "%02d%02d%02d.%03d", &hour, &minute, &second, &millisecond);
        std::sscanf(date.c_str(), "%02d%02d%02d", &day, &month, &year);
        gps.Now.wYear = uint16_t(2000 + year);
        gps.Now.wMonth = uint16_t(month);
        gps.Now.wDayOfWeek = 0;
        gps.Now.wDay = uint16_t(day);
        gps.Now.wHour = uint16_t(hour);
        gps.Now.wMinute = uint16_t(minute);
        gps.Now.wSecond = uint16_t(second);
        gps.Now.wMilliseconds = uint16_t(millisecond);
    }
    gps.Cnt_GNGSA = 0;
    return true;
}

bool ZLXNMEASentenceParser::parseGPGGA(const Fields& fields) {
    ZLXGpsData& gps = m_Current;
    if (!field(fields, 2).empty())
        gps.Latitude = floatOfField(field(fields, 2));
    if (!field(fields, 3).empty())
        gps.NS = static_cast<signed char>(field(fields, 3)[0]);
    if (!field(fields, 4).empty())
        gps.Longitude = floatOfField(field(fields, 4));
    if (!field(fields, 5).empty())
        gps.EW = static_cast<signed char>(field(fields, 5)[0]);
    if (field(fields, 0) == "$GPGGA" && !gps.Enable_GNGNS && !gps.Enable_GNGSA)
        gps.SatelliteUsedCount = uint32_t(integerOfField(field(fields, 7)));
    if (!gps.Enable_GNGNS && !field(fields, 8).empty())
        gps.HDOP = floatOfField(field(fields, 8));
    gps.Cnt_GNGSA = 0;
    return true;
}

bool ZLXNMEASentenceParser::parseGNGNS(const Fields& fields) {
    ZLXGpsData& gps = m_Current;
    gps.Enable_GNGNS = 1;
    gps.SatelliteUsedCount = uint32_t(integerOfField(field(fields, 7)));
    if (!field(fields, 8).empty())
        gps.HDOP = floatOfField(field(fields, 8));
    return true;
}

bool ZLXNMEASentenceParser::parseGNGSA(const Fields& fields) {
    ZLXGpsData& gps = m_Current;
    gps.Enable_GNGSA = 1;
    if (gps.Enable_GNGNS)
        return true;
    uint32_t used = 0;
    for (size_t k = 0; k < 12; ++k) {
        const std::string_view f = field(fields, 3 + k);
        gps.SatelliteUsed[k] = f.empty() ? 0 : uint8_t(integerOfField(f));
        used += gps.SatelliteUsed[k] != 0;
    }
    const uint8_t first = gps.SatelliteUsed[0];
    gps.Cnt_GNGSA = first == 0 ? 255 : first <= 64 ? 0 : 1;
    if (gps.Cnt_GNGSA == 0) {
        gps.SatelliteUsedCount_GPS = used;
        gps.Cnt_GNGSA = 1;
        gps.SatelliteUsedCount = gps.SatelliteUsedCount_GPS;
    } else if (gps.Cnt_GNGSA == 1) {
        gps.SatelliteUsedCount_GLONASS = used;
        gps.Cnt_GNGSA = 0;
        gps.SatelliteUsedCount = gps.SatelliteUsedCount_GPS + gps.SatelliteUsedCount_GLONASS;
    } else if (!gps.gpsValid) {
        gps.SatelliteUsedCount = 0;
    }
    return true;
}

bool ZLXNMEASentenceParser::parseGPGSV(const Fields& fields) {
    ZLXGpsData& gps = m_Current;
    gps.SatelliteCount = uint32_t(integerOfField(field(fields, 3)));
    if (gps.SatelliteCount == 0)
        return true;
    const int32_t message = integerOfField(field(fields, 2));
    if (message == 1)
        g_nextChannel = 0;
    else if (int64_t(message) != int64_t(g_lastMessage.load()) + 1)
        return false;
    if (fields.size() >= 8) {
        const size_t blocks = (fields.size() - 4) / 4;
        for (size_t b = 0; b < blocks; ++b) {
            const int32_t slot = g_nextChannel.load();
            if (slot > 11)
                continue;
            auto twoDigits = [](std::string_view f) {
                int value = 0;
                if (!f.empty()) {
                    const std::string text(f);
                    std::sscanf(text.c_str(), "%02d", &value);
                }
                return uint8_t(value);
            };
            gps.setSVonChannelWithFirstSecond(twoDigits(fields[4 + 4 * b]),
                                              twoDigits(fields[7 + 4 * b]), slot);
            g_nextChannel = slot + 1;
        }
    }
    g_lastMessage = message;
    return true;
}

} // namespace daxo
