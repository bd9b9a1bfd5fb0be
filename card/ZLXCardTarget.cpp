// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXCardTarget.h"

#include "library/ZLXFileIO.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {

namespace {

constexpr size_t kSector = 512;
constexpr size_t kLookedAt = 64 * 1024; // where a file system keeps its first structures

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string trimmed(const uint8_t* p, size_t n) {
    std::string text(reinterpret_cast<const char*>(p), n);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            c = '?';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text == "NO NAME" ? std::string() : text;
}

// A FAT boot sector's parameters, when they are those of a FAT.
std::optional<ZLXCardImage> fatOf(const uint8_t* b) {
    const uint32_t bytesPerSector = le16(b + 11);
    const uint32_t perCluster = b[13];
    const uint32_t reserved = le16(b + 14);
    const uint32_t fats = b[16];
    const uint32_t rootEntries = le16(b + 17);
    const uint32_t total = le16(b + 19) ? le16(b + 19) : le32(b + 32);
    const uint32_t fatSize = le16(b + 22) ? le16(b + 22) : le32(b + 36);
    const uint8_t media = b[21];
    const bool powerOfTwo = perCluster && !(perCluster & (perCluster - 1));
    if ((bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 &&
         bytesPerSector != 4096) ||
        !powerOfTwo || reserved == 0 || fats == 0 || fats > 2 || total == 0 || fatSize == 0 ||
        (media != 0xF0 && media < 0xF8))
        return std::nullopt;
    const uint64_t rootSectors = (uint64_t(rootEntries) * 32 + bytesPerSector - 1) / bytesPerSector;
    const uint64_t meta = reserved + uint64_t(fats) * fatSize + rootSectors;
    if (meta >= total)
        return std::nullopt;
    const uint64_t clusters = (total - meta) / perCluster;
    ZLXCardImage image;
    image.content = ZLXCardImage::Content::Fat;
    image.fatType = clusters < 4085 ? "FAT12" : clusters < 65525 ? "FAT16" : "FAT32";
    const bool fat32 = image.fatType == "FAT32";
    if (b[fat32 ? 66 : 38] == 0x29)
        image.label = trimmed(b + (fat32 ? 71 : 43), 11);
    return image;
}

} // namespace

std::optional<ZLXCardImage> cardImageOfBytes(const uint8_t* bytes, size_t size, uint64_t fileSize) {
    if (size < kSector)
        return std::nullopt;
    std::optional<ZLXCardImage> image;
    if (std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; })) {
        image = ZLXCardImage{ZLXCardImage::Content::Blank, {}, {}, 0};
    } else if (std::memcmp(bytes + 3, "EXFAT   ", 8) == 0) {
        image = ZLXCardImage{ZLXCardImage::Content::ExFat, {}, {}, 0};
    } else if (bytes[510] == 0x55 && bytes[511] == 0xAA) {
        image = fatOf(bytes);
        if (!image)
            image = ZLXCardImage{ZLXCardImage::Content::OtherOrBroken, {}, {}, 0};
    }
    if (image)
        image->size = fileSize;
    return image;
}

ZLXCardImageCheck identifyCardImage(const std::string& path) {
    ZLXCardImageCheck check;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        check.refusal = path + " is a link; give the image file itself.";
        return check;
    }
    const int fd = openRegularFile(path);
    if (fd < 0) {
        check.refusal = errno == EINVAL ? path + " is not a regular file."
                                        : path + " cannot be read: " + std::strerror(errno) + ".";
        return check;
    }
    struct stat st {};
    ::fstat(fd, &st);
    const uint64_t size = uint64_t(st.st_size);
    std::string start(std::min<uint64_t>(size, kLookedAt), '\0');
    start.resize(readFullyAt(fd, 0, start.data(), start.size()));
    ::close(fd);
    if (size == 0 || size % kSector != 0) {
        check.refusal = path + " is not a card image: its " + std::to_string(size) +
                        " bytes are no whole number of 512-byte sectors.";
        return check;
    }
    check.image =
        cardImageOfBytes(reinterpret_cast<const uint8_t*>(start.data()), start.size(), size);
    if (!check.image)
        check.refusal =
            path +
            " is not a card image: it starts with neither a disk's boot sector nor blank sectors.";
    return check;
}

uint64_t fat32ClusterCount(uint64_t bytes, int64_t sectorsPerCluster) {
    constexpr uint64_t kReserved = 32, kFats = 2;
    const uint64_t sectors = bytes / kSector;
    if (sectorsPerCluster <= 0 || sectors <= kReserved)
        return 0;
    const auto perCluster = uint64_t(sectorsPerCluster);
    // each FAT holds four bytes for every cluster and the two first entries
    uint64_t clusters = (sectors - kReserved) / perCluster;
    for (int round = 0; round < 4; ++round) {
        const uint64_t fatSectors = ((clusters + 2) * 4 + kSector - 1) / kSector;
        const uint64_t meta = kReserved + kFats * fatSectors;
        clusters = sectors > meta ? (sectors - meta) / perCluster : 0;
    }
    return clusters;
}

std::optional<std::string> fat32SizeRefusal(uint64_t bytes, int64_t sectorsPerCluster) {
    constexpr uint64_t kFewest = 65525;
    const uint64_t clusters = fat32ClusterCount(bytes, sectorsPerCluster);
    if (clusters >= kFewest)
        return std::nullopt;
    const uint64_t kb = uint64_t(sectorsPerCluster) * kSector / 1024;
    const uint64_t needed =
        (kFewest * kb * 1024 + 32 * kSector + 2 * ((kFewest + 2) * 4 + kSector)) / (1 << 20) + 1;
    return "The card is too small for the camera's FAT32: with " + std::to_string(kb) +
           " KB clusters it holds " + std::to_string(clusters) +
           " clusters, and FAT32 needs at least 65,525 (a card of " + std::to_string(needed) +
           " MB or more).";
}

std::string readMountInfo() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// mountinfo escapes blanks and backslashes in paths as three octal digits (\040); anything
// else stays as it is.
std::string unescaped(const std::string& field) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) && octal(field[i + 3])) {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Mount {
    std::string point, type, source;
};

std::vector<Mount> mountsOf(const std::string& mountInfo) {
    std::vector<Mount> mounts;
    std::istringstream lines(mountInfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string f; fields >> f;)
            parts.push_back(f);
        const auto dash = std::find(parts.begin(), parts.end(), "-");
        if (parts.size() < 5 || dash == parts.end() || parts.end() - dash < 3)
            continue;
        mounts.push_back({unescaped(parts[4]), *(dash + 1), unescaped(*(dash + 2))});
    }
    return mounts;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool isPartitionOf(const std::string& name, const std::string& disk) {
    if (name.size() <= disk.size() || name.compare(0, disk.size(), disk) != 0)
        return false;
    size_t i = disk.size();
    // a disk whose name ends in a digit numbers its partitions after a "p" (mmcblk0p1,
    // loop0p1, nvme0n1p1); sdb's follow at once (sdb1), and sdb1 has none (sdb10 is a sibling)
    if (std::isdigit(static_cast<unsigned char>(disk.back()))) {
        if (name[i] != 'p')
            return false;
        ++i;
    }
    return i < name.size() && std::all_of(name.begin() + long(i), name.end(), [](char c) {
               return std::isdigit(static_cast<unsigned char>(c));
           });
}

} // namespace

std::vector<std::string> deviceMountPoints(const std::string& device,
                                           const std::string& mountInfo) {
    std::vector<std::string> points;
    for (const Mount& m : mountsOf(mountInfo)) {
        if (m.source == device || isPartitionOf(m.source, device))
            points.push_back(m.point);
    }
    return points;
}

std::vector<std::string> imageFileUsers(const std::string& path) {
    std::vector<std::string> users;
    struct stat image {};
    if (::stat(path.c_str(), &image) != 0)
        return users;
    const std::string mountInfo = readMountInfo();
    const std::vector<Mount> mounts = mountsOf(mountInfo);

    // loop devices backed by the file
    if (DIR* block = ::opendir("/sys/block")) {
        while (const dirent* e = ::readdir(block)) {
            const std::string name = e->d_name;
            if (name.rfind("loop", 0) != 0)
                continue;
            const std::string backing = firstLine("/sys/block/" + name + "/loop/backing_file");
            struct stat st {};
            if (backing.empty() || ::stat(backing.c_str(), &st) != 0 || !sameFile(st, image))
                continue;
            std::string sentence = "it is attached to /dev/" + name;
            for (const std::string& point : deviceMountPoints("/dev/" + name, mountInfo))
                sentence += ", mounted at " + point;
            users.push_back(sentence);
        }
        ::closedir(block);
    }

    // processes holding it open
    const pid_t self = ::getpid();
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(proc)) {
            char* end = nullptr;
            const long pid = std::strtol(e->d_name, &end, 10);
            if (pid <= 0 || *end || pid == self)
                continue;
            const std::string base = "/proc/" + std::string(e->d_name);
            DIR* fds = ::opendir((base + "/fd").c_str());
            if (!fds)
                continue; // another user's process, or gone
            bool holds = false, fuse = false;
            while (const dirent* f = ::readdir(fds)) {
                struct stat st {};
                if (f->d_name[0] == '.' || ::fstatat(::dirfd(fds), f->d_name, &st, 0) != 0)
                    continue;
                holds = holds || sameFile(st, image);
                char target[64] = {};
                const ssize_t n = ::readlinkat(::dirfd(fds), f->d_name, target, sizeof target - 1);
                fuse = fuse || (n > 0 && std::string(target, size_t(n)) == "/dev/fuse");
            }
            ::closedir(fds);
            if (!holds)
                continue;
            const std::string command = firstLine(base + "/comm");
            std::string sentence = "it is open in " +
                                   (command.empty() ? std::string("a process") : command) +
                                   " (process " + std::to_string(pid) + ")";
            if (fuse) {
                // the mount point a FUSE file system serves is one of its arguments
                std::ifstream cmdline(base + "/cmdline");
                std::string arg;
                char cwd[4096] = {};
                const ssize_t n = ::readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
                const std::string dir = n > 0 ? std::string(cwd, size_t(n)) : std::string();
                while (std::getline(cmdline, arg, '\0')) {
                    // compared as text: a look into the mount itself could hang on a stuck server
                    std::string absolute = !arg.empty() && arg[0] == '/' ? arg : dir + "/" + arg;
                    while (absolute.size() > 1 && absolute.back() == '/')
                        absolute.pop_back();
                    // a server that went to the background left its starting folder: a relative
                    // argument then matches the end of a mount point of its own type
                    const bool relative = !arg.empty() && arg[0] != '/';
                    std::string tail = "/" + arg;
                    while (tail.size() > 1 && tail.back() == '/')
                        tail.pop_back();
                    for (const Mount& m : mounts) {
                        if (m.type.rfind("fuse", 0) != 0)
                            continue;
                        const bool ownType = m.type == "fuse." + command;
                        if (m.point == absolute ||
                            (relative && ownType && m.point.size() > tail.size() &&
                             m.point.compare(m.point.size() - tail.size(), tail.size(), tail) ==
                                 0)) {
                            sentence += ", which serves it mounted at " + m.point;
                            break;
                        }
                    }
                }
            }
            users.push_back(sentence);
        }
        ::closedir(proc);
    }
    return users;
}

} // namespace daxo
