// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXClip.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace daxo {

namespace {

std::string fixed(double v, int decimals) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, std::isfinite(v) ? v : 0.0,
                                            std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string srtTime(double seconds) {
    const int64_t ms = int64_t(std::llround(std::max(0.0, seconds) * 1000));
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", (long long)(ms / 3600000), (long long)(ms / 60000 % 60),
                  (long long)(ms / 1000 % 60), (long long)(ms % 1000));
    return text;
}

} // namespace

const ZLXTrackPoint* fixNear(const ZLXTrack& track, double seconds) {
    const auto& points = track.points;
    auto it = std::lower_bound(points.begin(), points.end(), seconds,
                               [](const ZLXTrackPoint& p, double s) { return p.seconds < s; });
    const ZLXTrackPoint* best = nullptr;
    double distance = 1.0;
    for (auto k = it == points.begin() ? it : it - 1; k != points.end() && k->seconds <= seconds + 1.0; ++k) {
        if (k->hasFix && std::fabs(k->seconds - seconds) <= distance) {
            distance = std::fabs(k->seconds - seconds);
            best = &*k;
        }
    }
    return best;
}

std::vector<ZLXClipSegment> clipSegments(const ZLXTrip& trip, double from, double to) {
    std::vector<ZLXClipSegment> segments;
    if (!(to > from))
        return segments;
    double start = 0;
    for (const ZLXTripGroup& group : trip.groups) {
        const double end = start + group.duration;
        const double a = std::max(from, start), b = std::min(to, end);
        if (b - a >= 0.001) {
            ZLXClipSegment segment;
            segment.front = group.playPath();
            segment.rear = group.frontPath.empty() ? std::string() : group.rearPath;
            segment.from = a - start;
            segment.to = b - start;
            segments.push_back(segment);
        }
        start = end;
    }
    return segments;
}

std::string filterOptionEscaped(const std::string& text) {
    auto escaped = [](const std::string& in, std::string_view special) {
        std::string out;
        for (const char c : in) {
            if (special.find(c) != std::string_view::npos)
                out += '\\';
            out += c;
        }
        return out;
    };
    return escaped(escaped(text, "\\':"), "\\'[],;");
}

std::vector<std::string> clipFfmpegArguments(const std::vector<ZLXClipSegment>& segments, const ZLXClipOptions& options,
                                             const std::string& output, const std::string& captionsPath,
                                             const std::string& listPath, const std::string& maskPath) {
    std::vector<std::string> args = {"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-progress", "pipe:1",
                                      "-nostats"};
    if (options.layout == ZLXClipLayout::Original) {
        // one channel as recorded: no telemetry or other tracks, only picture and sound
        args.insert(args.end(), {"-f", "concat", "-safe", "0", "-i", listPath, "-map", "0:v:0"});
        if (options.audio)
            args.insert(args.end(), {"-map", "0:a:0?"});
        args.insert(args.end(), {"-c", "copy", "-movflags", "+faststart", output});
        return args;
    }
    const bool withRear = options.layout != ZLXClipLayout::Front;
    const auto [width, height] = clipPictureSize(options.layout);
    const ZLXVideoEncoder encoder = options.encoder.value_or(softwareVideoEncoder());
    args.insert(args.end(), encoder.globalArgs.begin(), encoder.globalArgs.end());
    std::string graph;
    std::string joined;
    int input = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const ZLXClipSegment& s = segments[i];
        const std::string from = fixed(s.from, 3), length = fixed(s.length(), 3);
        args.insert(args.end(), {"-ss", from, "-t", length, "-i", s.front});
        const int front = input++;
        int rear = -1;
        if (withRear && !s.rear.empty()) {
            args.insert(args.end(), {"-ss", from, "-t", length, "-i", s.rear});
            rear = input++;
        }
        const std::string f = "[" + std::to_string(front) + ":v]", n = std::to_string(i);
        const std::string r = rear >= 0 ? "[" + std::to_string(rear) + ":v]" : std::string();
        if (options.layout == ZLXClipLayout::SideBySide) {
            graph += f + "scale=960:540,setsar=1[f" + n + "];";
            if (rear >= 0)
                graph += r + "scale=960:540,setsar=1[r" + n + "];[f" + n + "][r" + n + "]hstack[v" + n + "];";
            else
                graph += "[f" + n + "]pad=1920:540:0:0:black[v" + n + "];";
        } else if (options.layout == ZLXClipLayout::PictureInPicture && rear >= 0) {
            // the inset at the bottom right, or at the top right when the captions take the bottom
            const std::string inset = options.captions ? "overlay=W-w-16:16" : "overlay=W-w-16:H-h-16";
            graph += f + "scale=1280:720,setsar=1[f" + n + "];" + r + "scale=400:225,setsar=1[r" + n + "];[f" + n +
                     "][r" + n + "]" + inset + "[v" + n + "];";
        } else {
            graph += f + "scale=" + std::to_string(width) + ":" + std::to_string(height) + ",setsar=1[v" + n + "];";
        }
        joined += "[v" + n + "]";
        if (options.audio)
            joined += "[" + std::to_string(front) + ":a]";
    }
    const std::string n = std::to_string(segments.size());
    graph += joined + "concat=n=" + n + ":v=1:a=" + (options.audio ? "1" : "0") + "[cv]" + (options.audio ? "[ca]" : "");
    std::string picture = "[cv]"; // the joined picture, as each step below leaves it
    if (options.redaction && !maskPath.empty()) {
        // the hidden cells from the mask (which runs past the picture's end: the picture's
        // length is the clip's), taken from a copy of the picture that keeps nothing
        // finer than 16 pixels: pixelated, or smoothed as it is brought back to size
        const int cell = std::max(options.redaction->cell, 1);
        const int columns = (width + cell - 1) / cell, rows = (height + cell - 1) / cell;
        const std::string size = std::to_string(width) + ":" + std::to_string(height);
        args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "gray", "-s",
                                 std::to_string(columns) + "x" + std::to_string(rows), "-framerate",
                                 std::to_string(options.redaction->rate), "-i", maskPath});
        const std::string hidden = "scale=" + std::to_string(std::max(1, width / 16)) + ":" +
                                   std::to_string(std::max(1, height / 16)) + ":flags=area," +
                                   (options.redaction->pixelate ? "scale=" + size + ":flags=neighbor"
                                                                : "gblur=sigma=1,scale=" + size + ":flags=bicubic");
        graph += ";" + picture + "split=2[rk][rb];[rb]" + hidden + ",format=yuva420p[rh];[" + std::to_string(input++) +
                 ":v]scale=" + std::to_string(columns * cell) + ":" + std::to_string(rows * cell) +
                 ":flags=neighbor,crop=" + size + ":0:0,format=gray[rm];[rh][rm]alphamerge[ra];[rk][ra]overlay=0:0:shortest=1:"
                 "eof_action=repeat:format=auto[cr]";
        picture = "[cr]";
    }
    if (options.overlay && options.overlay->any()) {
        // the program's pictures from standard input, over the joined picture, each held until the next
        const ZLXOverlayRect r = overlayRect(*options.overlay, width, height);
        args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "rgba", "-s",
                                 std::to_string(r.width) + "x" + std::to_string(r.height), "-framerate",
                                 std::to_string(kOverlayRate), "-i", "pipe:0"});
        graph += ";" + picture + "[" + std::to_string(input) + ":v]overlay=" + std::to_string(r.x) + ":" + std::to_string(r.y) +
                 ":eof_action=repeat:format=auto[co]";
        picture = "[co]";
    }
    const std::string& joinedPicture = picture;
    if (options.captions)
        graph += ";" + joinedPicture + "subtitles=filename=" + filterOptionEscaped(captionsPath) +
                 ":force_style=" + filterOptionEscaped("FontName=DejaVu Sans,FontSize=14,PrimaryColour=&H00FFFFFF,"
                                                "BackColour=&H80000000,BorderStyle=4,Outline=0,Shadow=0,MarginV=6") +
                 "[v]";
    else
        graph += ";" + joinedPicture + "null[v]";
    if (!encoder.filter.empty())
        graph += ";[v]" + encoder.filter + "[venc]";
    args.insert(args.end(), {"-filter_complex", graph, "-map", encoder.filter.empty() ? "[v]" : "[venc]"});
    if (options.audio)
        args.insert(args.end(), {"-map", "[ca]", "-c:a", "aac", "-b:a", "128k"});
    args.insert(args.end(), encoder.args.begin(), encoder.args.end());
    args.insert(args.end(), {"-movflags", "+faststart", output});
    return args;
}

ZLXVideoEncoder softwareVideoEncoder() {
    return {"libx264", {}, "", {"-c:v", "libx264", "-preset", "veryfast", "-crf", "20", "-pix_fmt", "yuv420p"},
            "libx264 (software)"};
}

ZLXVideoEncoder chooseVideoEncoder(const std::string& encoderList, bool renderNode, bool nvidiaDevice,
                                   const std::function<bool(const ZLXVideoEncoder&)>& works) {
    // a line of the list: " V....D h264_nvenc           NVIDIA NVENC H.264 encoder ..."
    const auto listed = [&](const std::string& name) {
        std::istringstream lines(encoderList);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string flags, encoder;
            if (fields >> flags >> encoder && flags.size() == 6 && flags[0] == 'V' && encoder == name)
                return true;
        }
        return false;
    };
    std::vector<ZLXVideoEncoder> candidates;
    if (nvidiaDevice && listed("h264_nvenc"))
        candidates.push_back({"h264_nvenc", {}, "", {"-c:v", "h264_nvenc", "-preset", "p4", "-cq", "23", "-pix_fmt", "yuv420p"},
                              "h264_nvenc (NVIDIA hardware)"});
    if (renderNode && listed("h264_vaapi"))
        candidates.push_back({"h264_vaapi",
                              {"-init_hw_device", "vaapi=va:/dev/dri/renderD128", "-filter_hw_device", "va"},
                              "format=nv12,hwupload",
                              {"-c:v", "h264_vaapi", "-qp", "23"},
                              "h264_vaapi (VA-API hardware)"});
    for (const ZLXVideoEncoder& candidate : candidates)
        if (works && works(candidate))
            return candidate;
    ZLXVideoEncoder software = softwareVideoEncoder();
    software.description = candidates.empty() ? "libx264 (software; no hardware encoder found)"
                                              : "libx264 (software; the hardware encoder did not work)";
    return software;
}

ZLXPictureSize clipPictureSize(ZLXClipLayout layout) {
    return layout == ZLXClipLayout::SideBySide ? ZLXPictureSize{1920, 540} : ZLXPictureSize{1280, 720};
}

std::string clipCaptions(const ZLXDrive& drive, double from, double to, bool kmh, std::optional<int64_t> clockError) {
    std::string out;
    to = std::min(to, drive.trip.duration());
    int cue = 0;
    for (double t = from; t < to - 1e-6; t += 1.0) {
        const ZLXTrip::Place place = drive.trip.placeAt(t);
        if (place.group >= drive.trip.groups.size())
            break;
        const ZLXTripGroup& group = drive.trip.groups[place.group];
        std::string text;
        if (group.start) {
            const int64_t camera = *group.start + int64_t(std::floor(place.seconds));
            text = civilDateTimeText(camera);
            if (clockError)
                text += " (GPS " + civilDateTimeText(camera - *clockError).substr(11) + ", camera " +
                        (*clockError > 0 ? "+" : "") + std::to_string(*clockError) + " s)";
        }
        if (place.group < drive.tracks.size()) {
            if (const ZLXTrackPoint* fix = fixNear(*drive.tracks[place.group], place.seconds)) {
                const double speed = kmh ? fix->speedKmh : fix->speedKmh / 1.609344;
                text += (text.empty() ? "" : " \xc2\xb7 ") + std::to_string(std::lround(speed)) + (kmh ? " km/h" : " mph");
                text += " \xc2\xb7 " + fixed(std::fabs(fix->latitude), 5) + (fix->latitude < 0 ? " S " : " N ") +
                        fixed(std::fabs(fix->longitude), 5) + (fix->longitude < 0 ? " W" : " E");
            }
        }
        if (text.empty())
            continue;
        const double a = t - from, b = std::min(to, t + 1.0) - from;
        out += std::to_string(++cue) + "\n" + srtTime(a) + " --> " + srtTime(b) + "\n" + text + "\n\n";
    }
    return out;
}

std::string clipConcatList(const std::vector<ZLXClipSegment>& segments) {
    std::string list = "ffconcat version 1.0\n";
    for (const ZLXClipSegment& s : segments) {
        std::string quoted;
        for (const char c : s.front)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        list += "file '" + quoted + "'\ninpoint " + fixed(s.from, 3) + "\noutpoint " + fixed(s.to, 3) + "\n";
    }
    return list;
}

} // namespace daxo
