// SPDX-License-Identifier: GPL-3.0-or-later
#include "redaction/ZLXBoxTracker.h"
#include "redaction/ZLXRedaction.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <string>

using namespace daxo;

namespace {

const ZLXRedactionBounds kBounds{60.0, {1920, 1080}, {1280, 720}};

ZLXRedactionPlan parsed(const std::string& text) {
    const ZLXRedactionParse result = parseRedaction(text, kBounds);
    EXPECT_TRUE(result.plan) << result.error;
    return result.plan.value_or(ZLXRedactionPlan{});
}

std::string refusal(const std::string& text) {
    const ZLXRedactionParse result = parseRedaction(text, kBounds);
    EXPECT_FALSE(result.plan) << text;
    return result.error;
}

// A channel whose frames show a textured square moving on a smooth ground; `until` frames
// and after that the square is gone.
class MovingSquare final : public ZLXFrameSource {
public:
    std::atomic<int64_t> reads{0};
    int64_t vanishAt = INT64_MAX;
    cv::Size size() const override { return {640, 360}; }
    ZLXPictureSize source() const override { return {1280, 720}; }
    // blocks of random grey: no two places of the square alike
    static const cv::Mat& texture() {
        static const cv::Mat made = [] {
            cv::Mat small(8, 8, CV_8UC1), big;
            cv::RNG random(7);
            random.fill(small, cv::RNG::UNIFORM, 0, 255);
            cv::resize(small, big, cv::Size(48, 48), 0, 0, cv::INTER_NEAREST);
            return big;
        }();
        return made;
    }
    // where the square is in the recording's pixels at a frame
    static ZLXBoxRect truth(int64_t f) { return {200.0 + 4.0 * double(f), 300.0 + std::sin(double(f) / 20) * 60, 96, 96}; }
    std::vector<cv::Mat> read(int64_t first, int64_t count) override {
        ++reads;
        std::vector<cv::Mat> frames;
        for (int64_t f = first; f < first + count; ++f) {
            cv::Mat frame(size(), CV_8UC1);
            for (int y = 0; y < frame.rows; ++y)
                for (int x = 0; x < frame.cols; ++x)
                    frame.at<uint8_t>(y, x) = uint8_t(60 + (x + y) / 12);
            if (f < vanishAt) {
                const ZLXBoxRect r = truth(f);
                texture().copyTo(frame(cv::Rect(int(r.x / 2), int(r.y / 2), int(r.w / 2), int(r.h / 2))));
            }
            frames.push_back(frame);
        }
        return frames;
    }
};

double centreError(const ZLXBoxRect& a, const ZLXBoxRect& b) {
    return std::hypot(a.x + a.w / 2 - b.x - b.w / 2, a.y + a.h / 2 - b.y - b.h / 2);
}

} // namespace

TEST(RedactionFile, ReadsWhatItWritesAndPutsKeysInTimeOrder) {
    const ZLXRedactionPlan plan = parsed(R"({"version": 1, "style": "pixelate", "boxes": [
        {"channel": "rear", "track": false, "keys": [{"t": 4.5, "end": true}, {"t": 1.0, "x": 100, "y": 80, "w": 64, "h": 48}]},
        {"channel": "front", "keys": [{"t": 0, "x": 1856, "y": 1032, "w": 64, "h": 48}]}]})");
    ASSERT_EQ(plan.boxes.size(), 2u);
    EXPECT_EQ(plan.style, ZLXRedactionStyle::Pixelate);
    const ZLXRedactionBox& rear = plan.boxes[0];
    EXPECT_EQ(rear.channel, ZLXRedactionChannel::Rear);
    EXPECT_FALSE(rear.track);
    ASSERT_EQ(rear.keys.size(), 2u);
    EXPECT_EQ(rear.keys[0].t, 1.0);
    EXPECT_EQ(rear.keys[0].rect, (ZLXBoxRect{100, 80, 64, 48}));
    EXPECT_TRUE(rear.keys[1].end);
    EXPECT_TRUE(plan.boxes[1].track) << "boxes are tracked unless told";

    const ZLXRedactionPlan again = parsed(redactionJson(plan));
    ASSERT_EQ(again.boxes.size(), 2u);
    EXPECT_EQ(again.style, plan.style);
    for (size_t b = 0; b < 2; ++b) {
        EXPECT_EQ(again.boxes[b].channel, plan.boxes[b].channel);
        EXPECT_EQ(again.boxes[b].track, plan.boxes[b].track);
        ASSERT_EQ(again.boxes[b].keys.size(), plan.boxes[b].keys.size());
        for (size_t k = 0; k < plan.boxes[b].keys.size(); ++k) {
            EXPECT_EQ(again.boxes[b].keys[k].t, plan.boxes[b].keys[k].t);
            EXPECT_EQ(again.boxes[b].keys[k].rect, plan.boxes[b].keys[k].rect);
            EXPECT_EQ(again.boxes[b].keys[k].end, plan.boxes[b].keys[k].end);
        }
    }
}

TEST(RedactionFile, RefusesWhatDoesNotFitTheClipWithTheReason) {
    EXPECT_NE(refusal("{\"version\": 1, \"boxes\": [").find("not valid JSON"), std::string::npos);
    EXPECT_NE(refusal(R"({"version": 2, "boxes": []})").find("version"), std::string::npos);
    EXPECT_NE(refusal(R"({"version": 1})").find("\"boxes\""), std::string::npos);
    EXPECT_NE(refusal(R"({"version": 1, "boxes": [{"channel": "side", "keys": []}]})").find("Box 1: the channel"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"version": 1, "boxes": [{"channel": "front", "keys": []}]})").find("Box 1 has no keys"),
              std::string::npos);
    // a frame outside the clip
    EXPECT_NE(refusal(R"({"version": 1, "boxes": [{"channel": "front", "keys": [{"t": 61, "x": 0, "y": 0, "w": 8, "h": 8}]}]})")
                  .find("Box 1, key 1: 61 s is outside the clip (0 to 60 s)"),
              std::string::npos);
    // a box over the picture's edge, and one of no size
    EXPECT_NE(refusal(R"({"version": 1, "boxes": [{"channel": "front", "keys": [{"t": 1, "x": 0, "y": 0, "w": 8, "h": 8}]},
        {"channel": "rear", "keys": [{"t": 1, "x": 1250, "y": 0, "w": 64, "h": 8}]}]})")
                  .find("Box 2, key 1: the box lies outside the 1280 x 720 picture"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"version": 1, "boxes": [{"channel": "front", "keys": [{"t": 1, "x": 0, "y": 0, "w": 0, "h": 8}]}]})")
                  .find("no size"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"version": 1, "boxes": [{"channel": "front", "keys": [{"t": 1, "end": true}]}]})").find("only end"),
              std::string::npos);
    // the rear of a clip that has none
    const ZLXRedactionParse frontOnly =
        parseRedaction(R"({"version": 1, "boxes": [{"channel": "rear", "keys": [{"t": 1, "x": 0, "y": 0, "w": 8, "h": 8}]}]})",
                       {60.0, {1920, 1080}, {}});
    EXPECT_NE(frontOnly.error.find("no rear picture"), std::string::npos);
    // nesting far deeper than the format goes is refused, not followed
    EXPECT_FALSE(parseRedaction(std::string(100000, '[') + std::string(100000, ']'), kBounds).plan);
}

TEST(RedactionPaths, HeldBoxesKeepEachKeyUntilTheNextAndEndWhereTold) {
    ZLXRedactionBox box;
    box.track = false;
    box.keys = {{1.0, {10, 10, 20, 20}}, {3.0, {50, 10, 20, 20}}, {5.0, {}, true}, {8.0, {90, 10, 20, 20}}};
    const int64_t frames = redactionFrames(10.0);
    ASSERT_EQ(frames, 300);
    const ZLXBoxPath path = heldPath(box, frames);
    EXPECT_EQ(path[0].rect, box.keys[0].rect) << "the first key is held back to the clip's start";
    EXPECT_EQ(path[89].rect, box.keys[0].rect);
    EXPECT_EQ(path[90].rect, box.keys[1].rect);
    EXPECT_EQ(path[149].rect, box.keys[1].rect);
    EXPECT_FALSE(path[150].rect) << "ended";
    EXPECT_FALSE(path[239].rect);
    EXPECT_EQ(path[240].rect, box.keys[3].rect) << "started again by a later key";
    EXPECT_EQ(path[299].rect, box.keys[3].rect);

    // a box held while lost grows from its centre, no more than three times, within the picture
    const ZLXBoxRect held{100, 100, 40, 20};
    EXPECT_EQ(widenedBox(held, 0, {1280, 720}), held);
    EXPECT_EQ(widenedBox(held, 2, {1280, 720}), (ZLXBoxRect{80, 90, 80, 40}));
    EXPECT_EQ(widenedBox(held, 60, {1280, 720}), (ZLXBoxRect{60, 80, 120, 60}));
    EXPECT_EQ(widenedBox({0, 0, 40, 20}, 60, {1280, 720}), (ZLXBoxRect{0, 0, 80, 40}));
}

TEST(RedactionMask, CoversEveryPixelOfTheBoxesAroundTheMomentWhereTheLayoutPutsThem) {
    ZLXRedactionPaths paths;
    paths.frames = 3;
    paths.channels = {ZLXRedactionChannel::Front, ZLXRedactionChannel::Rear};
    // the front box moves between frames 0 and 2; the rear box is still
    paths.paths = {{{ZLXBoxRect{100, 100, 50, 50}}, {ZLXBoxRect{300, 100, 50, 50}}, {ZLXBoxRect{500, 100, 50, 50}}},
                   {{ZLXBoxRect{0, 0, 1920, 1080}}, {ZLXBoxRect{0, 0, 1920, 1080}}, {ZLXBoxRect{0, 0, 1920, 1080}}}};
    ZLXClipOptions options;
    const ZLXPictureSize clip = clipPictureSize(options.layout);
    const ZLXMaskGrid grid = maskGrid(clip);
    EXPECT_EQ(grid.columns * grid.cell, 1280);
    const auto front = channelPlacement(options, ZLXRedactionChannel::Front, {1920, 1080}, true);
    const auto rear = channelPlacement(options, ZLXRedactionChannel::Rear, {1920, 1080}, true);
    std::vector<uint8_t> mask;
    redactionMask(paths, 1.0 / kRedactionRate, grid, front, std::nullopt, mask);
    const auto masked = [&](double x, double y) {
        return mask[size_t(int(y) / grid.cell * grid.columns + int(x) / grid.cell)] == 255;
    };
    // every pixel of the box at the frames either side, scaled from 1920 to 1280
    for (const ZLXBoxRect& box : {ZLXBoxRect{100, 100, 50, 50}, ZLXBoxRect{500, 100, 50, 50}})
        for (double y = box.y; y < box.bottom(); y += 1)
            for (double x = box.x; x < box.right(); x += 1)
                ASSERT_TRUE(masked(x * 2 / 3, y * 2 / 3)) << x << "," << y;
    EXPECT_FALSE(masked(0, 0));
    EXPECT_FALSE(masked(700, 300));

    // the whole rear picture lands on the inset, bottom right, and nowhere else
    redactionMask(paths, 0, grid, std::nullopt, rear, mask);
    EXPECT_TRUE(masked(1280 - 16 - 400, 720 - 16 - 225));
    EXPECT_TRUE(masked(1280 - 17, 720 - 17));
    EXPECT_FALSE(masked(1280 - 16 - 400 - 17, 720 - 16 - 225 - 17));
    EXPECT_FALSE(masked(1279, 719));
    // a layout without the rear leaves its boxes out
    options.layout = ZLXClipLayout::Front;
    EXPECT_FALSE(channelPlacement(options, ZLXRedactionChannel::Rear, {1920, 1080}, true));
    options.layout = ZLXClipLayout::SideBySide;
    EXPECT_EQ(channelPlacement(options, ZLXRedactionChannel::Rear, {1920, 1080}, true)->x0, 960);
}

TEST(BoxTracker, FollowsAMovingSquareForwardAndBackwardFromItsKey) {
    MovingSquare square;
    ZLXRedactionPlan plan;
    ZLXRedactionBox box;
    box.keys = {{2.0, MovingSquare::truth(60)}};
    plan.boxes = {box};
    const double length = 4.0;
    double lastProgress = 0;
    const ZLXFollowResult result =
        followBoxes(plan, length, &square, nullptr, [&](double p) { return lastProgress = p, true; });
    ASSERT_TRUE(result.paths) << result.error;
    const ZLXRedactionPaths& paths = *result.paths;
    ASSERT_EQ(paths.frames, 120);
    EXPECT_DOUBLE_EQ(lastProgress, 1.0);
    for (int64_t f = 0; f < paths.frames; ++f) {
        const ZLXBoxFrame& at = paths.paths[0][size_t(f)];
        ASSERT_TRUE(at.rect) << "frame " << f;
        EXPECT_FALSE(at.lost) << "frame " << f;
        EXPECT_LT(centreError(*at.rect, MovingSquare::truth(f)), 12.0) << "frame " << f;
        EXPECT_EQ(at.rect->w, 96);
    }
    EXPECT_TRUE(paths.lostFrames().empty());
    EXPECT_LE(square.reads, 2) << "one window forward, one backward";
}

TEST(BoxTracker, ABoxLostIsHeldWidenedAndMarkedNeverDropped) {
    MovingSquare square;
    square.vanishAt = 40;
    ZLXRedactionPlan plan;
    ZLXRedactionBox box;
    box.keys = {{0.5, MovingSquare::truth(15)}, {3.0, {}, true}};
    plan.boxes = {box};
    const ZLXFollowResult result = followBoxes(plan, 4.0, &square, nullptr);
    ASSERT_TRUE(result.paths) << result.error;
    const ZLXBoxPath& path = result.paths->paths[0];
    const std::vector<int64_t> lost = result.paths->lostFrames();
    ASSERT_FALSE(lost.empty());
    EXPECT_GE(lost.front(), 40);
    EXPECT_LE(lost.front(), 45);
    for (int64_t f = 0; f < 90; ++f) {
        ASSERT_TRUE(path[size_t(f)].rect) << "frame " << f;
        if (f < 40) {
            EXPECT_FALSE(path[size_t(f)].lost) << "frame " << f;
        }
    }
    // held and widened: later lost frames cover more than the first ones, around the same place
    const ZLXBoxRect first = *path[size_t(lost.front())].rect, later = *path[89].rect;
    EXPECT_GT(later.w, first.w);
    EXPECT_LT(centreError(first, later), 1.0);
    for (int64_t f = 90; f < 120; ++f)
        EXPECT_FALSE(path[size_t(f)].rect) << "ended at 3 s, frame " << f;

    // without frames to follow in, a tracked box is refused with the reason
    plan.boxes[0].channel = ZLXRedactionChannel::Rear;
    EXPECT_NE(followBoxes(plan, 4.0, &square, nullptr).error.find("no rear picture"), std::string::npos);
}

// A photograph of a person (from Debian's scikit-image sample data): the face is offered, once,
// as a face, and nothing in it is taken for a plate; smaller, as in a 640-wide frame, as well.
TEST(Suggestions, TheFaceInAPhotographIsOffered) {
    const cv::Mat photo = cv::imread(DAXO_FACE_PICTURE);
    ASSERT_FALSE(photo.empty()) << DAXO_FACE_PICTURE << " (scripts/setup takes it from python3-skimage)";
    const ZLXBoxRect face{177, 67, 93, 93}; // where the face is in the 512 x 512 picture
    for (const double scale : {1.0, 0.6}) {
        cv::Mat picture;
        cv::resize(photo, picture, {}, scale, scale, cv::INTER_AREA);
        std::string error;
        const auto found = suggestBoxes(picture, defaultCascadeFolder(), &error);
        ASSERT_EQ(found.size(), 1u) << "scale " << scale;
        EXPECT_FALSE(found[0].plate);
        const ZLXBoxRect& box = found[0].rect;
        EXPECT_NEAR(box.x + box.w / 2, (face.x + face.w / 2) * scale, 12 * scale) << "scale " << scale;
        EXPECT_NEAR(box.y + box.h / 2, (face.y + face.h / 2) * scale, 12 * scale) << "scale " << scale;
        EXPECT_NEAR(box.w, face.w * scale, 25 * scale) << "scale " << scale;
    }
}

TEST(Suggestions, LoadTheDetectorsDebianShipsAndSayWhenTheyCannot) {
    // a plain grey picture: the detectors load and find nothing in it
    const cv::Mat grey(360, 640, CV_8UC3, cv::Scalar(128, 128, 128));
    std::string error;
    EXPECT_TRUE(suggestBoxes(grey, defaultCascadeFolder(), &error).empty());
    EXPECT_EQ(error, "") << "opencv-data's cascades are where they are looked for";
    EXPECT_TRUE(suggestBoxes(grey, "/nonexistent", &error).empty());
    EXPECT_NE(error.find("opencv-data"), std::string::npos);
}

TEST(RedactPicture, HidesOnlyInsideTheBoxes) {
    cv::Mat picture(120, 160, CV_8UC1);
    cv::RNG(3).fill(picture, cv::RNG::UNIFORM, 0, 255);
    const cv::Mat before = picture.clone();
    for (const ZLXRedactionStyle style : {ZLXRedactionStyle::Blur, ZLXRedactionStyle::Pixelate}) {
        picture = before.clone();
        redactPicture(picture, {{32, 32, 64, 48}}, style);
        // outside: untouched; inside: none of the grain left (neighbours close)
        cv::Mat outside = cv::Mat::ones(picture.size(), CV_8UC1);
        outside(cv::Rect(32, 32, 64, 48)) = 0;
        EXPECT_EQ(cv::norm(picture, before, cv::NORM_INF, outside), 0);
        cv::Mat inside = picture(cv::Rect(32, 32, 64, 48)), steps;
        cv::absdiff(inside.colRange(1, 64), inside.colRange(0, 63), steps);
        EXPECT_LT(cv::mean(steps)[0], 8.0);
    }
}
