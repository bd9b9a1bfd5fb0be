// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever a boxes file holds, read against a clip of ten seconds: what is accepted lies inside
// the clip and its pictures, writes back to a file that reads the same, and makes masks that
// stay within their grid.
#include "redaction/ZLXRedaction.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace daxo;
    const ZLXRedactionBounds bounds{10.0, {1920, 1080}, {1280, 720}};
    const ZLXRedactionParse parsed = parseRedaction(std::string(reinterpret_cast<const char*>(data), size), bounds);
    if (!parsed.plan) {
        if (parsed.error.empty())
            __builtin_trap(); // a refusal always says why
        return 0;
    }
    ZLXRedactionPaths paths;
    paths.frames = redactionFrames(bounds.length);
    for (const ZLXRedactionBox& box : parsed.plan->boxes) {
        const ZLXPictureSize picture = box.channel == ZLXRedactionChannel::Front ? bounds.front : bounds.rear;
        for (size_t k = 0; k < box.keys.size(); ++k) {
            const ZLXRedactionKey& key = box.keys[k];
            if (key.t < 0 || key.t > bounds.length + 1e-6 || (k > 0 && key.t < box.keys[k - 1].t))
                __builtin_trap();
            if (!key.end && (key.rect.x < 0 || key.rect.y < 0 || key.rect.right() > picture.width ||
                             key.rect.bottom() > picture.height || key.rect.empty()))
                __builtin_trap();
        }
        paths.channels.push_back(box.channel);
        paths.paths.push_back(heldPath(box, paths.frames));
    }
    const ZLXRedactionParse again = parseRedaction(redactionJson(*parsed.plan), bounds);
    if (!again.plan || again.plan->boxes.size() != parsed.plan->boxes.size())
        __builtin_trap();
    ZLXClipOptions options;
    std::vector<uint8_t> mask;
    const ZLXMaskGrid grid = maskGrid(clipPictureSize(options.layout));
    for (const double t : {0.0, 5.0, 10.0}) {
        redactionMask(paths, t, grid, channelPlacement(options, ZLXRedactionChannel::Front, bounds.front, true),
                      channelPlacement(options, ZLXRedactionChannel::Rear, bounds.rear, true), mask);
        if (mask.size() != size_t(grid.columns) * size_t(grid.rows))
            __builtin_trap();
    }
    return 0;
}
