// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a track stored in the index of recordings read before: refused unless they are
// exactly a track, and a track read back stores as the same bytes.
#include "telemetry/ZLXTrackIndex.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace daxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto track = decodeTrack(bytes);
    if (track && encodeTrack(*track) != bytes)
        std::abort();
    return 0;
}
