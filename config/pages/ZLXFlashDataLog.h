// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's drive-information log (DrvInfo/daxo_000.drv): a 12-byte header whose first four
// bytes count the records, then 44-byte records, little-endian whatever the host. The table's
// 17 columns, their texts, the CSV made of them, and a record's position on the map.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace daxo {

struct _FLASH_SAVE_VALUE_STRUCT {
    uint16_t seq = 0;
    uint8_t yoil = 0;  // day of week, 0 Sunday
    uint8_t value = 0; // 1 "A", 2 "F", else "V"
    uint8_t year = 0;  // since 1900
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint16_t lat_deg = 0, lat_min = 0; // ddmm and ten-thousandths of a minute
    uint16_t lon_deg = 0, lon_min = 0; // dddmm and ten-thousandths of a minute
    uint16_t cur_speed = 0;
    uint32_t driving_distance = 0; // tenths
    uint32_t reserved1 = 0;
    uint16_t max_speed = 0;
    int8_t reserved2 = 0, reserved3 = 0;
    int16_t x = 0, y = 0, z = 0; // 1/256 g
    int16_t battery = 0, ttc = 0, dtc = 0; // tenths
};

inline constexpr size_t kFlashHeaderSize = 12;
inline constexpr size_t kFlashRecordSize = 44;
inline constexpr int kFlashColumnCount = 17;

struct ZLXFlashDataLog {
    std::vector<_FLASH_SAVE_VALUE_STRUCT> records;
    uint64_t declaredCount = 0; // what the header promised
    // Records the header promised that the file does not hold.
    uint64_t missing() const { return declaredCount - records.size(); }
};

// The records `bytes` holds; never more than it holds, whatever the header says.
ZLXFlashDataLog parseFlashData(std::span<const uint8_t> bytes);
// The file's records; none when it cannot be opened (or is not a regular file).
std::optional<ZLXFlashDataLog> readFlashDataFile(const std::string& path);

// Column titles: a string-table key, or literal text ("X", "Y", "Z", "TTC", "DTC").
struct ZLXFlashColumn {
    const char* title;
    bool localised;
    int width;
};
extern const std::array<ZLXFlashColumn, kFlashColumnCount> kFlashColumns;

// The text of a cell; "X" for a column outside 0 to 16.
std::string flashDataCell(const _FLASH_SAVE_VALUE_STRUCT& record, long column, size_t row);
// One CSV line (with its "\n") of texts joined by ",", unquoted.
std::string flashDataCsvLine(const std::vector<std::string>& cells);
std::vector<std::string> flashDataRow(const _FLASH_SAVE_VALUE_STRUCT& record, size_t row);

// The record's position in decimal degrees (north and east: the log has no hemisphere); none
// when either is zero.
std::optional<std::pair<double, double>> flashDataPosition(const _FLASH_SAVE_VALUE_STRUCT& record);

} // namespace daxo
