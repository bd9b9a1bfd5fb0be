// SPDX-License-Identifier: GPL-3.0-or-later
#include "redaction/ZLXBoxTracker.h"

#include "library/ZLXChildOutput.h"
#include "telemetry/ZLXRoute.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/tracking.hpp>
#include <opencv2/tracking/tracking_legacy.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

namespace daxo {

namespace {

std::string secondsText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::max(0.0, v));
    return text;
}

class FfmpegFrames final : public ZLXFrameSource {
public:
    FfmpegFrames(std::vector<ZLXChannelPiece> pieces, ZLXPictureSize source, int width)
        : m_pieces(std::move(pieces)), m_source(source) {
        const double aspect = source.width > 0 && source.height > 0 ? double(source.height) / source.width : 9.0 / 16;
        const int w = std::min(std::max(width, 16), std::max(source.width, 16));
        m_size = cv::Size(w & ~1, std::max(2, int(std::lround(w * aspect)) & ~1));
    }
    cv::Size size() const override { return m_size; }
    ZLXPictureSize source() const override { return m_source; }

    std::vector<cv::Mat> read(int64_t first, int64_t count) override {
        std::vector<cv::Mat> frames;
        const double from = double(first) / kRedactionRate, to = double(first + count) / kRedactionRate;
        double start = 0; // the piece's place in the clip
        for (const ZLXChannelPiece& piece : m_pieces) {
            const double length = piece.to - piece.from, end = start + length;
            const double a = std::max(from, start), b = std::min(to, end);
            if (b > a) {
                // the frames of this piece's part of the window, at the clip's rate from `a`
                const int64_t wanted =
                    std::min<int64_t>(count - int64_t(frames.size()), int64_t(std::ceil((b - a) * kRedactionRate - 1e-6)));
                const int64_t before = int64_t(frames.size());
                if (piece.path.empty()) {
                    // no recording here: a black picture, in which a box is lost and held
                    const cv::Mat black = cv::Mat::zeros(m_size, CV_8UC1);
                    frames.insert(frames.end(), size_t(wanted), black);
                    start = end;
                    continue;
                }
                ZLXChildOutput ffmpeg;
                const std::string filter = "fps=" + std::to_string(int(kRedactionRate)) + ":start_time=0,scale=" +
                                           std::to_string(m_size.width) + ":" + std::to_string(m_size.height) +
                                           ",format=gray";
                if (ffmpeg.start({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-ss",
                                  secondsText(piece.from + a - start), "-i", piece.path, "-t", secondsText(b - a), "-an",
                                  "-sn", "-dn", "-vf", filter, "-frames:v", std::to_string(wanted), "-f", "rawvideo",
                                  "-pix_fmt", "gray", "pipe:1"})) {
                    for (int64_t n = 0; n < wanted; ++n) {
                        cv::Mat frame(m_size, CV_8UC1);
                        if (ffmpeg.readFully(frame.data, frame.total()) != frame.total())
                            break;
                        frames.push_back(frame);
                    }
                }
                // a piece that ends early is made up by its last frame: the window keeps its count
                while (!frames.empty() && int64_t(frames.size()) < before + wanted)
                    frames.push_back(frames.back());
            }
            start = end;
        }
        return frames;
    }

private:
    std::vector<ZLXChannelPiece> m_pieces;
    ZLXPictureSize m_source;
    cv::Size m_size;
};

// One run of a tracker from a key: `init` gets the key's box, then the frames towards `stop`
// (inclusive) are followed one by one.
struct Task {
    size_t box = 0;
    int64_t init = 0, stop = 0;
    ZLXBoxRect key;
    bool forward = true;
    // while running
    cv::Ptr<cv::legacy::Tracker> tracker;
    cv::Ptr<cv::Tracker> careful; // KCF, once the fast tracker has doubted
    cv::Rect2d started;        // the tracker's first box, in the frames' pixels
    cv::Rect2d current;        // where it is now
    cv::Mat previous;          // the frame before this one
    ZLXBoxRect last;           // the box last seen, in the recording's pixels
    std::optional<int64_t> lostAt;
    bool covers(int64_t f) const { return forward ? f >= init && f <= stop : f <= init && f >= stop; }
};

Task task(size_t box, int64_t init, int64_t stop, const ZLXBoxRect& key, bool forward) {
    Task t;
    t.box = box;
    t.init = init;
    t.stop = stop;
    t.key = key;
    t.forward = forward;
    return t;
}

std::vector<Task> tasksOf(const ZLXRedactionPlan& plan, int64_t frames, ZLXRedactionChannel channel) {
    std::vector<Task> tasks;
    for (size_t b = 0; b < plan.boxes.size(); ++b) {
        const ZLXRedactionBox& box = plan.boxes[b];
        if (!box.track || box.channel != channel)
            continue;
        for (const ZLXBoxSpan& span : boxSpans(box, frames)) {
            if (!span.present)
                continue;
            const ZLXRedactionKey& key = box.keys[span.key];
            const int64_t kf = std::clamp(frameOf(key.t, frames), span.first, span.last - 1);
            if (span.first < kf)
                tasks.push_back(task(b, kf, span.first, key.rect, false));
            const bool next = span.key + 1 < box.keys.size() && !box.keys[span.key + 1].end && span.last < frames;
            if (next) {
                const int64_t nf = span.last, mid = (kf + nf + 1) / 2;
                tasks.push_back(task(b, kf, std::max(kf, mid - 1), key.rect, true));
                if (mid < nf)
                    tasks.push_back(task(b, nf, mid, box.keys[span.key + 1].rect, false));
            } else {
                tasks.push_back(task(b, kf, span.last - 1, key.rect, true));
            }
        }
    }
    return tasks;
}

// MOSSE first: a correlation filter on the grey picture, a fraction of a millisecond a box and
// frame, which says when what it follows no longer matches (its peak-to-sidelobe ratio falls).
// It doubts too soon on smooth ground; where it does, KCF (grey and colour-name features, some
// milliseconds) takes over from the frame before, and only its loss counts.
cv::Ptr<cv::legacy::Tracker> newTracker() {
    return cv::legacy::TrackerMOSSE::create();
}

cv::Mat colour(const cv::Mat& grey) {
    cv::Mat bgr;
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR); // what KCF's features are made from
    return bgr;
}

bool follow(Task& task, const cv::Mat& frame, cv::Rect2d& found) {
    try {
        if (!task.careful && task.tracker->update(frame, found))
            return true;
        if (!task.careful) {
            task.careful = cv::TrackerKCF::create();
            task.careful->init(colour(task.previous), cv::Rect(task.current));
        }
        cv::Rect box;
        const bool ok = task.careful->update(colour(frame), box);
        found = box;
        return ok;
    } catch (const cv::Exception&) {
        return false;
    }
}

// One frame of one task: where its box is.
ZLXBoxFrame step(Task& task, const cv::Mat& frame, int64_t f, double scale, ZLXPictureSize source) {
    ZLXBoxFrame out;
    if (f == task.init) {
        task.last = task.key;
        // the tracker gets at least 12 x 12 of the small frame around the box's centre
        const double cx = (task.key.x + task.key.w / 2) * scale, cy = (task.key.y + task.key.h / 2) * scale;
        const double w = std::max(task.key.w * scale, 12.0), h = std::max(task.key.h * scale, 12.0);
        task.started = cv::Rect2d(cx - w / 2, cy - h / 2, w, h) & cv::Rect2d(0, 0, frame.cols, frame.rows);
        task.current = task.started;
        task.previous = frame;
        task.careful.reset();
        try {
            task.tracker = newTracker();
            task.tracker->init(frame, task.started);
        } catch (const cv::Exception&) {
            task.tracker.reset();
        }
        if (!task.tracker || task.started.area() <= 1)
            task.lostAt = f;
        out.rect = task.key;
        return out;
    }
    if (!task.lostAt) {
        cv::Rect2d found;
        const bool ok = follow(task, frame, found);
        task.previous = frame;
        // a box that leaves the picture is lost as well
        if (ok && (found & cv::Rect2d(0, 0, frame.cols, frame.rows)).area() * 2 >= found.area() && found.area() > 0) {
            // the key's size, moved as the tracker's box moved
            const double dx = (found.x + found.width / 2.0 - (task.started.x + task.started.width / 2.0)) / scale;
            const double dy = (found.y + found.height / 2.0 - (task.started.y + task.started.height / 2.0)) / scale;
            ZLXBoxRect r{task.key.x + dx, task.key.y + dy, task.key.w, task.key.h};
            r.x = std::clamp(r.x, 0.0, std::max(0.0, source.width - r.w));
            r.y = std::clamp(r.y, 0.0, std::max(0.0, source.height - r.h));
            task.last = r;
            task.current = found;
            out.rect = r;
            return out;
        }
        task.lostAt = f;
    }
    out.lost = true;
    out.rect = widenedBox(task.last, double(std::llabs(f - *task.lostAt)) / kRedactionRate, source);
    return out;
}

// The tasks of one direction through the channel's frames, a window at a time.
bool runPass(std::vector<Task*> tasks, bool forward, ZLXFrameSource& frames, ZLXRedactionPaths& paths,
             const std::function<bool(int64_t)>& advanced) {
    if (tasks.empty())
        return true;
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (const Task* t : tasks) {
        lo = std::min({lo, t->init, t->stop});
        hi = std::max({hi, t->init, t->stop});
    }
    const double scale = double(frames.size().width) / std::max(1, frames.source().width);
    const int64_t windows = (hi - lo) / kFollowWindow + 1;
    for (int64_t w = 0; w < windows; ++w) {
        const int64_t first = forward ? lo + w * kFollowWindow : std::max(lo, hi - (w + 1) * kFollowWindow + 1);
        const int64_t last = forward ? std::min(hi, first + kFollowWindow - 1) : hi - w * kFollowWindow;
        std::vector<Task*> active;
        for (Task* t : tasks) {
            if (std::min(t->init, t->stop) <= last && std::max(t->init, t->stop) >= first)
                active.push_back(t);
        }
        if (active.empty())
            continue;
        const std::vector<cv::Mat> window = frames.read(first, last - first + 1);
        for (int64_t i = 0; i <= last - first; ++i) {
            const int64_t f = forward ? first + i : last - i;
            const size_t at = size_t(f - first);
            // a frame that could not be read: every box held as last seen and marked
            const cv::Mat* frame = at < window.size() ? &window[at] : nullptr;
            for (Task* task : active) {
                if (!task->covers(f))
                    continue;
                if (!frame && !task->lostAt)
                    task->lostAt = f;
                ZLXBoxFrame result = frame ? step(*task, *frame, f, scale, frames.source())
                                           : ZLXBoxFrame{widenedBox(task->last, 0, frames.source()), true};
                if (f == task->init && !frame)
                    result = {task->key, true};
                // a key's own frame is written by the run forward from it, the other pass
                // running beside this one
                if (task->forward || f != task->init)
                    paths.paths[task->box][size_t(f)] = result;
            }
            if (!advanced(1))
                return false;
        }
    }
    return true;
}

} // namespace

std::unique_ptr<ZLXFrameSource> ffmpegFrames(std::vector<ZLXChannelPiece> pieces, ZLXPictureSize source, int width) {
    return std::make_unique<FfmpegFrames>(std::move(pieces), source, width);
}

cv::Mat channelPicture(const std::vector<ZLXChannelPiece>& pieces, double t, ZLXPictureSize source, int width) {
    double start = 0;
    for (const ZLXChannelPiece& piece : pieces) {
        const double end = start + (piece.to - piece.from);
        if (t >= start && (t < end || &piece == &pieces.back())) {
            if (piece.path.empty() || source.width <= 0 || source.height <= 0)
                return {};
            const int w = std::min(width, source.width) & ~1;
            const int h = int(std::lround(double(w) * source.height / source.width)) & ~1;
            ZLXChildOutput ffmpeg;
            cv::Mat picture(h, w, CV_8UC3);
            if (!ffmpeg.start({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-ss",
                               secondsText(piece.from + std::min(t, end) - start), "-i", piece.path, "-an", "-sn", "-dn",
                               "-frames:v", "1", "-vf", "scale=" + std::to_string(w) + ":" + std::to_string(h), "-f",
                               "rawvideo", "-pix_fmt", "bgr24", "pipe:1"}) ||
                ffmpeg.readFully(picture.data, picture.total() * 3) != picture.total() * 3)
                return {};
            return picture;
        }
        start = end;
    }
    return {};
}

ZLXClipChannels clipChannels(const std::vector<ZLXClipSegment>& segments) {
    ZLXClipChannels channels;
    bool anyRear = false;
    for (const ZLXClipSegment& segment : segments) {
        channels.front.push_back({segment.front, segment.from, segment.to});
        channels.rear.push_back({segment.rear, segment.from, segment.to});
        channels.bounds.length += segment.length();
        for (const auto& [path, size] : {std::pair{&segment.front, &channels.bounds.front},
                                         std::pair{&segment.rear, &channels.bounds.rear}}) {
            if (path->empty() || size->width > 0)
                continue;
            const ZLXMovieFacts facts = movieFacts(path->c_str());
            *size = {facts.width, facts.height};
        }
        anyRear = anyRear || !segment.rear.empty();
    }
    if (!anyRear)
        channels.rear.clear();
    return channels;
}

ZLXFollowResult followBoxes(const ZLXRedactionPlan& plan, double length, ZLXFrameSource* front, ZLXFrameSource* rear,
                            const std::function<bool(double)>& progress) {
    ZLXFollowResult result;
    ZLXRedactionPaths paths;
    paths.frames = redactionFrames(length);
    for (const ZLXRedactionBox& box : plan.boxes) {
        paths.channels.push_back(box.channel);
        paths.paths.push_back(box.track ? ZLXBoxPath(size_t(paths.frames)) : heldPath(box, paths.frames));
    }
    std::vector<Task> tasks[2] = {tasksOf(plan, paths.frames, ZLXRedactionChannel::Front),
                                  tasksOf(plan, paths.frames, ZLXRedactionChannel::Rear)};
    ZLXFrameSource* sources[2] = {front, rear};
    // the frames each pass reads, for the progress
    int64_t total = 0;
    for (int c = 0; c < 2; ++c) {
        if (!tasks[c].empty() && !sources[c]) {
            result.error = c == 0 ? "The clip has no front picture to follow the boxes in."
                                  : "The clip has no rear picture to follow the boxes in.";
            return result;
        }
        for (const bool forward : {true, false}) {
            int64_t lo = INT64_MAX, hi = INT64_MIN;
            for (const Task& t : tasks[c]) {
                if (t.forward == forward) {
                    lo = std::min({lo, t.init, t.stop});
                    hi = std::max({hi, t.init, t.stop});
                }
            }
            total += hi >= lo ? hi - lo + 1 : 0;
        }
    }
    // the passes (each channel forward and backward) side by side, a processor each
    std::atomic<int64_t> done{0};
    std::atomic<bool> stopped{false};
    std::mutex reporting;
    const auto advanced = [&](int64_t n) {
        const int64_t now = done += n;
        if (!stopped && progress) {
            const std::lock_guard<std::mutex> one(reporting);
            if (!progress(total > 0 ? std::min(1.0, double(now) / double(total)) : 1.0))
                stopped = true;
        }
        return !stopped;
    };
    std::vector<std::pair<std::vector<Task*>, std::pair<bool, ZLXFrameSource*>>> passes;
    for (int c = 0; c < 2; ++c) {
        for (const bool forward : {true, false}) {
            std::vector<Task*> pass;
            for (Task& t : tasks[c]) {
                if (t.forward == forward)
                    pass.push_back(&t);
            }
            if (!pass.empty())
                passes.push_back({std::move(pass), {forward, sources[c]}});
        }
    }
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t p; (p = next++) < passes.size();) {
            if (!runPass(passes[p].first, passes[p].second.first, *passes[p].second.second, paths, advanced))
                stopped = true;
        }
    };
    std::vector<std::thread> helpers;
    const size_t threads = std::min<size_t>(passes.size(), std::max(1u, std::thread::hardware_concurrency()));
    for (size_t i = 1; i < threads; ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    if (stopped) {
        result.error = "Stopped.";
        return result;
    }
    result.paths = std::move(paths);
    return result;
}

std::string defaultCascadeFolder() {
    return "/usr/share/opencv4/haarcascades";
}

std::vector<ZLXSuggestion> suggestBoxes(const cv::Mat& picture, const std::string& cascades, std::string* error) {
    std::vector<ZLXSuggestion> found;
    if (picture.empty())
        return found;
    cv::Mat grey;
    if (picture.channels() == 3)
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    else
        grey = picture;
    cv::equalizeHist(grey, grey);
    int loaded = 0;
    const struct {
        const char* file;
        bool plate;
    } detectors[] = {{"haarcascade_frontalface_default.xml", false},
                     {"haarcascade_profileface.xml", false},
                     {"haarcascade_russian_plate_number.xml", true}};
    for (const auto& d : detectors) {
        cv::CascadeClassifier cascade;
        try {
            if (!cascade.load(cascades + "/" + d.file))
                continue;
            ++loaded;
            std::vector<cv::Rect> rects;
            cascade.detectMultiScale(grey, rects, 1.1, 4, 0, cv::Size(20, 20));
            for (const cv::Rect& r : rects) {
                const ZLXBoxRect box{double(r.x), double(r.y), double(r.width), double(r.height)};
                // a face found by both detectors is offered once
                const bool again = std::any_of(found.begin(), found.end(), [&](const ZLXSuggestion& s) {
                    const ZLXBoxRect u = unite(s.rect, box);
                    return s.plate == d.plate && u.w * u.h < 1.5 * std::max(s.rect.w * s.rect.h, box.w * box.h);
                });
                if (!again)
                    found.push_back({box, d.plate});
            }
        } catch (const cv::Exception&) {
            continue;
        }
    }
    if (loaded == 0 && error)
        *error = "No detector could be loaded from " + cascades + " (the opencv-data package).";
    return found;
}

void redactPicture(cv::Mat& picture, const std::vector<ZLXBoxRect>& boxes, ZLXRedactionStyle style) {
    const cv::Rect whole(0, 0, picture.cols, picture.rows);
    for (const ZLXBoxRect& box : boxes) {
        const cv::Rect r = cv::Rect(int(std::floor(box.x)), int(std::floor(box.y)), int(std::ceil(box.right())) - int(std::floor(box.x)),
                                    int(std::ceil(box.bottom())) - int(std::floor(box.y))) &
                           whole;
        if (r.area() <= 0)
            continue;
        cv::Mat region = picture(r);
        // a sixteenth of the size, then back: nothing finer than that cell survives
        const cv::Size small(std::max(1, r.width / 16), std::max(1, r.height / 16));
        cv::Mat reduced;
        cv::resize(region, reduced, small, 0, 0, cv::INTER_AREA);
        cv::Mat restored;
        cv::resize(reduced, restored, r.size(), 0, 0, style == ZLXRedactionStyle::Pixelate ? cv::INTER_NEAREST : cv::INTER_LINEAR);
        if (style == ZLXRedactionStyle::Blur)
            cv::GaussianBlur(restored, restored, cv::Size(0, 0), std::max(2.0, std::min(r.width, r.height) / 12.0));
        restored.copyTo(region);
    }
}

} // namespace daxo
