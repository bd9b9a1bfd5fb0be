// SPDX-License-Identifier: GPL-3.0-or-later
// The drive-information log read from bytes laid out here by hand, and its table texts.
#include "../support/TempTree.h"
#include "config/pages/ZLXFlashDataLog.h"

#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <sys/stat.h>

namespace daxo {
namespace {

// A log of `count` (the header's word) and the given 44-byte records.
struct LogBytes {
    std::vector<uint8_t> bytes;
    explicit LogBytes(uint32_t count) : bytes(12, 0xEE) {
        for (int i = 0; i < 4; ++i)
            bytes[size_t(i)] = uint8_t(count >> (8 * i));
    }
    // A record with every byte 0 but those set afterwards by offset.
    LogBytes& record() {
        bytes.resize(bytes.size() + 44, 0);
        return *this;
    }
    LogBytes& put8(size_t offset, uint8_t v) {
        bytes[bytes.size() - 44 + offset] = v;
        return *this;
    }
    LogBytes& put16(size_t offset, int v) {
        return put8(offset, uint8_t(v)).put8(offset + 1, uint8_t(unsigned(v) >> 8));
    }
    LogBytes& put32(size_t offset, uint32_t v) {
        return put16(offset, int(v & 0xFFFF)).put16(offset + 2, int(v >> 16));
    }
};

std::vector<std::string> row(const ZLXFlashDataLog& log, size_t index) {
    return flashDataRow(log.records.at(index), index);
}

TEST(DriveLog, EveryFieldAtItsOffsetAndEveryDisplayRule) {
    LogBytes file(3);
    file.record().put16(0, 0x1234).put8(2, 3).put8(3, 2).put8(4, 117).put8(5, 5).put8(6, 9).put8(7, 7).put8(8, 5)
        .put8(9, 59).put16(10, 3731).put16(12, 1234).put16(14, 12658).put16(16, 674).put16(18, 88)
        .put32(20, 12345).put32(24, 0xDEADBEEF).put16(28, 131).put8(30, 0x80).put8(31, 0x7F).put16(32, 256)
        .put16(34, -64).put16(36, -256 * 3 / 2).put16(38, 124).put16(40, 5).put16(42, -5);
    file.record().put8(2, 7).put8(3, 0); // no such day; kind V
    file.record().put8(2, 0).put8(3, 1).put16(38, -124);
    const ZLXFlashDataLog log = parseFlashData(file.bytes);
    ASSERT_EQ(log.records.size(), 3u);
    EXPECT_EQ(log.missing(), 0u);
    EXPECT_EQ(row(log, 0), (std::vector<std::string>{"1", "4660", "2017/05/09", "07:05:59", "WED", "3731.1234",
                                                     "12658.0674", "1234.5", "88", "131", "F", "+1.00", "-0.25",
                                                     "-1.50", "12.4", " 0.5", "-0.5"}));
    EXPECT_EQ(flashDataCell(log.records[1], 4, 1), "-");
    EXPECT_EQ(flashDataCell(log.records[1], 10, 1), "V");
    EXPECT_EQ(flashDataCell(log.records[1], 2, 1), "1900/00/00");
    EXPECT_EQ(flashDataCell(log.records[2], 4, 2), "SUN");
    EXPECT_EQ(flashDataCell(log.records[2], 10, 2), "A");
    EXPECT_EQ(flashDataCell(log.records[2], 14, 2), "-12.4"); // below zero, a sign and not " -12.-4"
    EXPECT_EQ(flashDataCell(log.records[2], 0, 2), "3");
    EXPECT_EQ(flashDataCell(log.records[0], 17, 0), "X");
    EXPECT_EQ(flashDataCell(log.records[0], -1, 0), "X");
}

TEST(DriveLog, NeverMoreRecordsThanTheBytesHold) {
    EXPECT_TRUE(parseFlashData(LogBytes(0).record().bytes).records.empty()); // count 0 wins over the bytes
    LogBytes truncated(5);
    truncated.record().record().record();
    truncated.bytes.resize(truncated.bytes.size() - 22); // two and a half records
    const ZLXFlashDataLog cut = parseFlashData(truncated.bytes);
    EXPECT_EQ(cut.records.size(), 2u);
    EXPECT_EQ(cut.missing(), 3u);
    const ZLXFlashDataLog huge = parseFlashData(LogBytes(0xFFFFFFFF).record().bytes);
    EXPECT_EQ(huge.records.size(), 1u);
    EXPECT_EQ(huge.missing(), 0xFFFFFFFEull);
    EXPECT_EQ(parseFlashData(std::vector<uint8_t>{1, 0, 0, 0, 0}).missing(), 1u); // header cut short
    EXPECT_TRUE(parseFlashData({}).records.empty());
}

TEST(DriveLog, FilesAreReadAsTheyAreAndOnlyRegularOnes) {
    test::TempTree tree;
    LogBytes file(0xFFFFFFF0); // a count the file cannot back
    file.record().put16(0, 7);
    const std::string path = tree.path("daxo_000.drv");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.bytes.data()), std::streamsize(file.bytes.size()));
    const auto log = readFlashDataFile(path);
    ASSERT_TRUE(log);
    ASSERT_EQ(log->records.size(), 1u);
    EXPECT_EQ(log->records[0].seq, 7);
    EXPECT_FALSE(readFlashDataFile(tree.path("missing.drv")));
    const std::string fifo = tree.path("fifo.drv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readFlashDataFile(fifo)); // and returns at once: nobody writes to it
}

TEST(DriveLog, CsvAndMapPosition) {
    LogBytes file(1);
    file.record().put8(2, 1).put8(3, 1).put8(4, 124).put8(5, 12).put8(6, 31).put16(10, 3731).put16(12, 1234)
        .put16(14, 12658).put16(16, 6740).put16(38, 131);
    const ZLXFlashDataLog log = parseFlashData(file.bytes);
    EXPECT_EQ(flashDataCsvLine(row(log, 0)),
              "1,0,2024/12/31,00:00:00,MON,3731.1234,12658.6740,0.0,0,0,A,+0.00,+0.00,+0.00,13.1, 0.0, 0.0\n");
    EXPECT_EQ(flashDataCsvLine({"a", "b"}), "a,b\n");
    const auto at = flashDataPosition(log.records[0]);
    ASSERT_TRUE(at);
    EXPECT_NEAR(at->first, 37 + 31.1234 / 60, 1e-9);
    EXPECT_NEAR(at->second, 126 + 58.6740 / 60, 1e-9);
    _FLASH_SAVE_VALUE_STRUCT nowhere = log.records[0];
    nowhere.lat_deg = nowhere.lat_min = 0;
    EXPECT_FALSE(flashDataPosition(nowhere));
}

} // namespace
} // namespace daxo
