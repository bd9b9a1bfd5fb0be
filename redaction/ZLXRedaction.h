// SPDX-License-Identifier: GPL-3.0-or-later
// Redaction of a clip: boxes over what must not be shown (faces, number plates), on either
// channel, each given by key boxes at moments of the clip and followed between them. Here is
// the boxes' file, where each box is at any moment once followed, and the mask that tells the
// export which pixels of its picture to blur. Toolkit-free; the following itself is in
// ZLXBoxTracker.
//
// The file:
//   {"version": 1, "style": "blur",
//    "boxes": [{"channel": "front", "track": true,
//               "keys": [{"t": 1.0, "x": 100, "y": 80, "w": 64, "h": 48},
//                        {"t": 4.5, "end": true}]}]}
// `t` in seconds from the clip's start, x y w h in the source picture's pixels. "track": false
// keeps the box where its keys put it, each held until the next. A key with "end": true ends
// the box (until a later key starts it again). "style" is "blur" (the default) or "pixelate".
#pragma once

#include "telemetry/ZLXClip.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

enum class ZLXRedactionChannel { Front, Rear };
enum class ZLXRedactionStyle { Blur, Pixelate };

struct ZLXBoxRect {
    double x = 0, y = 0, w = 0, h = 0;
    double right() const { return x + w; }
    double bottom() const { return y + h; }
    bool empty() const { return !(w > 0 && h > 0); }
    bool operator==(const ZLXBoxRect&) const = default;
};
ZLXBoxRect unite(const ZLXBoxRect& a, const ZLXBoxRect& b);

struct ZLXRedactionKey {
    double t = 0;
    ZLXBoxRect rect; // empty for an end
    bool end = false;
};

struct ZLXRedactionBox {
    ZLXRedactionChannel channel = ZLXRedactionChannel::Front;
    bool track = true;
    std::vector<ZLXRedactionKey> keys; // in time order
};

struct ZLXRedactionPlan {
    ZLXRedactionStyle style = ZLXRedactionStyle::Blur;
    std::vector<ZLXRedactionBox> boxes;
};

// The source pictures' sizes the boxes must lie in, and the clip's length their keys must lie in.
struct ZLXRedactionBounds {
    double length = 0;
    ZLXPictureSize front, rear; // a channel of size 0 x 0 is not in the clip
};

struct ZLXRedactionParse {
    std::optional<ZLXRedactionPlan> plan;
    std::string error; // why the file is refused, naming the box and key
};
// The file's text, checked against the clip: not JSON, another version, a channel that is
// neither, a box without keys, a key outside the clip's time or a box outside its picture are
// refused with the reason. Keys are put in time order.
ZLXRedactionParse parseRedaction(const std::string& text, const ZLXRedactionBounds& bounds);
// The file's text for a plan (what parseRedaction reads back).
std::string redactionJson(const ZLXRedactionPlan& plan);

// The times a channel is followed at, from 0 over the clip's length.
inline constexpr double kRedactionRate = 30;
inline int64_t redactionFrames(double length) {
    return length > 0 ? int64_t(std::ceil(length * kRedactionRate - 1e-9)) : 0;
}

// One box where it is at each frame of the clip: none where it is ended, `lost` where the
// tracker lost what it followed and the box is held (and widened) rather than left out.
struct ZLXBoxFrame {
    std::optional<ZLXBoxRect> rect;
    bool lost = false;
};
using ZLXBoxPath = std::vector<ZLXBoxFrame>;

// The frames of the clip a box has between each key and the next: [first, last) with the key
// that starts them; `forward` from the key at `first`, the rest backward from the key after.
struct ZLXBoxSpan {
    int64_t first = 0, last = 0; // frames
    size_t key = 0;
    bool present = true;         // false after an end key
};
std::vector<ZLXBoxSpan> boxSpans(const ZLXRedactionBox& box, int64_t frames);
int64_t frameOf(double t, int64_t frames);

// The path of a box that is not tracked: each key held until the next, from the clip's start
// (the first key held backward) to an end key or the clip's end.
ZLXBoxPath heldPath(const ZLXRedactionBox& box, int64_t frames);

// A held box widened by half its size for each second it has been lost, up to three times its
// size, kept within the picture.
ZLXBoxRect widenedBox(const ZLXBoxRect& held, double secondsLost, ZLXPictureSize picture);

// The boxes of a whole plan, once followed: one path per box of the plan, in its order.
struct ZLXRedactionPaths {
    std::vector<ZLXRedactionChannel> channels;
    std::vector<ZLXBoxPath> paths;
    int64_t frames = 0;
    // the frames where any box was lost, for the user to check
    std::vector<int64_t> lostFrames() const;
    // the boxes of a channel at a moment of the clip, and those of the frames either side
    std::vector<ZLXBoxRect> boxesAround(ZLXRedactionChannel channel, double t) const;
    // the boxes of a channel in the frame of a moment
    std::vector<ZLXBoxRect> boxesAt(ZLXRedactionChannel channel, double t) const;
};

// Where a channel's picture lies in the clip's picture for a layout: a source pixel (x, y)
// lands at (x0 + x * scaleX, y0 + y * scaleY). None when the layout leaves the channel out.
struct ZLXChannelPlacement {
    double x0 = 0, y0 = 0, scaleX = 1, scaleY = 1;
};
std::optional<ZLXChannelPlacement> channelPlacement(const ZLXClipOptions& options, ZLXRedactionChannel channel,
                                                    ZLXPictureSize source, bool rearInClip);

// The mask of a moment of the clip's picture: one byte a cell of `cell` x `cell` pixels of the
// clip's picture, 255 where any box of the frames around `t` touches the cell or its
// neighbours (so a box moving between two frames is covered on both), 0 elsewhere.
struct ZLXMaskGrid {
    int columns = 0, rows = 0, cell = 8;
};
ZLXMaskGrid maskGrid(ZLXPictureSize clip, int cell = 8);
void redactionMask(const ZLXRedactionPaths& paths, double t, const ZLXMaskGrid& grid,
                   const std::optional<ZLXChannelPlacement>& front, const std::optional<ZLXChannelPlacement>& rear,
                   std::vector<uint8_t>& mask);

} // namespace daxo
