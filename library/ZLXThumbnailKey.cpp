// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXThumbnailKey.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {

std::optional<ZLXThumbnailKey> thumbnailKeyOf(const std::string& path, double seconds) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !std::isfinite(seconds))
        return std::nullopt;
    ZLXThumbnailKey key;
    key.path = path;
    key.size = int64_t(st.st_size);
    key.modified = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    key.second = int64_t(std::floor(std::max(0.0, seconds)));
    return key;
}

std::string thumbnailFileName(const ZLXThumbnailKey& key) {
    // FNV-1a over the fields, each ended by a zero byte: stable from one run to the next
    uint64_t hash = 0xcbf29ce484222325ull;
    auto add = [&](const std::string& text) {
        for (const char c : text + '\0') {
            hash ^= uint8_t(c);
            hash *= 0x100000001b3ull;
        }
    };
    add(key.path);
    add(std::to_string(key.size));
    add(std::to_string(key.modified));
    add(std::to_string(key.second));
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.jpg", static_cast<unsigned long long>(hash));
    return name;
}

std::string programCacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string base = cache && *cache == '/' ? cache : std::string();
    if (base.empty()) {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.cache";
    }
    return base + "/daxo-viewer";
}

std::string defaultThumbnailFolder() {
    return programCacheFolder() + "/thumbnails";
}

namespace {

bool isThumbnailName(const char* name) {
    if (std::strlen(name) != 20 || std::strcmp(name + 16, ".jpg") != 0)
        return false;
    return std::all_of(name, name + 16, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

} // namespace

uint64_t pruneThumbnailFolder(const std::string& folder, uint64_t maxBytes) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    struct Picture {
        int64_t used;
        uint64_t bytes;
        std::string name;
    };
    std::vector<Picture> pictures;
    uint64_t total = 0;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (!isThumbnailName(entry->d_name) || ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        const uint64_t bytes = uint64_t(st.st_size);
        pictures.push_back({int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec, bytes, entry->d_name});
        total += bytes;
    }
    uint64_t removed = 0;
    if (total > maxBytes) {
        std::sort(pictures.begin(), pictures.end(), [](const Picture& a, const Picture& b) { return a.used < b.used; });
        for (const Picture& picture : pictures) {
            if (total - removed <= maxBytes)
                break;
            if (::unlinkat(dirFd, picture.name.c_str(), 0) == 0)
                removed += picture.bytes;
        }
    }
    ::closedir(dir);
    return removed;
}

void touchThumbnail(const std::string& file) {
    ::utimensat(AT_FDCWD, file.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

std::vector<std::string> thumbnailFfmpegArguments(const std::string& path, double seconds) {
    char at[32];
    std::snprintf(at, sizeof at, "%.3f", std::max(0.0, seconds));
    // "file:" keeps a name with a colon or a leading dash from being read as anything else
    return {"-nostdin", "-hide_banner", "-loglevel", "error", "-noaccurate_seek", "-ss", at, "-skip_frame", "nokey",
            "-skip_loop_filter", "all", // a picture this small shows no difference; the decode is quicker
            // the key frame before the moment stands before the cut: passed on, not dropped
            "-i", "file:" + path, "-an", "-sn", "-frames:v", "1", "-fps_mode", "passthrough", "-vf",
            "scale=" + std::to_string(kThumbnailWidth) + ":-2", "-f", "image2pipe", "-c:v", "mjpeg", "-q:v", "4", "-"};
}

} // namespace daxo
