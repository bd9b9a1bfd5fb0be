// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/ZLXFlashDataLog.h"

#include "library/ZLXFileIO.h"
#include "telemetry/ZLXGpsData.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {
namespace {

uint16_t u16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

_FLASH_SAVE_VALUE_STRUCT decodeRecord(const uint8_t* p) {
    _FLASH_SAVE_VALUE_STRUCT r;
    r.seq = u16(p);
    r.yoil = p[2];
    r.value = p[3];
    r.year = p[4];
    r.month = p[5];
    r.day = p[6];
    r.hour = p[7];
    r.minute = p[8];
    r.second = p[9];
    r.lat_deg = u16(p + 10);
    r.lat_min = u16(p + 12);
    r.lon_deg = u16(p + 14);
    r.lon_min = u16(p + 16);
    r.cur_speed = u16(p + 18);
    r.driving_distance = u32(p + 20);
    r.reserved1 = u32(p + 24);
    r.max_speed = u16(p + 28);
    r.reserved2 = int8_t(p[30]);
    r.reserved3 = int8_t(p[31]);
    r.x = int16_t(u16(p + 32));
    r.y = int16_t(u16(p + 34));
    r.z = int16_t(u16(p + 36));
    r.battery = int16_t(u16(p + 38));
    r.ttc = int16_t(u16(p + 40));
    r.dtc = int16_t(u16(p + 42));
    return r;
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, pattern, args...);
    return std::string(text, size_t(std::clamp(n, 0, int(sizeof text) - 1)));
}

// Tenths as "12.4", the whole part at least two wide (" 0.5"); below zero "-0.5".
std::string tenths(int16_t value) {
    if (value >= 0)
        return format("%2d.%1d", value / 10, value % 10);
    const int magnitude = -int(value);
    return format("-%d.%1d", magnitude / 10, magnitude % 10);
}

std::string latitudeText(const _FLASH_SAVE_VALUE_STRUCT& r) {
    return format("%04d.%04d", r.lat_deg, r.lat_min);
}
std::string longitudeText(const _FLASH_SAVE_VALUE_STRUCT& r) {
    return format("%05d.%04d", r.lon_deg, r.lon_min);
}

} // namespace

const std::array<ZLXFlashColumn, kFlashColumnCount> kFlashColumns{{
    {"setting.flashdata.index", true, 38},
    {"setting.flashdata.seq", true, 38},
    {"setting.flashdata.date", true, 86},
    {"setting.flashdata.time", true, 72},
    {"setting.flashdata.yoil", true, 70},
    {"setting.flashdata.lat", true, 64},
    {"setting.flashdata.lon", true, 72},
    {"setting.flashdata.driving_distance", true, 60},
    {"setting.flashdata.cur_speed", true, 60},
    {"setting.flashdata.max_speed", true, 60},
    {"setting.flashdata.value", true, 48},
    {"X", false, 48},
    {"Y", false, 48},
    {"Z", false, 48},
    {"setting.flashdata.battery", true, 60},
    {"TTC", false, 60},
    {"DTC", false, 60},
}};

ZLXFlashDataLog parseFlashData(std::span<const uint8_t> bytes) {
    ZLXFlashDataLog log;
    if (bytes.size() < 4)
        return log;
    log.declaredCount = u32(bytes.data());
    const size_t held = bytes.size() < kFlashHeaderSize ? 0 : (bytes.size() - kFlashHeaderSize) / kFlashRecordSize;
    const size_t count = size_t(std::min<uint64_t>(log.declaredCount, held));
    log.records.reserve(count);
    for (size_t i = 0; i < count; ++i)
        log.records.push_back(decodeRecord(bytes.data() + kFlashHeaderSize + i * kFlashRecordSize));
    return log;
}

std::optional<ZLXFlashDataLog> readFlashDataFile(const std::string& path) {
    const int fd = openRegularFile(path.c_str());
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::vector<uint8_t> bytes;
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        // the header's count, then no more records than the file holds
        uint8_t header[4];
        const uint64_t promised = readFullyAt(fd, 0, header, 4) == 4 ? u32(header) : 0;
        const uint64_t wanted = std::min<uint64_t>(uint64_t(info.st_size), kFlashHeaderSize + promised * kFlashRecordSize);
        bytes.resize(size_t(wanted));
        bytes.resize(readFullyAt(fd, 0, bytes.data(), bytes.size()));
    }
    ::close(fd);
    return parseFlashData(bytes);
}

std::string flashDataCell(const _FLASH_SAVE_VALUE_STRUCT& r, long column, size_t row) {
    static const char* const kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    switch (column) {
    case 0: return format("%ld", long(row + 1));
    case 1: return format("%d", r.seq);
    case 2: return format("%4d/%02d/%02d", r.year + 1900, r.month, r.day);
    case 3: return format("%02d:%02d:%02d", r.hour, r.minute, r.second);
    case 4: return r.yoil < 7 ? kDays[r.yoil] : "-";
    case 5: return latitudeText(r);
    case 6: return longitudeText(r);
    case 7: return format("%.1f", r.driving_distance / 10.0);
    case 8: return format("%d", r.cur_speed);
    case 9: return format("%d", r.max_speed);
    case 10: return r.value == 1 ? "A" : r.value == 2 ? "F" : "V";
    case 11: return format("%+.2f", r.x / 256.0);
    case 12: return format("%+.2f", r.y / 256.0);
    case 13: return format("%+.2f", r.z / 256.0);
    case 14: return tenths(r.battery);
    case 15: return tenths(r.ttc);
    case 16: return tenths(r.dtc);
    default: return "X";
    }
}

std::vector<std::string> flashDataRow(const _FLASH_SAVE_VALUE_STRUCT& record, size_t row) {
    std::vector<std::string> cells;
    cells.reserve(kFlashColumnCount);
    for (long column = 0; column < kFlashColumnCount; ++column)
        cells.push_back(flashDataCell(record, column, row));
    return cells;
}

std::string flashDataCsvLine(const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i)
            line += ',';
        line += cells[i];
    }
    line += '\n';
    return line;
}

std::optional<std::pair<double, double>> flashDataPosition(const _FLASH_SAVE_VALUE_STRUCT& record) {
    double latitude = 0, longitude = 0;
    convertNmeaToDegrees(&latitude, &longitude, std::strtod(latitudeText(record).c_str(), nullptr),
                         std::strtod(longitudeText(record).c_str(), nullptr));
    if (latitude == 0 || longitude == 0)
        return std::nullopt;
    return std::make_pair(latitude, longitude);
}

} // namespace daxo
