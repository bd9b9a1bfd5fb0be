// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXBlackBoxData.h"

#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {
namespace {

int32_t readLE32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

uint32_t readBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Absolute reads of one recording; every read is counted.
class RecordingFile {
public:
    // A FIFO or a device named like a recording is refused without waiting on it.
    explicit RecordingFile(const char* path) : m_reader(path) {}

    bool isOpen() const { return m_reader.isOpen(); }
    uint64_t size() const { return m_reader.size(); }
    uint64_t bytesRead() const { return m_reader.bytesRead(); }
    void hold(uint64_t pos, uint64_t n) { m_reader.hold(pos, n); }

    // Reads exactly n bytes at pos; false on a short read.
    bool readAt(uint64_t pos, void* out, size_t n) { return m_reader.read(pos, out, n) == n; }
    bool size32At(uint32_t pos, uint32_t& value) {
        uint8_t b[4];
        if (!readAt(pos, b, 4))
            return false;
        value = readBE32(b);
        return true;
    }
    bool typeAt(uint32_t pos, const char* type) {
        char b[4];
        return readAt(pos, b, 4) && std::memcmp(b, type, 4) == 0;
    }

private:
    ZLXRecordingReader m_reader;
};

} // namespace

ZLXAviGSensorData ZLXAviGSensorData::aviGSensorDataWithData(const uint8_t* block) {
    ZLXAviGSensorData d;
    d.data.X = readLE32(block);
    d.data.Y = readLE32(block + 4);
    d.data.Z = readLE32(block + 8);
    d.data.T = readLE32(block + 12);
    return d;
}

ZLXAviGpsData ZLXAviGpsData::aviGpsDataWithData(const uint8_t* block) {
    ZLXAviGpsData d;
    d.data.unit = static_cast<signed char>(block[0]);
    std::memcpy(d.data.gpsString.data(), block + 1, kTelemetryTextSize);
    return d;
}

void ZLXBlackBoxData::clear() {
    m_NMEAParser.clear();
    m_NMEAs.clear();
    m_GSensors.clear();
    m_Times.clear();
    m_TimeEvents.clear();
    m_vGSensorData.clear();
    m_vGpsData.clear();
    m_RecordSentenceCounts.clear();
    m_udatSpeedDisplay = m_udatIncludeEvent = m_udatRecPark = 0;
    m_LastTimeEventType = 0;
}

bool ZLXBlackBoxData::ExtractStreamInformation(const char* path, const std::function<bool(const ZLXBlackBoxData&)>& enough) {
    ZLXLog("#############################   START");
    clear();
    m_bytesRead = 0;
    m_recordsNamed = 0;
    m_headerSeconds = 0;
    if (!path)
        return false;
    RecordingFile file(path);
    if (!file.isOpen())
        return false;

    bool ok = [&] {
        // Positions are 32-bit and wrap as such; every step is a fixed hop along the path
        // ftyp, (one box), moov { mvhd, 3 boxes, trak { tkhd, edts, mdia { mdhd, hdlr,
        // minf { header, dinf, stbl { stsd, stts, stsc, stsz, stco } } } } }.
        uint32_t p = 0, size = 0;
        auto hop = [&]() {
            if (!file.size32At(p, size))
                return false;
            p += size;
            return true;
        };
        auto hopInto = [&]() { // past a box and the header of the box that follows
            if (!hop())
                return false;
            if (!file.size32At(p, size))
                return false;
            p += size + 8;
            return true;
        };
        file.hold(0, 64); // the file type and the media box's header, in one read
        if (!file.size32At(0, size) || !file.typeAt(4, "ftyp") || !file.typeAt(8, "avc1"))
            return false;
        p = size;
        uint8_t header[8];
        if (!file.readAt(p, header, 8))
            return false;
        p += readBE32(header);
        // the camera writes the movie box last: when it is the file's short tail, one read
        // takes its header and its body together
        if (p < file.size() && file.size() - p <= ZLXRecordingReader::kMaxHeld)
            file.hold(p, file.size() - p);
        uint32_t moovSize = 0;
        if (!file.size32At(p, moovSize) || !file.typeAt(p + 4, "moov"))
            return false;
        file.hold(p, moovSize); // the hops below stay inside the movie box
        if (!file.size32At(p + 8, size))
            return false;
        // the movie header's length, read from what is held: version 0 keeps 32-bit times
        uint8_t movieHeader[24];
        if (size >= 8 + sizeof movieHeader && file.typeAt(p + 12, "mvhd") &&
            file.readAt(p + 16, movieHeader, sizeof movieHeader) && movieHeader[0] == 0) {
            const uint32_t scale = readBE32(movieHeader + 12), length = readBE32(movieHeader + 16);
            if (scale > 0 && length != UINT32_MAX)
                m_headerSeconds = double(length) / scale;
        }
        p += 8 + size;
        for (int i = 0; i < 3; ++i) {
            if (!hop())
                return false;
        }
        if (!file.size32At(p, size))
            return false;
        p += 8;
        if (!hop() || !file.readAt(p, header, 8))
            return false;
        p += readBE32(header) + 8;
        if (!hopInto() || !hopInto())
            return false;
        for (int i = 0; i < 4; ++i) {
            if (!hop())
                return false;
        }
        uint32_t stcoSize = 0, versionFlags = 0, count = 0;
        if (!file.size32At(p, stcoSize) || !file.typeAt(p + 4, "stco") ||
            !file.size32At(p + 8, versionFlags) || !file.size32At(p + 12, count))
            return false;

        // The table cannot be longer than its box, nor than the file holds: a count beyond
        // either would only read other data as chunk offsets.
        const uint64_t tableStart = uint64_t(p) + 16;
        const uint64_t inFile = tableStart < file.size() ? (file.size() - tableStart) / 4 : 0;
        const uint64_t inBox = stcoSize >= 16 ? (uint64_t(stcoSize) - 16) / 4 : 0;
        // Every table entry may name the same chunk: the records kept are bounded by what the
        // file can hold side by side, and by hours of recording at any sensor rate.
        const uint64_t entries = std::min<uint64_t>({count, inFile, inBox});
        const uint64_t records = std::min<uint64_t>(file.size() / kTelemetryRecordSize, kMaxTelemetryRecords);

        m_recordsNamed = std::min(entries, records);
        const size_t expected = size_t(std::min<uint64_t>({entries, records, 1u << 16}));
        m_Times.reserve(expected);
        m_GSensors.reserve(expected);
        m_vGSensorData.reserve(expected);
        m_vGpsData.reserve(expected);
        m_NMEAs.reserve(expected);

        constexpr size_t kBatch = 4096; // offsets read at a time
        uint8_t table[kBatch * 4];
        uint8_t record[kTelemetryRecordSize];
        for (uint64_t first = 0; first < entries && m_Times.size() < records; first += kBatch) {
            const size_t n = size_t(std::min<uint64_t>(kBatch, entries - first));
            if (!file.readAt(tableStart + first * 4, table, n * 4))
                break;
            for (size_t k = 0; k < n; ++k) {
                const uint64_t offset = readBE32(table + 4 * k);
                // A chunk whose record lies past the end adds nothing; the next one is read.
                if (offset + kTelemetryRecordSize > file.size())
                    continue;
                if (m_Times.size() < records && file.readAt(offset + kTelemetryPrefixSize, record, kTelemetryPayloadSize)) {
                    processRecord(record);
                    if (enough && enough(*this))
                        return true;
                }
            }
        }
        return true;
    }();
    m_bytesRead = file.bytesRead();
    if (ok)
        ZLXLog("#############################  FINISH");
    return ok;
}

void ZLXBlackBoxData::processRecord(const uint8_t* payload) {
    m_Times.push_back(int64_t(uint32_t(readLE32(payload + kTelemetryTimeOffset))));
    uint8_t gsensor[16];
    std::memcpy(gsensor, payload + kTelemetryGSensorOffset, sizeof gsensor);
    m_vGSensorData.push_back(ZLXAviGSensorData::aviGSensorDataWithData(gsensor));
    ParseGSensor(gsensor, sizeof gsensor);
    uint8_t gps[1 + kTelemetryTextSize];
    std::memcpy(gps, payload + kTelemetryUnitOffset, sizeof gps);
    ParseNMEA(reinterpret_cast<char*>(gps + 1), kTelemetryTextSize);
    m_RecordSentenceCounts.push_back(uint8_t(std::min<size_t>(m_sentencesInLastText, 255)));
    m_vGpsData.push_back(ZLXAviGpsData::aviGpsDataWithData(gps));
}

bool ZLXBlackBoxData::ParseGSensor(const uint8_t* block, size_t size) {
    if (!block || size < 12)
        return false;
    constexpr float kScale = 0.00390625f;
    m_GSensors.emplace_back(float(readLE32(block)) * kScale, float(readLE32(block + 4)) * kScale,
                            float(readLE32(block + 8)) * kScale);
    return true;
}

bool ZLXBlackBoxData::ParseNMEA(char* text, size_t size) {
    m_sentencesInLastText = 0;
    if (!text || size == 0)
        return false;
    // One text keeps at most a few snapshots: later sentences replace the last of them, so
    // the text's final fix is kept whatever it holds.
    size_t kept = 0;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '$') {
            start = i;
        } else if (c == '\0' || c == '\n' || c == '\r') {
            text[i] = '\0';
            if (i - start >= 2 && text[start] == '$' && text[start + 1] == 'G') {
                m_NMEAParser.parse(std::string_view(text + start, i - start));
                ++m_sentencesInLastText;
                if (kept < kMaxFixesPerText) {
                    m_NMEAs.push_back(m_NMEAParser.m_Current.duplicate());
                    ++kept;
                } else {
                    m_NMEAs.back() = m_NMEAParser.m_Current.duplicate();
                }
            }
            start = i + 1;
        }
    }
    return true;
}

bool ZLXBlackBoxData::ParseFrameData(const uint8_t* block, size_t size) {
    // The three flags sit in bytes 4, 6 and 7: a block of any other size is refused.
    if (!block || size != 8)
        return false;
    m_udatSpeedDisplay = block[4];
    m_udatRecPark = block[6];
    m_udatIncludeEvent = block[7];
    return true;
}

bool ZLXBlackBoxData::ParseTime(const uint8_t* block, size_t size) {
    // The time value is in bytes 0-3 and the event type in bytes 12-15.
    if (!block || size < 16)
        return false;
    const uint32_t time = uint32_t(readLE32(block));
    const uint32_t type = readBE32(block + 12);
    if (type != 0 && type != m_LastTimeEventType) {
        const time_t seconds = time_t(time);
        struct tm utc {};
        gmtime_r(&seconds, &utc);
        ZLXTimeEvent event;
        event.e = type == 1 ? 0 : 1;
        event.t.wYear = uint16_t(utc.tm_year + 1900);
        event.t.wMonth = uint16_t(utc.tm_mon + 1);
        event.t.wDayOfWeek = 0;
        event.t.wDay = uint16_t(utc.tm_mday);
        event.t.wHour = uint16_t(utc.tm_hour);
        event.t.wMinute = uint16_t(utc.tm_min);
        event.t.wSecond = uint16_t(utc.tm_sec);
        event.t.wMilliseconds = 0;
        event.f = uint32_t(m_Times.size());
        m_TimeEvents.push_back(event);
    }
    m_LastTimeEventType = type;
    m_Times.push_back(int64_t(int32_t(time)));
    return true;
}

bool ZLXBlackBoxData::ParseTimeEvent(const uint8_t*, size_t) {
    return true;
}

int64_t ZLXBlackBoxData::frameCount() const {
    return m_GSensors.size() > 1 ? int64_t(m_GSensors.size()) - 1 : 1;
}

} // namespace daxo
