// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails of recordings: which picture stands for a moment of a file, where it is kept on
// disk, and how the ffmpeg program makes it. A thumbnail is the key frame at or before the
// moment; it is kept by the file's identity (path, size, modification time), so a file written
// again gets new ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

struct ZLXThumbnailKey {
    std::string path;
    int64_t size = 0;
    int64_t modified = 0; // nanoseconds
    int64_t second = 0;   // the whole second of the moment
    auto operator<=>(const ZLXThumbnailKey&) const = default;
};

// The key of the regular file at `path` for the moment `seconds`; none when it is not one.
std::optional<ZLXThumbnailKey> thumbnailKeyOf(const std::string& path, double seconds);

// The name the thumbnail is kept under in the cache folder: 16 hexadecimal digits of the key's
// hash and ".jpg".
std::string thumbnailFileName(const ZLXThumbnailKey& key);

// "$XDG_CACHE_HOME/daxo-viewer" (else under ~/.cache): where the program keeps what it can
// make again (the index of recordings, the thumbnails).
std::string programCacheFolder();
// Its "thumbnails" folder.
std::string defaultThumbnailFolder();

// Keeps the thumbnails of `folder` within `maxBytes`: the pictures used longest ago (by their
// modification time, which a use renews) are removed first. Only names thumbnailFileName
// gives are touched; links, folders and other files are left alone. The bytes removed.
uint64_t pruneThumbnailFolder(const std::string& folder, uint64_t maxBytes);
// Marks the picture at `file` as just used.
void touchThumbnail(const std::string& file);

// The width thumbnails are made at; the height keeps the picture's proportions.
inline constexpr int kThumbnailWidth = 320;

// The arguments after "ffmpeg" that write one JPEG picture of the key frame at or before
// `seconds` of `path` to standard output: only key frames are decoded, the sound is not read.
std::vector<std::string> thumbnailFfmpegArguments(const std::string& path, double seconds);

} // namespace daxo
