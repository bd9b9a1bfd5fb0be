// SPDX-License-Identifier: GPL-3.0-or-later
// One GPS fix as the receiver's sentences describe it, and the running parser that keeps it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace daxo {

struct _SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
    bool operator==(const _SYSTEMTIME&) const = default;
};

struct _PAIR {
    uint8_t first = 0;
    uint8_t second = 0;
    bool operator==(const _PAIR&) const = default;
};

// Latitude and longitude stay as received (ddmm.mmmm, non-negative, the sign in NS and EW);
// the speed is in knots.
class ZLXGpsData {
public:
    ZLXGpsData() = default; // the cleared state
    void clear();
    void updateFromObject(const ZLXGpsData& other) { *this = other; }
    ZLXGpsData duplicate() const { return *this; }

    // Indexes run from 0 to 11; others are ignored (read as empty).
    _PAIR SVonChannelAtIndex(int32_t index) const;
    void setSVonChannel(_PAIR pair, int32_t index);
    void setSVonChannelWithFirstSecond(uint8_t first, uint8_t second, int32_t index);
    void setSVonChannelWithFirst(uint8_t first, int32_t index);
    void setSVonChannelWithSecond(uint8_t second, int32_t index);
    uint8_t SatelliteUsedAtIndex(int32_t index) const;
    void setSatelliteUsed(uint8_t number, int32_t index);

    std::array<_PAIR, 12> SVonChannel{};
    std::array<uint8_t, 12> SatelliteUsed{};
    signed char NS = 'N';
    signed char EW = 'E';
    uint8_t Enable_GNGNS = 0;
    uint8_t Enable_GNGSA = 0;
    uint8_t Cnt_GNGSA = 0;
    uint8_t gpsValid = 0;
    uint32_t SatelliteCount = 0;
    uint32_t SatelliteUsedCount = 0;
    uint32_t SatelliteUsedCount_GPS = 0;
    uint32_t SatelliteUsedCount_GLONASS = 0;
    double PDOP = 0;
    double HDOP = 0;
    double VDOP = 0;
    double Latitude = 0;
    double Longitude = 0;
    double SpeedOverGround = 0;
    double CourseOverGround = 0;
    _SYSTEMTIME Now{};
};

// NMEA degrees-and-minutes (dddmm.mmmm, signed by the caller) to decimal degrees; either
// output may be absent.
void convertNmeaToDegrees(double* latitudeOut, double* longitudeOut, double latitude,
                          double longitude);

class ZLXNMEASentenceParser {
public:
    using Fields = std::vector<std::string_view>;

    // One sentence from '$' up to (not including) its line end. True when it was recognised
    // and handled; m_Current then holds what it said.
    bool parse(std::string_view sentence);
    void clear() { m_Current.clear(); }

    bool parseGPRMC(const Fields& fields);
    bool parseGPGGA(const Fields& fields);
    bool parseGNGSA(const Fields& fields);
    bool parseGNGNS(const Fields& fields);
    bool parseGPGSV(const Fields& fields);

    ZLXGpsData m_Current;

private:
    Fields m_fields;
};

namespace nmea {
bool isValidUtf8(std::string_view text);
} // namespace nmea

} // namespace daxo
