// SPDX-License-Identifier: GPL-3.0-or-later
// Following a plan's boxes through a clip: each tracked box from each key forward to halfway to
// the next and backward to halfway to the one before (from the first key back to the clip's
// start), with OpenCV's KCF tracker on a reduced grey picture. Where the tracker loses what it
// followed, the box is held where it was last seen, widened as the seconds pass, and the frames
// are marked lost: a box is never left out of a frame. Also: the boxes Suggest offers, and a
// still picture redacted as the export redacts it.
#pragma once

#include "redaction/ZLXRedaction.h"

#include <opencv2/core.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace daxo {

// The frames of one channel of a clip, kRedactionRate a second from its start, grey, at a
// reduced size.
class ZLXFrameSource {
public:
    virtual ~ZLXFrameSource() = default;
    virtual cv::Size size() const = 0;      // the frames' size
    virtual ZLXPictureSize source() const = 0; // the recording's picture the boxes are given in
    // Frames first .. first + count - 1; fewer only where the channel ends or cannot be read.
    virtual std::vector<cv::Mat> read(int64_t first, int64_t count) = 0;
};

// A channel's pieces of recordings in clip order, decoded by ffmpeg (a separate process) into
// frames `width` wide.
struct ZLXChannelPiece {
    std::string path;
    double from = 0, to = 0; // seconds of the recording
};
std::unique_ptr<ZLXFrameSource> ffmpegFrames(std::vector<ZLXChannelPiece> pieces, ZLXPictureSize source,
                                             int width = 640);

// A clip's two channels as pieces of recordings (a gap, without a path, where a recording has
// no rear partner), their pictures' sizes (0 x 0 for a channel the clip lacks) and its length.
struct ZLXClipChannels {
    std::vector<ZLXChannelPiece> front, rear;
    ZLXRedactionBounds bounds;
};
ZLXClipChannels clipChannels(const std::vector<ZLXClipSegment>& segments);

// The picture of a channel at a moment of the clip, BGR, `width` wide at most; empty when the
// channel has no recording there or it cannot be read.
cv::Mat channelPicture(const std::vector<ZLXChannelPiece>& pieces, double t, ZLXPictureSize source, int width = 1280);

// What following needs: the clip's length and each channel's frames (null for a channel the
// clip does not have). The passes (a channel forward, a channel backward) run side by side on
// threads of their own, each reading its frames. `progress` gets 0..1, from those threads one
// at a time, and returns false to stop; stopped, the result is empty.
struct ZLXFollowResult {
    std::optional<ZLXRedactionPaths> paths;
    std::string error;
};
ZLXFollowResult followBoxes(const ZLXRedactionPlan& plan, double length, ZLXFrameSource* front, ZLXFrameSource* rear,
                            const std::function<bool(double)>& progress = {});

// The frames a backward or forward pass holds in memory at once.
inline constexpr int64_t kFollowWindow = 150;

// Boxes the detectors Debian ships find in a picture (BGR): faces (frontal and profile), and
// number plates, which are only ever offered, never applied unasked.
struct ZLXSuggestion {
    ZLXBoxRect rect;
    bool plate = false;
};
// `cascades`: the folder of opencv-data's Haar cascades. Empty, with `error`, when none loads.
std::vector<ZLXSuggestion> suggestBoxes(const cv::Mat& picture, const std::string& cascades, std::string* error = nullptr);
std::string defaultCascadeFolder();

// Blurs or pixelates the boxes in a picture (BGR or grey), as the export does in the clip.
void redactPicture(cv::Mat& picture, const std::vector<ZLXBoxRect>& boxes, ZLXRedactionStyle style);

} // namespace daxo
