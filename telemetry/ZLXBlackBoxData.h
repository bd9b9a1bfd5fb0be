// SPDX-License-Identifier: GPL-3.0-or-later
// The telemetry a recording carries: one 155-byte record at the start of every chunk of the
// telemetry track (the fifth track box inside moov), each a time value, a G-sensor sample and
// up to 128 characters of NMEA text.
#pragma once

#include "telemetry/ZLXGpsData.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace daxo {

// The record inside a chunk: a 2-byte prefix, then the payload.
inline constexpr size_t kTelemetryPrefixSize = 2;
inline constexpr size_t kTelemetryPayloadSize = 153;
inline constexpr size_t kTelemetryRecordSize = kTelemetryPrefixSize + kTelemetryPayloadSize;
inline constexpr size_t kTelemetryTextSize = 128;
// Payload offsets; multi-byte fields are little-endian.
inline constexpr size_t kTelemetryTimeOffset = 0;
inline constexpr size_t kTelemetryGSensorOffset = 8;
inline constexpr size_t kTelemetryUnitOffset = 24;
inline constexpr size_t kTelemetryTextOffset = 25;
// The most records one walk reads.
inline constexpr uint64_t kMaxTelemetryRecords = 1u << 20;

struct ZLXAviGSensorData {
    struct {
        int32_t X = 0, Y = 0, Z = 0, T = 0;
    } data;
    static ZLXAviGSensorData aviGSensorDataWithData(const uint8_t* block16);
};

struct ZLXAviGpsData {
    struct {
        signed char unit = 0;
        std::array<char, kTelemetryTextSize> gpsString{};
    } data;
    static ZLXAviGpsData aviGpsDataWithData(const uint8_t* block129);
};

// One G-sensor sample in units of g: the raw value / 256.
struct ZLXGSensor {
    float x = 0, y = 0, z = 0;
    ZLXGSensor() = default;
    ZLXGSensor(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    void updateFromObject(const ZLXGSensor& other) { *this = other; }
};

struct ZLXTimeEvent {
    uint32_t e = 0;
    uint32_t f = 0;
    _SYSTEMTIME t{};
    void updateFromObject(const ZLXTimeEvent& other) { *this = other; }
};

class ZLXBlackBoxData {
public:
    void clear();

    // Walks the recording at `path` to its telemetry track and reads every record. True when
    // the chunk table was reached. The lists hold what was read either way. With `enough`, the
    // walk ends after the first record it says yes to.
    bool ExtractStreamInformation(const char* path, const std::function<bool(const ZLXBlackBoxData&)>& enough = {});

    bool ParseGSensor(const uint8_t* block, size_t size);
    // Splits the text at CR, LF and NUL (writing NUL over each) and parses every sentence that
    // starts "$G" and is ended inside the buffer.
    bool ParseNMEA(char* text, size_t size);
    bool ParseFrameData(const uint8_t* block, size_t size);
    bool ParseTime(const uint8_t* block, size_t size);
    bool ParseTimeEvent(const uint8_t* block, size_t size);
    int64_t frameCount() const;

    // What the last walk read, in bytes (the header reads on its path, the chunk table and the
    // records).
    uint64_t bytesRead() const { return m_bytesRead; }
    // What the last walk found in the movie box: the records its chunk table names (bounded as
    // the walk bounds them) and the movie header's length in seconds (0 when it states none).
    uint64_t recordsNamed() const { return m_recordsNamed; }
    double headerSeconds() const { return m_headerSeconds; }

    uint8_t m_udatSpeedDisplay = 0;
    uint8_t m_udatIncludeEvent = 0;
    uint8_t m_udatRecPark = 0;
    uint32_t m_LastTimeEventType = 0;
    ZLXNMEASentenceParser m_NMEAParser;
    std::vector<ZLXGpsData> m_NMEAs;
    std::vector<ZLXGSensor> m_GSensors;
    std::vector<int64_t> m_Times;
    std::vector<ZLXTimeEvent> m_TimeEvents;
    std::vector<ZLXAviGSensorData> m_vGSensorData;
    std::vector<ZLXAviGpsData> m_vGpsData;
    // How many sentences each record's text held; each added that many fixes to m_NMEAs, at
    // most kMaxFixesPerText.
    std::vector<uint8_t> m_RecordSentenceCounts;
    // The snapshots one text keeps at most.
    static constexpr size_t kMaxFixesPerText = 4;

private:
    void processRecord(const uint8_t* payload);
    uint64_t m_bytesRead = 0;
    uint64_t m_recordsNamed = 0;
    double m_headerSeconds = 0;
    size_t m_sentencesInLastText = 0;
};

} // namespace daxo
