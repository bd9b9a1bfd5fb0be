// SPDX-License-Identifier: GPL-3.0-or-later
// Telemetry extraction: the walk along the box path, the records, and damaged files.
#include "../support/FfmpegInput.h"
#include "../support/TempTree.h"
#include "library/ZLXFileIO.h"
#include "telemetry/ZLXBlackBoxData.h"
#include "tools/ZLXRecordingWriter.h"

#include <cstring>
#include <malloc.h>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <gtest/gtest.h>

using namespace daxo;
using namespace daxo::tools;

namespace {

// The size of the file's top-level movie box.
uint64_t moovSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    for (uint64_t at = 0;;) {
        unsigned char h[8];
        if (!in.seekg(std::streamoff(at)) || !in.read(reinterpret_cast<char*>(h), 8))
            return 0;
        const uint64_t size = uint64_t(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
        if (std::memcmp(h + 4, "moov", 4) == 0)
            return size;
        if (size < 8)
            return 0;
        at += size;
    }
}

const char* const kRmcGga = "$GNRMC,123519.000,A,,,,,022.4,084.4,230394,,,A*6A\r\n"
                            "$GNGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,*47\r\n";

class Extraction : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_tree = new test::TempTree;
        s_input = s_tree->path("input.mp4");
        s_silent = s_tree->path("silent.mp4");
        ASSERT_TRUE(test::ffmpegMp4(s_input, 2)) << "ffmpeg could not make the input";
        ASSERT_TRUE(test::ffmpegMp4(s_silent, 1, false)) << "ffmpeg could not make the input";
    }
    static void TearDownTestSuite() {
        delete s_tree;
        s_tree = nullptr;
    }

    static std::vector<TelemetryRecord> records(size_t n) {
        std::vector<TelemetryRecord> list;
        for (size_t i = 0; i < n; ++i) {
            TelemetryRecord r;
            r.time = 1700000000u + uint32_t(i);
            r.x = int32_t(i) * 256;
            r.y = -128;
            r.z = 0;
            r.t = 99;
            r.unit = i % 2 ? 'M' : '9';
            r.text = i % 3 == 0 ? kRmcGga : i % 3 == 1 ? std::string(128, '\0') : "$GNRMC,1*00\r\n";
            list.push_back(r);
        }
        return list;
    }

    std::string write(const std::string& name, WriterOptions options, const std::string* input = nullptr) {
        const std::string out = s_tree->path(name);
        const WriteResult r = writeRecording(input ? *input : s_input, out, options);
        EXPECT_TRUE(r.ok) << r.error;
        m_offsets = r.recordOffsets;
        return out;
    }

    static inline test::TempTree* s_tree = nullptr;
    static inline std::string s_input, s_silent;
    std::vector<uint64_t> m_offsets;
};

TEST_F(Extraction, TheWriterRefusesTextThatWouldNotFit) {
    WriterOptions options;
    options.telemetry = records(1);
    options.telemetry->front().text = std::string(129, 'x');
    const WriteResult r = writeRecording(s_input, s_tree->path("long.mp4"), options);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("128"), std::string::npos);
}

TEST_F(Extraction, ReadsEveryRecordInChunkOrder) {
    ASSERT_LE(std::strlen(kRmcGga), 128u);
    WriterOptions options;
    options.telemetry = records(6);
    const std::string file = write("alwa_20240101_120000_F.mp4", options);
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    ASSERT_EQ(data.m_Times.size(), 6u);
    EXPECT_EQ(data.m_GSensors.size(), 6u);
    EXPECT_EQ(data.m_vGSensorData.size(), 6u);
    EXPECT_EQ(data.m_vGpsData.size(), 6u);
    EXPECT_EQ(data.m_Times[5], 1700000005);
    EXPECT_EQ(data.m_GSensors[1].x, 1.0f);
    EXPECT_EQ(data.m_GSensors[1].y, -0.5f);
    EXPECT_EQ(data.m_GSensors[1].z, 0.0f);
    EXPECT_EQ(data.m_vGSensorData[3].data.X, 3 * 256);
    EXPECT_EQ(data.m_vGSensorData[3].data.T, 99);
    EXPECT_EQ(data.m_vGpsData[0].data.unit, '9');
    EXPECT_EQ(data.m_vGpsData[1].data.unit, 'M');
    // records 0 and 3 hold RMC and GGA; records 2 and 5 one short RMC; records 1 and 4 nothing
    ASSERT_EQ(data.m_NMEAs.size(), 6u);
    EXPECT_EQ(data.m_NMEAs[0].gpsValid, 1);
    EXPECT_EQ(data.m_NMEAs[0].Latitude, 0); // the RMC alone has no position
    EXPECT_EQ(data.m_NMEAs[1].Latitude, 4807.0380859375);
    EXPECT_EQ(data.m_NMEAs[1].SatelliteUsedCount, 0u);
    // the stored text has NUL where CR and LF ended the sentences
    const auto& text = data.m_vGpsData[0].data.gpsString;
    const size_t end = std::strlen(kRmcGga) - 2;
    EXPECT_EQ(text[end], '\0');
    EXPECT_EQ(text[end + 1], '\0');
    EXPECT_EQ(std::string(text.data()), std::string(kRmcGga).substr(0, std::strchr(kRmcGga, '\r') - kRmcGga));
    EXPECT_EQ(data.frameCount(), 5);
    // the boxes before the movie, the movie box (in one read), and one record per chunk:
    // nothing of the video
    EXPECT_LT(data.bytesRead(), 100 + moovSize(file) + 6 * 153);
}

TEST_F(Extraction, WalkingAgainStartsFromNothing) {
    WriterOptions options;
    options.telemetry = records(3);
    const std::string withTelemetry = write("a_F.mp4", options);
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(withTelemetry.c_str()));
    ASSERT_EQ(data.m_Times.size(), 3u);
    options.telemetry = std::vector<TelemetryRecord>{};
    const std::string empty = write("b_F.mp4", options);
    ASSERT_TRUE(data.ExtractStreamInformation(empty.c_str())); // an empty table still succeeds
    EXPECT_TRUE(data.m_Times.empty());
    EXPECT_TRUE(data.m_NMEAs.empty());
    EXPECT_EQ(data.m_NMEAParser.m_Current.gpsValid, 0);
}

TEST_F(Extraction, AVideoOnlyInputStillPutsTheTrackFifth) {
    WriterOptions options;
    options.telemetry = records(2);
    const std::string file = write("silent_F.mp4", options, &s_silent);
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    EXPECT_EQ(data.m_Times.size(), 2u);
}

TEST_F(Extraction, RecordingsThatAreNotTheCamerasYieldNothing) {
    ZLXBlackBoxData data;
    EXPECT_FALSE(data.ExtractStreamInformation(s_tree->path("missing.mp4").c_str()));
    EXPECT_FALSE(data.ExtractStreamInformation(nullptr));
    EXPECT_FALSE(data.ExtractStreamInformation(s_input.c_str())); // ffmpeg's own layout

    WriterOptions noTrack; // a rear file: the layout, no telemetry
    EXPECT_FALSE(data.ExtractStreamInformation(write("r_R.mp4", noTrack).c_str()));

    WriterOptions brand;
    brand.telemetry = records(2);
    brand.majorBrand = "isom";
    EXPECT_FALSE(data.ExtractStreamInformation(write("brand.mp4", brand).c_str()));
    EXPECT_TRUE(data.m_Times.empty());

    WriterOptions fourth;
    fourth.telemetry = records(2);
    fourth.moovNotThird = true;
    EXPECT_FALSE(data.ExtractStreamInformation(write("fourth.mp4", fourth).c_str()));

    WriterOptions cut;
    cut.telemetry = records(2);
    cut.truncateTo = 2000;
    EXPECT_FALSE(data.ExtractStreamInformation(write("cut.mp4", cut).c_str()));
    EXPECT_TRUE(data.m_GSensors.empty());
}

TEST_F(Extraction, ACountBeyondTheTableReadsOnlyTheTable) {
    WriterOptions options;
    options.telemetry = records(4);
    options.stcoEntryCount = 0xFFFFFFFFu;
    const std::string file = write("count.mp4", options);
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    EXPECT_EQ(data.m_Times.size(), 4u);
    EXPECT_LT(data.bytesRead(), std::filesystem::file_size(file) / 10);
}

TEST_F(Extraction, AChunkPastTheEndAddsNothingAndTheWalkGoesOn) {
    WriterOptions options;
    options.telemetry = records(4);
    options.lastOffsetBeyondEnd = true;
    const std::string file = write("beyond.mp4", options);
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    EXPECT_EQ(data.m_Times.size(), 3u);
    EXPECT_EQ(data.m_vGpsData.size(), 3u);
}

TEST_F(Extraction, LargeFileReadsOnlyWhatItMust) {
    WriterOptions options;
    options.telemetry = records(100);
    options.largeMdatBytes = 64ull << 20;
    const std::string file = write("large_F.mp4", options);
    ASSERT_GE(std::filesystem::file_size(file), 64ull << 20);
    ZLXBlackBoxData data;
    const uint64_t reads = ZLXRecordingReader::readCalls();
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    EXPECT_EQ(data.m_Times.size(), 100u);
    EXPECT_EQ(data.m_Times[99], 1700000099);
    EXPECT_LT(data.bytesRead(), 100 + moovSize(file) + 100 * 153);
    // each read costs a card reader a millisecond: the file's head, the movie's header, the
    // movie box whole, then one read per record
    EXPECT_LE(ZLXRecordingReader::readCalls() - reads, 4u + 100);
}

TEST_F(Extraction, AHostileTableCannotMakeTheWalkHoldMoreThanTheFileCan) {
    // A 4 MB file: a million table entries naming one chunk whose text is 32 sentences.
    WriterOptions options;
    options.telemetry = records(1);
    std::string sentences;
    while (sentences.size() + 4 <= 128)
        sentences += "$GA\n";
    options.telemetry->front().text = sentences;
    options.repeatLastChunk = 1000000;
    const std::string file = write("hostile_F.mp4", options);
    ASSERT_GE(std::filesystem::file_size(file), 4000000u);
    const size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    ZLXBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(file.c_str()));
    const size_t held = mallinfo2().uordblks + mallinfo2().hblkhd - before;
    EXPECT_LT(held, 64u << 20) << held / (1 << 20) << " MB";
    // no more records than the file holds side by side, a few fixes each
    EXPECT_LE(data.m_Times.size(), std::filesystem::file_size(file) / 155);
    EXPECT_LE(data.m_NMEAs.size(), data.m_Times.size() * ZLXBlackBoxData::kMaxFixesPerText);
    EXPECT_EQ(data.m_RecordSentenceCounts.front(), 32); // all of them counted, four kept
}

// Where each box the file holds starts, where its contents start, and where it ends, for the
// boxes and the boxes inside those that hold others.
void boxBoundaries(const std::string& bytes, size_t start, size_t end, std::set<size_t>& out, int depth = 0) {
    static const std::set<std::string> kContainers{"moov", "trak", "mdia", "minf", "stbl", "dinf", "edts", "udta"};
    size_t at = start;
    while (at + 8 <= end && depth < 8) {
        uint64_t size = uint32_t(uint8_t(bytes[at]) << 24 | uint8_t(bytes[at + 1]) << 16 | uint8_t(bytes[at + 2]) << 8 |
                                 uint8_t(bytes[at + 3]));
        size_t header = 8;
        if (size == 1 && at + 16 <= end) {
            size = 0;
            for (int i = 8; i < 16; ++i)
                size = size << 8 | uint8_t(bytes[at + size_t(i)]);
            header = 16;
        }
        if (size < header || at + size > end)
            break;
        out.insert(at);
        out.insert(at + header);
        out.insert(at + size);
        if (kContainers.count(bytes.substr(at + 4, 4)))
            boxBoundaries(bytes, at + header, at + size, out, depth + 1);
        at += size;
    }
}

// A recording cut at each box boundary (and a byte either side) along the path the walk
// follows, as a power cut leaves it: the walk reads what is there and nothing beyond.
TEST_F(Extraction, ARecordingCutAtAnyBoxBoundaryReadsOnlyWhatIsThere) {
    WriterOptions options;
    options.telemetry = records(6);
    const std::string whole = write("whole_F.mp4", options);
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<size_t> cuts;
    boxBoundaries(bytes, 0, bytes.size(), cuts);
    ASSERT_GT(cuts.size(), 30u); // the layout's boxes were found
    const std::string cutFile = s_tree->path("cut_F.mp4");
    size_t tried = 0;
    for (const size_t boundary : cuts) {
        for (const size_t length : {boundary - 1, boundary, boundary + 1}) {
            if (length == 0 || length >= bytes.size())
                continue;
            std::ofstream(cutFile, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(length));
            ZLXBlackBoxData data;
            data.ExtractStreamInformation(cutFile.c_str());
            EXPECT_LE(data.m_Times.size(), 6u) << length;
            EXPECT_EQ(data.m_Times.size(), data.m_vGpsData.size()) << length;
            EXPECT_LE(data.bytesRead(), length) << length;
            ++tried;
        }
    }
    EXPECT_GT(tried, 90u);
}

TEST(ExtractionOpen, AFifoIsRefusedWithoutWaitingForAWriter) {
    test::TempTree tree;
    const std::string fifo = tree.path("alwa_20240101_120000_F.MP4");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ZLXBlackBoxData data;
    EXPECT_FALSE(data.ExtractStreamInformation(fifo.c_str())); // returns: it would block before
    EXPECT_FALSE(data.ExtractStreamInformation("/dev/zero"));
}

TEST(ParseNmea, SplitsAtLineEndsAndParsesOnlyFinishedSentences) {
    ZLXBlackBoxData data;
    char text[128] = {};
    // a second '$' before any line end starts over: only the GGA is parsed
    std::snprintf(text, sizeof text, "$GNRMC,1,A,$GPGGA,1,4807.038,N,01131.000,E,1,05,2.0,0,M,,M,,*47\n$XXRMC*00\r");
    ASSERT_TRUE(data.ParseNMEA(text, sizeof text));
    ASSERT_EQ(data.m_NMEAs.size(), 1u);
    EXPECT_EQ(data.m_NMEAs[0].SatelliteUsedCount, 5u);
    EXPECT_EQ(data.m_NMEAs[0].gpsValid, 0);

    // a sentence that fills the buffer without an end is dropped
    char full[128];
    std::memset(full, 'A', sizeof full);
    full[0] = '$';
    full[1] = 'G';
    data.clear();
    ASSERT_TRUE(data.ParseNMEA(full, sizeof full));
    EXPECT_TRUE(data.m_NMEAs.empty());

    // a handled or unhandled "$G" sentence both leave a snapshot
    char two[64] = "$GPVTG,1,T*00\r\n$GNGSA,A,3,05,12,,,,,,,,,,,1,1,1*00";
    data.clear();
    ASSERT_TRUE(data.ParseNMEA(two, sizeof two));
    EXPECT_EQ(data.m_NMEAs.size(), 2u);
    EXPECT_EQ(data.m_NMEAs[1].SatelliteUsedCount, 2u);

    EXPECT_FALSE(data.ParseNMEA(nullptr, 10));
    EXPECT_FALSE(data.ParseNMEA(two, 0));
}

TEST(ParseBlocks, FrameDataAndTimeReadOnlyWhatTheyAreGiven) {
    ZLXBlackBoxData data;
    const uint8_t frame[8] = {0, 0, 0, 0, 4, 5, 6, 7};
    EXPECT_TRUE(data.ParseFrameData(frame, 8));
    EXPECT_EQ(data.m_udatSpeedDisplay, 4);
    EXPECT_EQ(data.m_udatRecPark, 6);
    EXPECT_EQ(data.m_udatIncludeEvent, 7);
    EXPECT_FALSE(data.ParseFrameData(frame, 9));
    EXPECT_FALSE(data.ParseFrameData(frame, 5)); // too short to hold the flags
    EXPECT_FALSE(data.ParseFrameData(nullptr, 8));

    auto block = [](uint32_t time, uint32_t type) {
        std::array<uint8_t, 16> b{};
        for (int i = 0; i < 4; ++i) {
            b[size_t(i)] = uint8_t(time >> (8 * i));
            b[size_t(15 - i)] = uint8_t(type >> (8 * i));
        }
        return b;
    };
    const auto first = block(86400 + 3661, 2); // 1970-01-02 01:01:01
    EXPECT_TRUE(data.ParseTime(first.data(), 16));
    EXPECT_TRUE(data.ParseTime(block(10, 2).data(), 16)); // the same type again: no event
    EXPECT_TRUE(data.ParseTime(block(11, 0).data(), 16));
    EXPECT_TRUE(data.ParseTime(block(12, 1).data(), 16));
    EXPECT_FALSE(data.ParseTime(first.data(), 15));
    ASSERT_EQ(data.m_TimeEvents.size(), 2u);
    EXPECT_EQ(data.m_TimeEvents[0].e, 1u);
    EXPECT_EQ(data.m_TimeEvents[0].f, 0u);
    EXPECT_EQ(data.m_TimeEvents[0].t, (_SYSTEMTIME{1970, 1, 0, 2, 1, 1, 1, 0}));
    EXPECT_EQ(data.m_TimeEvents[1].e, 0u);
    EXPECT_EQ(data.m_TimeEvents[1].f, 3u);
    EXPECT_EQ(data.m_Times.size(), 4u);
    EXPECT_EQ(data.m_LastTimeEventType, 1u);
    data.clear();
    EXPECT_EQ(data.m_LastTimeEventType, 0u);
    EXPECT_EQ(data.m_udatRecPark, 0);
    EXPECT_EQ(data.frameCount(), 1);
}

} // namespace
