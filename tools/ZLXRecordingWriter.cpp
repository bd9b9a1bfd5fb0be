// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ZLXRecordingWriter.h"

#include "library/ZLXFileIO.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace daxo::tools {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint64_t be64(const uint8_t* p) {
    return uint64_t(be32(p)) << 32 | be32(p + 4);
}
void putBE16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void putBE32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(uint8_t(v >> s));
}
void setBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
void setLE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void putType(Bytes& b, const char* type) {
    b.insert(b.end(), type, type + 4);
}

// A box of the given type around a payload.
Bytes box(const char* type, const Bytes& payload) {
    Bytes b;
    putBE32(b, uint32_t(8 + payload.size()));
    putType(b, type);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}
Bytes fullBox(const char* type, uint32_t versionFlags, const Bytes& payload) {
    Bytes inner;
    putBE32(inner, versionFlags);
    inner.insert(inner.end(), payload.begin(), payload.end());
    return box(type, inner);
}
Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Box {
    std::string type;
    size_t offset = 0; // of the header
    size_t header = 8;
    size_t size = 0; // header included
    const uint8_t* payload(const Bytes& file) const { return file.data() + offset + header; }
    size_t payloadSize() const { return size - header; }
};

// The boxes laid one after another in [begin, end); false when one does not fit.
bool children(const Bytes& file, size_t begin, size_t end, std::vector<Box>& out) {
    size_t p = begin;
    while (p + 8 <= end) {
        Box b;
        b.offset = p;
        b.type.assign(reinterpret_cast<const char*>(file.data() + p + 4), 4);
        uint64_t size = be32(file.data() + p);
        if (size == 1) {
            if (p + 16 > end)
                return false;
            size = be64(file.data() + p + 8);
            b.header = 16;
        } else if (size == 0) {
            size = end - p;
        }
        if (size < b.header || size > end - p)
            return false;
        b.size = size_t(size);
        out.push_back(b);
        p += b.size;
    }
    return p == end;
}

// Adds delta to every chunk offset of every track below a container.
bool shiftChunkOffsets(Bytes& file, const Box& container, int64_t delta) {
    std::vector<Box> kids;
    if (!children(file, container.offset + container.header, container.offset + container.size, kids))
        return false;
    for (const Box& kid : kids) {
        if (kid.type == "trak" || kid.type == "mdia" || kid.type == "minf" || kid.type == "stbl") {
            if (!shiftChunkOffsets(file, kid, delta))
                return false;
        } else if (kid.type == "stco" || kid.type == "co64") {
            uint8_t* p = file.data() + kid.offset + kid.header;
            const uint32_t count = be32(p + 4);
            const size_t width = kid.type == "stco" ? 4 : 8;
            if (8 + uint64_t(count) * width > kid.payloadSize())
                return false;
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* entry = p + 8 + size_t(i) * width;
                if (width == 4) {
                    setBE32(entry, uint32_t(int64_t(be32(entry)) + delta));
                } else {
                    const uint64_t v = uint64_t(int64_t(be64(entry)) + delta);
                    setBE32(entry, uint32_t(v >> 32));
                    setBE32(entry + 4, uint32_t(v));
                }
            }
        }
    }
    return true;
}

Bytes readFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return {};
    }
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The telemetry track: tkhd, edts, mdia { mdhd, hdlr 'text', minf { nmhd, dinf,
// stbl { stsd (tx3g), stts, stsc, stsz, stco } } }.
Bytes telemetryTrack(uint32_t trackId, uint32_t movieTimescale, uint64_t durationMs,
                     const std::vector<uint64_t>& offsets, std::optional<uint32_t> claimedCount,
                     uint32_t repeatLast) {
    const uint32_t n = uint32_t(offsets.size());
    const uint32_t movieDuration = uint32_t(durationMs * movieTimescale / 1000);
    static const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};

    Bytes tkhd;
    putBE32(tkhd, 0); // creation
    putBE32(tkhd, 0); // modification
    putBE32(tkhd, trackId);
    putBE32(tkhd, 0);
    putBE32(tkhd, movieDuration);
    putBE32(tkhd, 0);
    putBE32(tkhd, 0);
    putBE16(tkhd, 0); // layer
    putBE16(tkhd, 0); // alternate group
    putBE16(tkhd, 0); // volume
    putBE16(tkhd, 0);
    for (uint32_t m : matrix)
        putBE32(tkhd, m);
    putBE32(tkhd, 0); // width
    putBE32(tkhd, 0); // height

    Bytes elst;
    putBE32(elst, 1);
    putBE32(elst, movieDuration);
    putBE32(elst, 0); // media time
    putBE32(elst, 0x00010000);

    Bytes mdhd;
    putBE32(mdhd, 0);
    putBE32(mdhd, 0);
    putBE32(mdhd, 1000); // timescale: milliseconds
    putBE32(mdhd, uint32_t(durationMs));
    putBE16(mdhd, 0x55C4); // "und"
    putBE16(mdhd, 0);

    Bytes hdlr;
    putBE32(hdlr, 0);
    putType(hdlr, "text");
    for (int i = 0; i < 3; ++i)
        putBE32(hdlr, 0);
    const char name[] = "Telemetry";
    hdlr.insert(hdlr.end(), name, name + sizeof name);

    Bytes dref;
    putBE32(dref, 1);
    const Bytes url = fullBox("url ", 1, {});
    dref.insert(dref.end(), url.begin(), url.end());

    // 3GPP timed text sample entry: plain defaults, one font.
    Bytes tx3g(6, 0);
    putBE16(tx3g, 1);  // data reference index
    putBE32(tx3g, 0);  // display flags
    tx3g.push_back(1); // horizontal justification: centre
    tx3g.push_back(0xFF); // vertical justification: bottom
    putBE32(tx3g, 0); // background colour
    for (int i = 0; i < 4; ++i)
        putBE16(tx3g, 0); // default text box
    putBE16(tx3g, 0);
    putBE16(tx3g, 0);
    putBE16(tx3g, 1);  // font id
    tx3g.push_back(0); // face style
    tx3g.push_back(18);
    putBE32(tx3g, 0xFFFFFFFF); // text colour
    Bytes ftab;
    putBE16(ftab, 1);
    putBE16(ftab, 1);
    const char font[] = "Serif";
    ftab.push_back(uint8_t(sizeof font - 1));
    ftab.insert(ftab.end(), font, font + sizeof font - 1);
    const Bytes ftabBox = box("ftab", ftab);
    tx3g.insert(tx3g.end(), ftabBox.begin(), ftabBox.end());
    Bytes stsd;
    putBE32(stsd, 1);
    const Bytes entry = box("tx3g", tx3g);
    stsd.insert(stsd.end(), entry.begin(), entry.end());

    Bytes stts, stsc, stsz, stco;
    if (n > 0) {
        putBE32(stts, 1);
        putBE32(stts, n);
        putBE32(stts, uint32_t(std::max<uint64_t>(1, durationMs / n)));
        putBE32(stsc, 1);
        putBE32(stsc, 1);
        putBE32(stsc, 1);
        putBE32(stsc, 1);
    } else {
        putBE32(stts, 0);
        putBE32(stsc, 0);
    }
    putBE32(stsz, 155);
    putBE32(stsz, n);
    const uint32_t repeats = offsets.empty() ? 0 : repeatLast;
    putBE32(stco, claimedCount.value_or(n + repeats));
    for (uint64_t offset : offsets)
        putBE32(stco, uint32_t(offset));
    for (uint32_t i = 0; i < repeats; ++i)
        putBE32(stco, uint32_t(offsets.back()));

    const Bytes stbl = box("stbl", concat({fullBox("stsd", 0, stsd), fullBox("stts", 0, stts),
                                           fullBox("stsc", 0, stsc), fullBox("stsz", 0, stsz),
                                           fullBox("stco", 0, stco)}));
    const Bytes minf = box("minf", concat({fullBox("nmhd", 0, {}),
                                           box("dinf", fullBox("dref", 0, dref)), stbl}));
    const Bytes mdia = box("mdia", concat({fullBox("mdhd", 0, mdhd), fullBox("hdlr", 0, hdlr), minf}));
    return box("trak", concat({fullBox("tkhd", 0x000002, tkhd),
                               box("edts", fullBox("elst", 0, elst)), mdia}));
}

} // namespace

std::optional<TelemetryRecord> parseTelemetryLine(const std::string& line, std::string* error) {
    std::istringstream in(line);
    TelemetryRecord r;
    long long time = 0;
    std::string unit;
    if (!(in >> time >> r.x >> r.y >> r.z >> r.t >> unit) || unit.size() != 1 || time < 0 ||
        time > 0xFFFFFFFFLL) {
        *error = "expected TIME X Y Z T UNIT TEXT: " + line;
        return std::nullopt;
    }
    r.time = uint32_t(time);
    r.unit = unit[0];
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest.front() == ' ')
        rest.erase(0, 1);
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '\\' || i + 1 == rest.size()) {
            r.text.push_back(rest[i]);
            continue;
        }
        const char e = rest[++i];
        if (e == 'r') {
            r.text.push_back('\r');
        } else if (e == 'n') {
            r.text.push_back('\n');
        } else if (e == '0') {
            r.text.push_back('\0');
        } else if (e == 'x' && i + 2 < rest.size() && std::isxdigit(uint8_t(rest[i + 1])) &&
                   std::isxdigit(uint8_t(rest[i + 2]))) {
            r.text.push_back(char(std::strtol(rest.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            r.text.push_back(e);
        }
    }
    if (r.text.size() > 128) {
        *error = "text longer than 128 bytes: " + line;
        return std::nullopt;
    }
    return r;
}

std::optional<std::vector<TelemetryRecord>> readTelemetryDescription(const std::string& path,
                                                                     std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot open " + path;
        return std::nullopt;
    }
    std::vector<TelemetryRecord> records;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.front() == '#')
            continue;
        auto record = parseTelemetryLine(line, error);
        if (!record)
            return std::nullopt;
        records.push_back(std::move(*record));
    }
    return records;
}

std::array<uint8_t, 155> encodeRecord(const TelemetryRecord& r) {
    std::array<uint8_t, 155> b{};
    b[0] = 0;
    b[1] = 153;
    uint8_t* payload = b.data() + 2;
    setLE32(payload + 0, r.time);
    setLE32(payload + 8, uint32_t(r.x));
    setLE32(payload + 12, uint32_t(r.y));
    setLE32(payload + 16, uint32_t(r.z));
    setLE32(payload + 20, uint32_t(r.t));
    payload[24] = uint8_t(r.unit);
    std::memcpy(payload + 25, r.text.data(), std::min<size_t>(r.text.size(), 128));
    return b;
}

WriteResult writeRecording(const std::string& inputMp4, const std::string& outputPath,
                           const WriterOptions& options) {
    WriteResult result;
    Bytes input = readFile(inputMp4, &result.error);
    if (input.empty()) {
        if (result.error.empty())
            result.error = inputMp4 + " is empty";
        return result;
    }
    std::vector<Box> top;
    if (!children(input, 0, input.size(), top)) {
        result.error = inputMp4 + " is not an MP4 file";
        return result;
    }
    const Box *ftyp = nullptr, *mdat = nullptr, *moov = nullptr;
    for (const Box& b : top) {
        if (b.type == "ftyp" && !ftyp)
            ftyp = &b;
        else if (b.type == "mdat" && !mdat)
            mdat = &b;
        else if (b.type == "moov" && !moov)
            moov = &b;
    }
    if (!ftyp || !mdat || !moov || ftyp->payloadSize() < 8) {
        result.error = inputMp4 + " lacks ftyp, mdat or moov";
        return result;
    }
    if (options.telemetry) {
        for (const TelemetryRecord& record : *options.telemetry) {
            if (record.text.size() > 128) {
                result.error = "a record's text is longer than 128 bytes";
                return result;
            }
        }
    }
    if (options.majorBrand.size() != 4) {
        result.error = "a brand has four characters";
        return result;
    }

    // ftyp with the camera's major brand.
    Bytes ftypOut(ftyp->payload(input), ftyp->payload(input) + ftyp->payloadSize());
    std::memcpy(ftypOut.data(), options.majorBrand.data(), 4);
    ftypOut = box("ftyp", ftypOut);

    const uint64_t mediaBytes = mdat->payloadSize();
    const uint64_t mdatPayloadStart = ftypOut.size() + 8;
    const auto& records = options.telemetry;
    const size_t recordCount = records ? records->size() : 0;
    const uint64_t tail = std::max<uint64_t>(options.largeMdatBytes > mediaBytes
                                                 ? options.largeMdatBytes - mediaBytes
                                                 : 0,
                                             uint64_t(recordCount) * 155);
    const uint64_t mdatSize = 8 + mediaBytes + tail;
    if (mdatSize > 0xFFFFFFFFULL) {
        result.error = "mdat would need a 64-bit size";
        return result;
    }
    for (size_t i = 0; i < recordCount; ++i) {
        const uint64_t slot = tail / std::max<size_t>(recordCount, 1);
        const uint64_t at = options.largeMdatBytes ? i * slot : i * 155;
        result.recordOffsets.push_back(mdatPayloadStart + mediaBytes + at);
    }

    // moov: the media's chunk offsets follow the media to its new place; the telemetry track
    // becomes the fifth child.
    const int64_t delta = int64_t(mdatPayloadStart) - int64_t(mdat->offset + mdat->header);
    Bytes moovBytes(input.begin() + long(moov->offset), input.begin() + long(moov->offset + moov->size));
    Box moovBox = *moov;
    moovBox.offset = 0;
    if (!shiftChunkOffsets(moovBytes, moovBox, delta)) {
        result.error = "the chunk tables of " + inputMp4 + " are damaged";
        return result;
    }
    std::vector<Box> kids;
    children(moovBytes, moovBox.header, moovBox.size, kids);
    auto slice = [&](const Box& b) {
        return Bytes(moovBytes.begin() + long(b.offset), moovBytes.begin() + long(b.offset + b.size));
    };
    Bytes mvhd;
    std::vector<Bytes> others;
    for (const Box& b : kids) {
        if (b.type == "mvhd" && mvhd.empty())
            mvhd = slice(b);
        else
            others.push_back(slice(b));
    }
    if (mvhd.size() < 108) {
        result.error = inputMp4 + " has no movie header";
        return result;
    }
    Bytes moovPayload;
    size_t telemetryEnd = 0; // where the telemetry track ends inside moov
    if (records) {
        const bool v1 = mvhd[8] == 1;
        const uint32_t timescale = be32(mvhd.data() + (v1 ? 28 : 20));
        const uint64_t duration = v1 ? be64(mvhd.data() + 32) : be32(mvhd.data() + 24);
        const size_t nextIdAt = v1 ? 116 : 104;
        if (mvhd.size() < nextIdAt + 4 || timescale == 0) {
            result.error = inputMp4 + " has a damaged movie header";
            return result;
        }
        const uint32_t trackId = be32(mvhd.data() + nextIdAt);
        setBE32(mvhd.data() + nextIdAt, trackId + 1);
        const uint64_t durationMs = duration * 1000 / timescale;
        while (others.size() < 3)
            others.push_back(box("free", {}));
        others.insert(others.begin() + 3, telemetryTrack(trackId, timescale, durationMs,
                                                         result.recordOffsets,
                                                         options.stcoEntryCount, options.repeatLastChunk));
        telemetryEnd = 8 + mvhd.size();
        for (size_t i = 0; i <= 3; ++i)
            telemetryEnd += others[i].size();
    }
    moovPayload = mvhd;
    for (const Bytes& b : others)
        moovPayload.insert(moovPayload.end(), b.begin(), b.end());
    Bytes moovOut = box("moov", moovPayload);

    const uint64_t moovAt = mdatPayloadStart + mediaBytes + tail + (options.moovNotThird ? 8 : 0);
    result.fileSize = moovAt + moovOut.size();
    if (options.lastOffsetBeyondEnd && recordCount > 0) {
        // The chunk table closes the telemetry track: its last entry is the track's last word.
        setBE32(moovOut.data() + telemetryEnd - 4, uint32_t(result.fileSize + 1000));
        result.recordOffsets.back() = result.fileSize + 1000;
    }

    const int fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        result.error = "cannot write " + outputPath + ": " + std::strerror(errno);
        return result;
    }
    Bytes mdatHeader;
    putBE32(mdatHeader, uint32_t(mdatSize));
    putType(mdatHeader, "mdat");
    bool ok = writeFullyAt(fd, 0, ftypOut.data(), ftypOut.size()) &&
              writeFullyAt(fd, ftypOut.size(), mdatHeader.data(), 8) &&
              writeFullyAt(fd, mdatPayloadStart, mdat->payload(input), mediaBytes);
    for (size_t i = 0; ok && i < recordCount; ++i) {
        const auto bytes = encodeRecord((*records)[i]);
        if (result.recordOffsets[i] < result.fileSize)
            ok = writeFullyAt(fd, result.recordOffsets[i], bytes.data(), bytes.size());
    }
    if (ok && options.moovNotThird) {
        const Bytes free = box("free", {});
        ok = writeFullyAt(fd, moovAt - 8, free.data(), free.size());
    }
    ok = ok && writeFullyAt(fd, moovAt, moovOut.data(), moovOut.size());
    if (ok && options.truncateTo && *options.truncateTo < result.fileSize) {
        ok = ::ftruncate(fd, off_t(*options.truncateTo)) == 0;
        result.fileSize = *options.truncateTo;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        result.error = "writing " + outputPath + " failed: " + std::strerror(errno);
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace daxo::tools
