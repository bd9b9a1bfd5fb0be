// SPDX-License-Identifier: GPL-3.0-or-later
// File names from a card: the recording grammar, the acceptance rule and the pairing key.
#include "library/ZLXMediaList.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace daxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const ZLXMedia media(path);
    const std::string group = media.mediaGroupName();
    const std::string name = media.fileName();
    if (media.compareDate(media) != 0)
        std::abort();
    if (group.size() > media.mediaName().size())
        std::abort();
    (void)media.yyyymmddhhmiss();
    (void)mediaDirectionOfPlayerMedia(path);

    ZLXMediaList list;
    if (auto accepted = ZLXMediaList::createMediaByPath(path)) {
        list.addMedia(accepted);
        if (!list.findMediaPairWithFileName(accepted->fileName()))
            std::abort(); // every accepted record has a pair under its own name
    }
    (void)list.findMediaPairWithFileName(path);
    return 0;
}
