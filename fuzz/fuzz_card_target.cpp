// SPDX-License-Identifier: GPL-3.0-or-later
// What the format reads before it asks: a boot sector and what follows it (any bytes from an
// image file), and the mount table it looks in for the device.
#include "card/ZLXCardTarget.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace daxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t fileSize = uint64_t(size) * 512;
    if (const auto image = cardImageOfBytes(data, size, fileSize)) {
        if (image->size != fileSize || image->label.size() > 11)
            std::abort();
        if (image->content == ZLXCardImage::Content::Fat && image->fatType.empty())
            std::abort();
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& point : deviceMountPoints("/dev/sdb", text)) {
        if (point.size() > text.size())
            std::abort(); // a point is never longer than the table it came from
    }
    (void)deviceMountPoints("/dev/mmcblk0", text);
    for (int64_t perCluster : {32, 128})
        (void)fat32SizeRefusal(uint64_t(size) << 20, perCluster);
    return 0;
}
