// SPDX-License-Identifier: GPL-3.0-or-later
// bench_tracking VIDEO SECONDS BOXES: BOXES boxes keyed in the middle of VIDEO, followed both
// ways through its first SECONDS; prints the wall time of the following (frames decoded by
// ffmpeg included), of decoding the same frames alone, and how many frames had a box lost.
#include "redaction/ZLXBoxTracker.h"
#include "telemetry/ZLXRoute.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace daxo;

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const std::string video = argv[1];
    const double seconds = std::atof(argv[2]);
    const int count = std::atoi(argv[3]);
    const ZLXMovieFacts facts = movieFacts(video.c_str());
    const ZLXPictureSize size{facts.width, facts.height};
    ZLXRedactionPlan plan;
    for (int b = 0; b < count; ++b) {
        ZLXRedactionBox box;
        // a row of boxes across the middle of the picture, each a twelfth of its width
        const double w = size.width / 12.0, h = size.height / 10.0;
        box.keys = {{seconds / 2, {(0.1 + 0.07 * (b % 10)) * size.width, size.height * (0.3 + 0.2 * (b / 10 % 3)), w, h}}};
        plan.boxes.push_back(box);
    }
    using Clock = std::chrono::steady_clock;
    const auto source = ffmpegFrames({{video, 0, seconds}}, size);
    const auto began = Clock::now();
    int64_t decoded = 0;
    for (int64_t first = 0; first < redactionFrames(seconds); first += kFollowWindow)
        decoded += int64_t(source->read(first, kFollowWindow).size());
    const double decodeMs = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
    const auto started = Clock::now();
    const ZLXFollowResult result = followBoxes(plan, seconds, source.get(), nullptr);
    const double followMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (!result.paths) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    if (std::getenv("DAXO_BENCH_VERBOSE"))
        for (size_t b = 0; b < result.paths->paths.size(); ++b) {
            int64_t lost = 0, firstLost = -1;
            for (int64_t f = 0; f < result.paths->frames; ++f)
                if (result.paths->paths[b][size_t(f)].lost) {
                    ++lost;
                    if (firstLost < 0)
                        firstLost = f;
                }
            std::fprintf(stderr, "box %zu lost %lld from %lld\n", b, (long long)lost, (long long)firstLost);
        }
    // the bench's clip is a still scene seen through a window that moves by x = 240 + 200
    // sin(t / 2), y = 160 + 120 cos(t / 3): each box should move against it
    double worst = 0;
    const auto window = [](double t) { return std::pair{240 + 200 * std::sin(t / 2), 160 + 120 * std::cos(t / 3)}; };
    for (size_t b = 0; b < plan.boxes.size(); ++b) {
        const ZLXBoxRect key = plan.boxes[b].keys[0].rect;
        for (int64_t f = 0; f < result.paths->frames; ++f) {
            const auto& at = result.paths->paths[b][size_t(f)];
            const double t = double(f) / kRedactionRate;
            const auto [x, y] = window(t);
            const auto [kx, ky] = window(seconds / 2);
            if (at.rect && !at.lost)
                worst = std::max(worst, std::hypot(at.rect->x - (key.x - (x - kx)), at.rect->y - (key.y - (y - ky))));
        }
    }
    std::printf("{\"follow_ms\": %.0f, \"decode_ms\": %.0f, \"frames\": %lld, \"decoded\": %lld, \"lost\": %zu, "
                "\"worst_px\": %.1f}\n",
                followMs, decodeMs, (long long)result.paths->frames, (long long)decoded,
                result.paths->lostFrames().size(), worst);
    return 0;
}
