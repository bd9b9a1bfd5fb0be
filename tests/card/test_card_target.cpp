// SPDX-License-Identifier: GPL-3.0-or-later
// What a format looks at before it writes a byte, and the file handling every writer shares:
// image identification, the FAT32 size rule against mkfs.fat itself, who has a file or device
// in use, the clock file, outputs that never replace their sources.
#include "../support/TempTree.h"
#include "card/ZLXCardTarget.h"
#include "library/ZLXFileIO.h"
#include "card/ZLXTimeSetupFile.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace daxo;

namespace {

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

std::string sized(const std::string& start, size_t size) {
    std::string bytes = start;
    bytes.resize(size, '\0');
    return bytes;
}

// mkfs.fat as the format runs it; the image made sparse first
bool makeFat(const std::string& path, uint64_t size, const std::string& extra = "") {
    if (::truncate(path.c_str(), off_t(size)) != 0) {
        std::ofstream(path).flush();
        if (::truncate(path.c_str(), off_t(size)) != 0)
            return false;
    }
    const std::string command = "mkfs.fat " + extra + " " + path + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The data clusters `fsck.fat -v` counts on an image.
uint64_t clustersOf(const std::string& image) {
    const std::string command = "fsck.fat -n -v " + image +
                                " 2>/dev/null | sed -n 's/^ *\\([0-9]*\\) data clusters.*/\\1/p'";
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[64] = {};
    const bool read = pipe && std::fgets(line, sizeof line, pipe);
    if (pipe)
        ::pclose(pipe);
    return read ? std::strtoull(line, nullptr, 10) : 0;
}

} // namespace

TEST(CardImage, OnlyCardImagesAreOfferedAndNothingIsWrittenToLookAtThem) {
    test::TempTree tree;
    std::mt19937 random(7);
    std::string noise(10 << 20, '\0');
    for (char& c : noise)
        c = char(random());
    noise[510] = 0; // no boot signature by chance
    struct Row {
        const char* name;
        std::string bytes;
        std::optional<ZLXCardImage::Content> content; // none: refused
    };
    std::string exfat = sized(std::string("\xEB\x76\x90"
                                          "EXFAT   "),
                              1 << 20);
    exfat[510] = char(0x55), exfat[511] = char(0xAA);
    std::string partitioned(1 << 20, '\0'); // a disk's boot sector with a partition table
    partitioned[446 + 4] = 0x0C, partitioned[510] = char(0x55), partitioned[511] = char(0xAA);
    const Row rows[] = {
        {"archive.zip", sized("PK\x03\x04", 628), std::nullopt},
        {"document.pdf", sized("%PDF-1.4\n", 117 * 1024),
         std::nullopt}, // whole sectors, no boot sector
        {"noise.bin", noise, std::nullopt},
        {"empty.img", std::string(), std::nullopt},
        {"blank.img", std::string(1 << 20, '\0'), ZLXCardImage::Content::Blank},
        {"exfat.img", exfat, ZLXCardImage::Content::ExFat},
        {"disk.img", partitioned, ZLXCardImage::Content::OtherOrBroken},
    };
    for (const Row& row : rows) {
        const std::string path = tree.path(row.name);
        write(path, row.bytes);
        const ZLXCardImageCheck check = identifyCardImage(path);
        EXPECT_EQ(check.image.has_value(), row.content.has_value())
            << row.name << ": " << check.refusal;
        if (check.image && row.content)
            EXPECT_EQ(check.image->content, *row.content) << row.name;
        if (!row.content)
            EXPECT_NE(check.refusal.find("not a card image"), std::string::npos) << check.refusal;
        EXPECT_EQ(bytesOf(path), row.bytes) << row.name;
    }

    // a FAT from mkfs.fat, with its label; a link to it is refused, a folder and a FIFO too
    const std::string fat = tree.path("card.img");
    ASSERT_TRUE(makeFat(fat, 64 << 20, "-F 32 -n OLD"));
    const auto check = identifyCardImage(fat);
    ASSERT_TRUE(check.image) << check.refusal;
    EXPECT_EQ(check.image->content, ZLXCardImage::Content::Fat);
    EXPECT_EQ(check.image->fatType, "FAT32");
    EXPECT_EQ(check.image->label, "OLD");
    EXPECT_EQ(check.image->size, 64u << 20);
    ASSERT_EQ(::symlink(fat.c_str(), tree.path("link.img").c_str()), 0);
    EXPECT_FALSE(identifyCardImage(tree.path("link.img")).image);
    EXPECT_FALSE(identifyCardImage(tree.path()).image);
    ASSERT_EQ(::mkfifo(tree.path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(identifyCardImage(tree.path("fifo")).image); // and returns at once
}

// The camera's FAT32 needs 65,525 clusters: the count is mkfs.fat's own, and a card too small
// for it is refused before anything runs.
TEST(CardImage, Fat32SizeRuleIsMkfsFatsCount) {
    test::TempTree tree;
    // 1 GiB is just too small: mkfs.fat makes 65,503 clusters there and only warns
    for (const auto& [size, perCluster] :
         {std::pair<uint64_t, int64_t>{1ull << 30, 32}, {1100ull << 20, 32}, {8ull << 30, 128}}) {
        const std::string image = tree.path("c.img");
        ::unlink(image.c_str());
        ASSERT_TRUE(makeFat(image, size, "-F 32 -f 2 -R 32 -a -s " + std::to_string(perCluster)));
        EXPECT_EQ(fat32ClusterCount(size, perCluster), clustersOf(image)) << size;
        EXPECT_EQ(fat32SizeRefusal(size, perCluster).has_value(), clustersOf(image) < 65525)
            << size;
    }
    const auto refusal = fat32SizeRefusal(1ull << 30, 32);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("65503 clusters"), std::string::npos) << *refusal;
    EXPECT_TRUE(fat32SizeRefusal(300ull << 20, 32));
    EXPECT_TRUE(fat32SizeRefusal(0, 32));
}

TEST(CardImage, MountsOfADeviceAndItsPartitionsOnly) {
    const std::string info = "36 25 8:17 / /media/me/DAXO\\040CARD rw,nosuid - vfat /dev/sdb1 rw\n"
                             "37 25 8:26 / /media/me/OTHER rw - vfat /dev/sdb10 rw\n"
                             "38 25 179:1 / /run/media/sd rw - vfat /dev/mmcblk0p1 rw\n"
                             "39 25 179:1 / /mnt/bind rw - vfat /dev/mmcblk0p1 rw\n"
                             "40 25 0:41 / /tmp/m rw - fuse.fusefat fusefat rw\n"
                             "garbage line\n";
    using V = std::vector<std::string>;
    EXPECT_EQ(deviceMountPoints("/dev/sdb1", info), V{"/media/me/DAXO CARD"}); // not sdb10
    EXPECT_EQ(deviceMountPoints("/dev/sdb", info), (V{"/media/me/DAXO CARD", "/media/me/OTHER"}));
    EXPECT_EQ(deviceMountPoints("/dev/mmcblk0", info), (V{"/run/media/sd", "/mnt/bind"}));
    EXPECT_EQ(deviceMountPoints("/dev/mmcblk0p1", info), (V{"/run/media/sd", "/mnt/bind"}));
    EXPECT_TRUE(deviceMountPoints("/dev/sdc", info).empty());
}

TEST(CardImage, AnotherProcessHoldingTheImageIsNamed) {
    test::TempTree tree;
    const std::string image = tree.path("card.img");
    write(image, std::string(4096, '\0'));
    EXPECT_TRUE(imageFileUsers(image).empty()); // this process's own look does not count
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(image.c_str(), O_RDWR);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(fd >= 0 ? 0 : 1);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const auto users = imageFileUsers(image);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_NE(users[0].find("(process " + std::to_string(holder) + ")"), std::string::npos)
        << users[0];
    EXPECT_TRUE(imageFileUsers(image).empty());
}

// timeset.cfg is written as config.bin is: a new file renamed over the old one. A link in its
// place is never written through, a full card keeps the old file, and only the camera's years
// and real days are taken.
TEST(TimeSetupFile, NeverThroughALinkNeverHalfWritten) {
    test::TempTree tree;
    const ZLXClockTime t{2025, 1, 2, 7, 8, 9};
    const std::string other = tree.path("other.txt"), link = tree.path("timeset.cfg");
    write(other, "somebody else's file, longer than nineteen bytes");
    ASSERT_EQ(::symlink(other.c_str(), link.c_str()), 0);
    EXPECT_NE(writeTimeSetupFile(link, t), std::nullopt);
    EXPECT_EQ(bytesOf(other), "somebody else's file, longer than nineteen bytes");

    // a card with no room: the write fails in a child limited to 10 bytes a file
    const std::string clock = tree.path("card/timeset.cfg");
    tree.mkdir("card");
    write(clock, "2020/01/01 00:00:00");
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(writeTimeSetupFile(clock, t) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0); // the failure was told
    EXPECT_EQ(bytesOf(clock), "2020/01/01 00:00:00");           // and the old file is whole
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tree.path("card")))
        ++files;
    EXPECT_EQ(files, 1u); // no new file left beside it

    for (const ZLXClockTime& bad :
         {ZLXClockTime{1, 1, 1, 0, 0, 0}, ZLXClockTime{1900, 6, 1, 0, 0, 0},
          ZLXClockTime{9999, 6, 1, 0, 0, 0}, ZLXClockTime{2023, 2, 29, 0, 0, 0},
          ZLXClockTime{2024, 4, 31, 0, 0, 0}, ZLXClockTime{2024, 5, 6, 24, 0, 0}})
        EXPECT_NE(writeTimeSetupFile(clock, bad), std::nullopt) << timeSetupText(bad);
    EXPECT_EQ(writeTimeSetupFile(clock, ZLXClockTime{2024, 2, 29, 23, 59, 59}), std::nullopt);
    EXPECT_EQ(bytesOf(clock), "2024/02/29 23:59:59");
}

TEST(OutputFile, NeverOneOfItsSourcesNeverAnExistingFileUnasked) {
    test::TempTree tree;
    const std::string source = tree.path("alwa_20240506_130709_R.MP4");
    write(source, "recording");
    ASSERT_EQ(::link(source.c_str(), tree.path("hard.mp4").c_str()), 0);
    ASSERT_EQ(::symlink(source.c_str(), tree.path("soft.mp4").c_str()), 0);
    const std::vector<std::string> sources{source};
    for (const char* name : {"alwa_20240506_130709_R.MP4", "hard.mp4", "soft.mp4"}) {
        const auto why = outputRefusal(tree.path(name), sources, true);
        ASSERT_TRUE(why) << name;
        EXPECT_NE(why->find("one of the files the export reads"), std::string::npos) << *why;
    }
    write(tree.path("old.mp4"), "old");
    EXPECT_TRUE(outputRefusal(tree.path("old.mp4"), sources, false));
    EXPECT_FALSE(outputRefusal(tree.path("old.mp4"), sources, true));
    EXPECT_TRUE(outputRefusal(tree.path(), sources, true)); // a folder
    EXPECT_FALSE(outputRefusal(tree.path("new.mp4"), sources, false));

    // the rename takes a free name only, unless asked to replace
    write(tree.path("part"), "new");
    EXPECT_FALSE(renameInto(tree.path("part"), tree.path("old.mp4"), false));
    EXPECT_EQ(bytesOf(tree.path("old.mp4")), "old");
    EXPECT_TRUE(renameInto(tree.path("part"), tree.path("free.mp4"), false));
    EXPECT_EQ(bytesOf(tree.path("free.mp4")), "new");
}

// Deeper than one open() reaches: files are still read, by descriptor when a program reads them.
TEST(OutputFile, PathsLongerThanOneOpenTakes) {
    test::TempTree tree;
    std::string deep = tree.path();
    int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 700; ++level) { // some 6 000 bytes
        ASSERT_EQ(::mkdirat(fd, "caf\xE9_folder", 0700), 0);
        const int next = ::openat(fd, "caf\xE9_folder", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        deep += "/caf\xE9_folder";
    }
    const int file = ::openat(fd, "a.mp4", O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::write(file, "whole", 5), 5);
    ::close(file);
    ::close(fd);
    const std::string path = deep + "/a.mp4";
    ASSERT_GT(path.size(), 6000u);
    const int read = openRegularFile(path);
    ASSERT_GE(read, 0);
    ::close(read);
    ZLXInheritedFiles files;
    const auto handed = files.add(path);
    ASSERT_TRUE(handed);
    EXPECT_EQ(bytesOf(*handed), "whole"); // what a child program opening the name gets
}
