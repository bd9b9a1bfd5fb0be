// SPDX-License-Identifier: GPL-3.0-or-later
// Writes recordings laid out as the camera writes them, from an ordinary MP4 and a list of
// telemetry records: ftyp (major brand "avc1"), one mdat with the media and the records, then
// moov, whose fifth child is the telemetry track (a 'text' handler with a tx3g sample entry,
// one 155-byte sample per chunk). Used by the tests, the benchmarks and the demo card.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace daxo::tools {

struct TelemetryRecord {
    uint32_t time = 0;
    int32_t x = 0, y = 0, z = 0, t = 0; // raw G-sensor values, 256 to one g
    char unit = '9';
    std::string text; // at most 128 bytes of NMEA text, with its CR LF separators
};

// One line of a telemetry description: "TIME X Y Z T UNIT TEXT", the text with C escapes
// (\r \n \0 \\ \xHH). Blank lines and lines starting with '#' give nothing.
std::optional<TelemetryRecord> parseTelemetryLine(const std::string& line, std::string* error);
std::optional<std::vector<TelemetryRecord>> readTelemetryDescription(const std::string& path,
                                                                     std::string* error);

// The 155 bytes of one chunk: the big-endian length 153, then the payload.
std::array<uint8_t, 155> encodeRecord(const TelemetryRecord& record);

struct WriterOptions {
    std::optional<std::vector<TelemetryRecord>> telemetry; // none: no telemetry track
    std::string majorBrand = "avc1";
    // Grow mdat to this many bytes (sparse where the file system allows) and spread the
    // records through it evenly.
    uint64_t largeMdatBytes = 0;
    // Hostile variants for the tests.
    bool moovNotThird = false;             // a 'free' box between mdat and moov
    std::optional<uint32_t> stcoEntryCount; // claimed count of the telemetry chunk table
    uint32_t repeatLastChunk = 0;           // the table names the last record this many more times
    bool lastOffsetBeyondEnd = false;       // the last telemetry chunk lies past the file's end
    std::optional<uint64_t> truncateTo;     // cut the finished file
};

struct WriteResult {
    bool ok = false;
    std::string error;
    // Where each record's chunk starts, in order.
    std::vector<uint64_t> recordOffsets;
    uint64_t fileSize = 0;
};

WriteResult writeRecording(const std::string& inputMp4, const std::string& outputPath,
                           const WriterOptions& options);

} // namespace daxo::tools
