// SPDX-License-Identifier: GPL-3.0-or-later
// What a format is about to erase, looked at without writing a byte: an image file's content
// read from its first sectors, whether anything else has the image or the device in use, and
// whether the camera's FAT32 fits the size at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

struct ZLXCardImage {
    enum class Content {
        Fat,           // a FAT12, FAT16 or FAT32 file system
        ExFat,         // an exFAT one (large cards leave the factory with it)
        OtherOrBroken, // a disk's boot sector, but no FAT the computer can read
        Blank,         // nothing but zeros where a file system starts
    };
    Content content = Content::Blank;
    std::string fatType; // "FAT12", "FAT16", "FAT32" for a FAT
    std::string label;   // the boot sector's volume label, blanks trimmed; "" for none
    uint64_t size = 0;
};

struct ZLXCardImageCheck {
    std::optional<ZLXCardImage> image;
    std::string refusal; // why the file is no card image, when it is not
};

// Reads the start of `path` and says whether it is an image of a card: a regular file of whole
// 512-byte sectors whose first sector is a FAT, exFAT or other disk boot sector, or whose
// start is blank. Anything else (a document, an archive, random bytes) is refused.
ZLXCardImageCheck identifyCardImage(const std::string& path);

// The content of a boot sector and what follows (at least 512 bytes), as identifyCardImage
// judges it; none when it is no card's.
std::optional<ZLXCardImage> cardImageOfBytes(const uint8_t* bytes, size_t size, uint64_t fileSize);

// The clusters mkfs.fat makes for the camera's FAT32 (32 reserved sectors, two FATs) on
// `bytes` with `sectorsPerCluster`.
uint64_t fat32ClusterCount(uint64_t bytes, int64_t sectorsPerCluster);
// Why the camera's FAT32 cannot be made on `bytes` (FAT32 needs at least 65,525 clusters),
// else nothing.
std::optional<std::string> fat32SizeRefusal(uint64_t bytes, int64_t sectorsPerCluster);

// Who has the image file in use, each as a sentence: a loop device (and where that is
// mounted), another process holding it open (a FUSE file system serving it, a virtual
// machine), with the mount point it serves when it serves one. Empty when nobody does.
std::vector<std::string> imageFileUsers(const std::string& path);

// Where a device (or, for a whole disk, any of its partitions) is mounted, read from
// `mountInfo` (the text of /proc/self/mountinfo).
std::vector<std::string> deviceMountPoints(const std::string& device, const std::string& mountInfo);
std::string readMountInfo();

} // namespace daxo
