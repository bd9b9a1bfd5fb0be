// SPDX-License-Identifier: GPL-3.0-or-later
// A clip of a drive: a stretch of a trip's time line, across recordings, with both channels
// composed into one picture (or one channel as recorded), encoded by the ffmpeg program.
// Here: which pieces of which files, the captions, and ffmpeg's arguments; running it is the
// caller's.
#pragma once

#include "telemetry/ZLXClipOverlay.h"
#include "telemetry/ZLXTrip.h"

#include <functional>
#include <string>
#include <vector>

namespace daxo {

enum class ZLXClipLayout {
    PictureInPicture, // the front large, the rear inset at the bottom right
    SideBySide,       // front and rear side by side
    Front,            // the front only, encoded
    Original,         // the front only as recorded: the stream copied, cut at key frames
};

// One recording's part of a clip: from `from` to `to` seconds of its files.
struct ZLXClipSegment {
    std::string front, rear; // rear empty when the group has none (front may be a rear file)
    double from = 0, to = 0;
    double length() const { return to - from; }
};

// The pieces of the trip between two times of its line; pieces shorter than a millisecond are
// left out.
std::vector<ZLXClipSegment> clipSegments(const ZLXTrip& trip, double from, double to);

// The video encoder a clip is written with: a hardware one where ffmpeg has it and the
// computer its device, else libx264.
struct ZLXVideoEncoder {
    std::string name;                    // "h264_nvenc", "h264_vaapi", "libx264"
    std::vector<std::string> globalArgs; // before the inputs (a hardware device)
    std::string filter;                  // appended to the picture's filters (an upload to the device)
    std::vector<std::string> args;       // the output's options
    std::string description;             // what the dialog and the log say
};
struct ZLXClipOptions {
    ZLXClipLayout layout = ZLXClipLayout::PictureInPicture;
    bool captions = false; // date, time, speed and position burned in at the bottom
    bool audio = true;     // the front channel's sound
    bool replace = false;  // an existing file at the target may be replaced (the user said so)
    // The camera clock's error against GPS (seconds, fast when positive), when the check found
    // one: the captions then give the GPS time beside the camera's.
    std::optional<int64_t> clockError;
    // Burned in from pictures the caller writes to ffmpeg's standard input (raw RGBA of
    // overlayRect's size, kOverlayRate a second); not with the Original layout.
    std::optional<ZLXOverlayOptions> overlay;
    // Boxes hidden in the picture: the caller writes their mask to the pipe ffmpeg reads (one
    // byte a cell of `cell` x `cell` pixels of the clip's picture, 255 to hide, `rate` masks a
    // second); those cells are blurred or pixelated before the overlay and the captions.
    struct Redaction {
        bool pixelate = false;
        int cell = 8;
        int rate = 30;
    };
    std::optional<Redaction> redaction;
    // The video encoder (see chooseVideoEncoder); libx264 when none.
    std::optional<ZLXVideoEncoder> encoder;
};

// The choice from `ffmpeg -encoders`' list and the devices there are; `works` tells whether a
// candidate really encodes (a short test), and is asked of hardware ones only.
ZLXVideoEncoder chooseVideoEncoder(const std::string& encoderList, bool renderNode, bool nvidiaDevice,
                                   const std::function<bool(const ZLXVideoEncoder&)>& works);
ZLXVideoEncoder softwareVideoEncoder();

// The size of the clip's picture for a layout (the Original keeps the recording's).
struct ZLXPictureSize {
    int width = 0, height = 0;
};
ZLXPictureSize clipPictureSize(ZLXClipLayout layout);

// The arguments after "ffmpeg" that write `output`. `captionsPath` is the captions file (with
// captions), `listPath` the list of pieces (Original), `maskPath` the redaction's masks (with a
// redaction). Progress goes to standard output as "out_time_us=..." lines.
std::vector<std::string> clipFfmpegArguments(const std::vector<ZLXClipSegment>& segments, const ZLXClipOptions& options,
                                             const std::string& output, const std::string& captionsPath,
                                             const std::string& listPath, const std::string& maskPath = {});

// The captions of a clip from `from` to `to` of the drive's line (no further than the drive
// goes), one a second, as SubRip text:
// "2024-10-03 08:16:05 · 62 km/h · 37.57058 N 126.98135 E". Times come from the recordings'
// names, the rest from the fix of that moment (left out when there is none). With the clock's
// error: "2024-10-03 08:16:05 (GPS 08:14:42, camera +83 s) · 62 km/h · …".
std::string clipCaptions(const ZLXDrive& drive, double from, double to, bool kmh = true,
                         std::optional<int64_t> clockError = std::nullopt);

// The fix of a track nearest `seconds`, within one second; none without one.
const ZLXTrackPoint* fixNear(const ZLXTrack& track, double seconds);

// The concat demuxer's list for the pieces: each file with its in and out points.
std::string clipConcatList(const std::vector<ZLXClipSegment>& segments);

// A text as a filter's option value inside a filter graph: escaped once for the option list
// (\ ' :) and once more for the graph (\ ' [ ] , ;), so that any path reaches the filter whole.
std::string filterOptionEscaped(const std::string& text);

} // namespace daxo
