// SPDX-License-Identifier: GPL-3.0-or-later
// config.bin: the layout, the defaults, finalising and the checksum, loading and saving.
#include "../support/TempTree.h"
#include "config/filedata/ZLXFileData.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace daxo;
using daxo::test::TempTree;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const _FILEDATA& r) {
    uint8_t b[kFileDataSize];
    encodeFileData(r, b);
    return Bytes(b, b + kFileDataSize);
}
uint32_t u32At(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t u16At(const Bytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + size_t(k)] = uint8_t(v >> (8 * k));
}
void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The camera's defaults, byte for byte, as a file written apart from the field table.
Bytes defaultBytes() {
    return readFile(DAXO_CONFIG_DEFAULTS);
}

TEST(FileDataDefaults, MatchTheTableByteForByteAndKeepWhatTheyDoNotSet) {
    _FILEDATA record{};
    SetDefaultFileData(&record);
    ASSERT_EQ(defaultBytes().size(), kFileDataSize);
    EXPECT_EQ(encode(record), defaultBytes());

    // the kept fields survive a reset
    record.time_gmt = 20;
    record.summer_time = 1;
    record.Brightness1 = 7;
    record.dummy1 = 9;
    record.checksum = 0x1234;
    record.gsen_x_threshold = 99;
    InitFileData(&record);
    EXPECT_EQ(record.time_gmt, 20);
    EXPECT_EQ(record.summer_time, 1u);
    EXPECT_EQ(record.Brightness1, 7u);
    EXPECT_EQ(record.dummy1, 9);
    EXPECT_EQ(record.checksum, 0x1234);
    EXPECT_EQ(record.gsen_x_threshold, 45);
    EXPECT_EQ(record.motion1080pCValue, 3u);
}

TEST(FileDataFinalize, PlateFlagModelNumberAndChecksum) {
    _FILEDATA zero{};
    FinalizeFileData(&zero);
    EXPECT_EQ(zero.modelNum, 34u);
    EXPECT_EQ(zero.osd_plate_flag, 0);
    EXPECT_EQ(zero.checksum, 34);

    _FILEDATA plate{};
    plate.szPlateNumber[0] = 'A';
    plate.szPlateNumber[1] = 'B';
    FinalizeFileData(&plate);
    EXPECT_EQ(plate.osd_plate_flag, 1);
    EXPECT_EQ(plate.checksum, 0x4262);

    _FILEDATA defaults{};
    InitFileData(&defaults);
    FinalizeFileData(&defaults);
    EXPECT_EQ(defaults.osd_plate_flag, 1);
    Bytes b = encode(defaults);
    uint16_t sum = 0;
    for (size_t at = 4; at < kFileDataSize; at += 4)
        sum ^= u16At(b, at);
    EXPECT_EQ(defaults.checksum, sum);
    EXPECT_EQ(u16At(b, 2), sum); // stored little-endian at offset 2

    // the upper half of a word never enters the sum
    const uint16_t before = defaults.checksum;
    defaults.ADAS_FCWS_Speed = 77;
    defaults.ADAS_FCMD_Enable = 1;
    FinalizeFileData(&defaults);
    EXPECT_EQ(defaults.checksum, before);
    defaults.ADAS_Ldws_Speed = 5;
    FinalizeFileData(&defaults);
    EXPECT_NE(defaults.checksum, before);

    defaults.szPlateNumber[0] = '\0';
    FinalizeFileData(&defaults);
    EXPECT_EQ(defaults.osd_plate_flag, 0);
}

TEST(FileDataLoad, AcceptsByModelNumberAndSizeOnly) {
    TempTree tree;
    Bytes good = defaultBytes();
    put32(good, 0, 1 | (0xBEEF << 16)); // cfg_ver 1 and a checksum that is wrong
    writeFile(tree.path("good.bin"), good);
    _FILEDATA record{};
    ASSERT_TRUE(LoadFileData(tree.path("good.bin"), &record));
    EXPECT_EQ(record.cfg_ver, 1);
    EXPECT_EQ(record.checksum, 0xBEEF);
    EXPECT_EQ(record.blackboxHeight, 1.35f);

    Bytes model33 = good;
    put32(model33, 4, 33);
    writeFile(tree.path("33.bin"), model33);
    EXPECT_FALSE(LoadFileData(tree.path("33.bin"), &record));

    writeFile(tree.path("499.bin"), Bytes(good.begin(), good.end() - 1));
    EXPECT_FALSE(LoadFileData(tree.path("499.bin"), &record));

    Bytes longer = good;
    longer.resize(600, 0xAA);
    writeFile(tree.path("600.bin"), longer);
    EXPECT_TRUE(LoadFileData(tree.path("600.bin"), &record));

    _FILEDATA untouched{};
    untouched.gsen_x_threshold = 123;
    EXPECT_FALSE(LoadFileData(tree.path("missing.bin"), &untouched));
    EXPECT_EQ(untouched.gsen_x_threshold, 123);
}

TEST(FileDataSave, WritesExactly500BytesAndCarriesUnknownFieldsThrough) {
    TempTree tree;
    Bytes original = defaultBytes();
    put32(original, 0, 1);            // cfg_ver 1
    put32(original, 464, 0xDEADBEEF); // reserved words
    original[403] = 0x5A;             // dummy1
    put32(original, 160, 777);        // plate_number, which no page edits
    writeFile(tree.path("config.bin"), original);
    _FILEDATA record{};
    ASSERT_TRUE(LoadFileData(tree.path("config.bin"), &record));
    record.gsen_y_threshold = 60;
    FinalizeFileData(&record);
    ASSERT_EQ(SaveFileData(&record, tree.path("config.bin")), std::nullopt);
    const Bytes saved = readFile(tree.path("config.bin"));
    ASSERT_EQ(saved.size(), kFileDataSize);
    EXPECT_EQ(u16At(saved, 0), 1);
    EXPECT_EQ(u32At(saved, 464), 0xDEADBEEFu);
    EXPECT_EQ(saved[403], 0x5A);
    EXPECT_EQ(u32At(saved, 160), 777u);
    EXPECT_EQ(u32At(saved, 92), 60u);
    EXPECT_EQ(u32At(saved, 4), 34u);
    // nothing but config.bin is left in the folder
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.root()), {}), 1);

    EXPECT_EQ(SaveFileData(&record, "/proc/config.bin"), std::string("msg.file_open_fail"));
    EXPECT_EQ(SaveFileData(&record, tree.path("config.bin/inside")), std::string("msg.file_open_fail"));
    EXPECT_EQ(readFile(tree.path("config.bin")), saved);
}

TEST(FileDataSave, AReadOnlyFileIsLeftAloneAndALinkIsWrittenThrough) {
    TempTree tree;
    const Bytes original = defaultBytes();
    writeFile(tree.path("config.bin"), original);
    ASSERT_EQ(::chmod(tree.path("config.bin").c_str(), 0444), 0);
    _FILEDATA record{};
    ASSERT_TRUE(LoadFileData(tree.path("config.bin"), &record));
    record.gsen_y_threshold = 60;
    FinalizeFileData(&record);
    // refused, even for root, whose writes permissions would not stop
    EXPECT_EQ(SaveFileData(&record, tree.path("config.bin")), std::string("msg.file_open_fail"));
    EXPECT_EQ(readFile(tree.path("config.bin")), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.root()), {}), 1);

    // a link to a config.bin kept elsewhere stays a link; the file it names gets the record
    ASSERT_EQ(::chmod(tree.path("config.bin").c_str(), 0644), 0);
    tree.mkdir("card");
    std::filesystem::create_symlink(tree.path("config.bin"), tree.path("card/config.bin"));
    ASSERT_EQ(SaveFileData(&record, tree.path("card/config.bin")), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("card/config.bin")));
    EXPECT_EQ(u32At(readFile(tree.path("config.bin")), 92), 60u);
    // a FIFO in its place is not replaced either
    ASSERT_EQ(::mkfifo(tree.path("card/fifo.bin").c_str(), 0600), 0);
    EXPECT_EQ(SaveFileData(&record, tree.path("card/fifo.bin")), std::string("msg.file_open_fail"));
}

TEST(FileDataLoad, AFifoOrADeviceIsRefusedAtOnce) {
    test::TempTree tree;
    const std::string fifo = tree.path("config.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    _FILEDATA record{};
    EXPECT_FALSE(LoadFileData(fifo, &record)); // returns: nobody writes to the FIFO
    EXPECT_FALSE(LoadFileData("/dev/zero", &record));
}

// A save killed half-way (here by the file-size limit) leaves its new file beside the old;
// the next load or save of that folder removes it, once it is clearly abandoned.
TEST(FileDataSave, WhatAKilledSaveLeftIsRemovedLater) {
    test::TempTree tree;
    const std::string path = tree.path("config.bin");
    _FILEDATA record{};
    InitFileData(&record);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const struct rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        SaveFileData(&record, path); // SIGXFSZ ends the process at the 101st byte
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(tree.root()))
        left.push_back(entry.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].filename().string().starts_with(".config.bin."));
    EXPECT_FALSE(LoadFileData(path, &record)); // a save now running could own it: it stays
    EXPECT_TRUE(fs::exists(left[0]));
    const struct timeval old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    ASSERT_EQ(::utimes(left[0].c_str(), old), 0);
    EXPECT_FALSE(LoadFileData(path, &record));
    EXPECT_FALSE(fs::exists(left[0]));

    // with SIGXFSZ ignored, as the programs have it, the write fails and nothing is left
    const pid_t ignoring = ::fork();
    ASSERT_GE(ignoring, 0);
    if (ignoring == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(SaveFileData(&record, path) ? 3 : 0);
    }
    ASSERT_EQ(::waitpid(ignoring, &status, 0), ignoring);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3); // reported as a failure
    EXPECT_TRUE(fs::is_empty(tree.root()));
}

TEST(FileDataSave, DefaultFileAfterAFormatHasNoChecksum) {
    TempTree tree;
    ASSERT_EQ(SaveDefaultFileData(tree.path("config.bin")), std::nullopt);
    const Bytes b = readFile(tree.path("config.bin"));
    ASSERT_EQ(b.size(), kFileDataSize);
    EXPECT_EQ(u16At(b, 2), 0);
    EXPECT_EQ(u32At(b, 168), 0u);
    EXPECT_EQ(u32At(b, 172), 0u);
    EXPECT_EQ(u32At(b, 244), 0u);
    EXPECT_EQ(b, defaultBytes());
}

TEST(FileDataTimeZone, OffsetsFindTheirIndex) {
    EXPECT_EQ(timeZoneIndexForOffset(0), 14);
    EXPECT_EQ(timeZoneIndexForOffset(5 * 3600 + 1800), 22);
    EXPECT_EQ(timeZoneIndexForOffset(-(3 * 3600 + 1800)), 10);
    EXPECT_EQ(timeZoneIndexForOffset(5 * 3600 + 45 * 60), 23);
    EXPECT_EQ(timeZoneIndexForOffset(-16200), 8); // -430
    EXPECT_EQ(timeZoneIndexForOffset(14 * 3600), -1);
    EXPECT_EQ(timeZoneIndexForOffset(-12 * 3600), 0);
    EXPECT_EQ(timeZoneIndexForOffset(13 * 3600), 33);

    // the computer's own zone, set per test through TZ
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    const std::pair<const char*, int32_t> zones[] = {
        {"UTC", 14}, {"Asia/Kolkata", 22}, {"Asia/Kathmandu", 23}, {"Pacific/Kiritimati", -1}, {"<-0330>3:30", 10}};
    for (auto [zone, index] : zones) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(FindLocalTimeZoneIndex(), index) << zone;
    }
    if (saved)
        setenv("TZ", before.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
