// SPDX-License-Identifier: GPL-3.0-or-later
// The camera card among the USB volumes, sizes as short texts, and the clock-setup file.
#include "../support/TempTree.h"
#include "card/TKUSBDiskEntity.h"
#include "card/ZLXTimeSetupFile.h"

#include <fstream>
#include <sys/stat.h>

#include <cstring>
#include <gtest/gtest.h>
#include <set>

using namespace daxo;

namespace {

TKUSBDiskEntity volume(const std::string& name, const std::string& mount, bool writable) {
    return TKUSBDiskEntity(name, mount, "/dev/sdx1", std::nullopt, 1ull << 30, writable, false, "/dev/sdx");
}

TEST(CardChoice, FourPassesThenTheFirst) {
    const std::set<std::string> files{"/media/b/config.bin"};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    // two DAXO cards: the one holding config.bin wins
    auto card = findCardDisk({volume("DAXO", "/media/a", true), volume("DAXO", "/media/b", true)}, exists);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->mountedURL(), "/media/b");
    // a locked DAXO card comes before a writable stick
    card = findCardDisk({volume("STICK", "/media/s", true), volume("DAXO", "/media/l", false)}, exists);
    EXPECT_EQ(card->mountedURL(), "/media/l");
    // a writable DAXO card before a locked one
    card = findCardDisk({volume("DAXO", "/media/l", false), volume("DAXO", "/media/w", true)}, exists);
    EXPECT_EQ(card->mountedURL(), "/media/w");
    // no DAXO: the first writable, else the first at all
    card = findCardDisk({volume("A", "/media/1", false), volume("B", "/media/2", true)}, exists);
    EXPECT_EQ(card->mountedURL(), "/media/2");
    card = findCardDisk({volume("LOCKED", "/media/x", false)}, exists);
    EXPECT_EQ(card->mountedURL(), "/media/x");
    EXPECT_FALSE(findCardDisk({}, exists));
    // names compare exactly
    card = findCardDisk({volume("daxo", "/media/1", false), volume("DAXO", "/media/2", false)}, exists);
    EXPECT_EQ(card->mountedURL(), "/media/2");
}

TEST(CardChoice, DisplayString) {
    EXPECT_EQ(TKUSBDiskEntity("DAXO", "/m", "/dev/sdb1", std::string("Card Reader"), 31914983424ull, true,
                              false, "/dev/sdb").displayString(), "[30 GB] DAXO <Card Reader>");
    EXPECT_EQ(TKUSBDiskEntity("DAXO", "/m", "/dev/sdb1", std::nullopt, 7948206080ull, true, true, "/dev/sdb")
                  .displayString(), "[7.4 GB] DAXO ");
}

TEST(ByteSize, ExamplesAndRounding) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0 B"},          {1, "1 B"},         {1023, "1023 B"},     {1024, "1.0 kB"},
        {1536, "1.5 kB"},    {1945, "1.9 kB"},   {10239, "10 kB"},     {10240, "10 kB"},
        {1022976, "999 kB"}, {1048064, "1.0 MB"}, {1048575, "1.0 MB"}, {7948206080ull, "7.4 GB"},
        {31914983424ull, "30 GB"}, {1024000, "1.0 MB"}, {2047, "2.0 kB"}, {UINT64_MAX, "16 EB"}};
    for (auto [n, text] : cases)
        EXPECT_EQ(byteSizeString(n), text) << n;
}

TEST(ByteSize, NeverWritesPastSixCharacters) {
    // every whole part and remainder of the first units, and the largest counts
    for (uint64_t n = 0; n < (1ull << 22); n += 7) {
        char text[8];
        std::memset(text, '#', sizeof text);
        formatByteSize(n, reinterpret_cast<char(&)[7]>(text));
        ASSERT_EQ(text[7], '#') << n;
        ASSERT_LE(std::strlen(text), 6u) << n;
    }
    for (uint64_t n = UINT64_MAX; n > UINT64_MAX - 5000; --n)
        ASSERT_LE(byteSizeString(n).size(), 6u);
}

TEST(ClusterSize, SevenGibibytesIsTheBoundary) {
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(7516192767ull), 32);
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(7516192768ull), 128);
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(31914983424ull), 128);
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(0), 32);
    // shown as the real cluster size with 512-byte sectors, not the sector count
    EXPECT_EQ(allocationUnitText(32), "16 KB");
    EXPECT_EQ(allocationUnitText(128), "64 KB");
}

} // namespace

TEST(TimeSetupFile, NineteenBytesAtTheStartOfTheFile) {
    daxo::test::TempTree tree;
    const daxo::ZLXClockTime t{2025, 1, 2, 7, 8, 9};
    const std::string path = tree.path("timeset.cfg");
    ASSERT_EQ(daxo::writeTimeSetupFile(path, t), std::nullopt);
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, "2025/01/02 07:08:09"); // 19 bytes, no line end
    // an existing 20-byte file keeps its 20th byte
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "1999/12/31 23:59:59\n";
    }
    ASSERT_EQ(daxo::writeTimeSetupFile(path, t), std::nullopt);
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), "2025/01/02 07:08:09\n");
    // a failure is told, not confirmed
    EXPECT_NE(daxo::writeTimeSetupFile(tree.path("missing/timeset.cfg"), t), std::nullopt);
    ASSERT_EQ(::mkfifo(tree.path("fifo.cfg").c_str(), 0600), 0);
    EXPECT_NE(daxo::writeTimeSetupFile(tree.path("fifo.cfg"), t), std::nullopt); // and returns at once
}
