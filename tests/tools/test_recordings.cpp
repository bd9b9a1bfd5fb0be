// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings made by our writer and the demo card, checked with an independent reader:
// ffprobe must see video, audio and a text track whose packets are exactly our records, and
// the telemetry walk must read what ffprobe reads, record for record.
#include "../support/FfmpegInput.h"
#include "../support/TempTree.h"
#include "telemetry/ZLXBlackBoxData.h"
#include "tools/ZLXRecordingWriter.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace daxo;
using namespace daxo::tools;
namespace fs = std::filesystem;

namespace {

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    pclose(pipe);
    return out;
}

struct Packet {
    uint64_t pos = 0;
    std::vector<uint8_t> data;
};

// The packets of the file's subtitle (text) stream, read by ffprobe.
std::vector<Packet> textPackets(const std::string& file) {
    const std::string out = capture("ffprobe -v error -select_streams s -show_packets -show_data '" + file + "'");
    std::vector<Packet> packets;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "[PACKET]") {
            packets.emplace_back();
        } else if (line.rfind("pos=", 0) == 0 && !packets.empty()) {
            packets.back().pos = std::stoull(line.substr(4));
        } else if (line.size() > 10 && line[8] == ':' && !packets.empty()) {
            // "00000000: 0099 00f1 ...  ascii": eight groups of two bytes in fixed columns
            const std::string hex = line.substr(10, 40);
            for (size_t i = 0; i + 1 < hex.size(); ++i) {
                if (std::isxdigit(uint8_t(hex[i])) && std::isxdigit(uint8_t(hex[i + 1]))) {
                    packets.back().data.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
                    ++i;
                }
            }
        }
    }
    return packets;
}

std::string streamTypes(const std::string& file) {
    return capture("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + file + "' | tr '\\n' ' '");
}

int32_t le32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The walk's lists against ffprobe's packets, one record each.
void expectSameRecords(const std::string& file) {
    SCOPED_TRACE(file);
    const auto packets = textPackets(file);
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    ASSERT_FALSE(packets.empty());
    ASSERT_EQ(packets.size(), data.m_Times.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        const auto& d = packets[i].data;
        ASSERT_EQ(d.size(), 155u) << "packet " << i;
        EXPECT_EQ(d[0], 0);
        EXPECT_EQ(d[1], 153);
        const uint8_t* payload = d.data() + 2;
        EXPECT_EQ(data.m_Times[i], int64_t(uint32_t(le32(payload))));
        EXPECT_EQ(data.m_vGSensorData[i].data.X, le32(payload + 8));
        EXPECT_EQ(data.m_vGSensorData[i].data.Z, le32(payload + 16));
        EXPECT_EQ(data.m_GSensors[i].y, float(le32(payload + 12)) / 256);
        EXPECT_EQ(data.m_vGpsData[i].data.unit, char(payload[24]));
        for (size_t k = 0; k < 128; ++k) {
            const char c = char(payload[25 + k]);
            const char expected = c == '\r' || c == '\n' ? '\0' : c;
            ASSERT_EQ(data.m_vGpsData[i].data.gpsString[k], expected) << "record " << i << " byte " << k;
        }
    }
}

class Recordings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_tree = new test::TempTree;
        ASSERT_EQ(std::system(("'" DAXO_DEMO_CARD_TOOL "' '" + s_tree->path("card") + "' >/dev/null").c_str()), 0);
        ASSERT_TRUE(test::ffmpegMp4(s_tree->path("input.mp4"), 2));
    }
    static void TearDownTestSuite() { delete s_tree; }
    static inline test::TempTree* s_tree = nullptr;
};

TEST_F(Recordings, PacketsAreTheRecordsWrittenAtTheOffsetsWritten) {
    WriterOptions options;
    options.telemetry = std::vector<TelemetryRecord>();
    for (uint32_t i = 0; i < 12; ++i) {
        TelemetryRecord r;
        r.time = 1000 + i;
        r.x = int32_t(i) - 6;
        r.unit = i == 3 ? 'M' : '9';
        r.text = "$GNGGA,0,3723.2475,N,12658.25,E,1,0" + std::to_string(i % 10) + ",1.0,0,M,,M,,*00\r\n";
        options.telemetry->push_back(r);
    }
    const std::string file = s_tree->path("alwa_20240101_120000_F.mp4");
    const WriteResult written = writeRecording(s_tree->path("input.mp4"), file, options);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(streamTypes(file), "video audio subtitle ");
    const auto packets = textPackets(file);
    ASSERT_EQ(packets.size(), 12u);
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].pos, written.recordOffsets[i]);
        const auto expected = encodeRecord((*options.telemetry)[i]);
        EXPECT_EQ(packets[i].data, std::vector<uint8_t>(expected.begin(), expected.end())) << i;
    }
    // the media stayed where its tables say it is: every video and audio packet decodes
    EXPECT_EQ(capture("ffmpeg -nostdin -v error -i '" + file + "' -map 0:v -map 0:a -f null - 2>&1"), "");
}

TEST_F(Recordings, WalkMatchesFfprobeOnEveryDemoFrontFile) {
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(s_tree->path("card"))) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 6 && name.substr(name.size() - 6) == "_F.MP4") {
            expectSameRecords(entry.path().string());
            ++files;
        }
    }
    EXPECT_EQ(files, 4u);
}

} // namespace
