// SPDX-License-Identifier: GPL-3.0-or-later
#include "redaction/ZLXRedaction.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace daxo {

namespace {

using Json = nlohmann::json;

// A file of boxes is small; anything larger, or nested deeper than the format goes, is refused
// before it is built in memory.
constexpr size_t kMaxFileBytes = 16 << 20;
constexpr int kMaxDepth = 6;

std::optional<double> number(const Json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number())
        return std::nullopt;
    const double v = it->get<double>();
    return std::isfinite(v) ? std::optional(v) : std::nullopt;
}

std::string numberText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

} // namespace

ZLXBoxRect unite(const ZLXBoxRect& a, const ZLXBoxRect& b) {
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const double x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.right(), b.right()) - x, std::max(a.bottom(), b.bottom()) - y};
}

ZLXRedactionParse parseRedaction(const std::string& text, const ZLXRedactionBounds& bounds) {
    ZLXRedactionParse result;
    auto refuse = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    if (text.size() > kMaxFileBytes)
        return refuse("The boxes file is larger than 16 MB.");
    const Json root = Json::parse(
        text,
        [](int depth, Json::parse_event_t, Json&) { return depth <= kMaxDepth; }, false);
    if (root.is_discarded() || !root.is_object())
        return refuse("The boxes file is not valid JSON of the expected form.");
    const auto version = number(root, "version");
    if (!version || *version != 1)
        return refuse("The boxes file's version is not 1.");
    ZLXRedactionPlan plan;
    if (const auto style = root.find("style"); style != root.end()) {
        if (*style == "pixelate")
            plan.style = ZLXRedactionStyle::Pixelate;
        else if (*style != "blur")
            return refuse("The style is neither \"blur\" nor \"pixelate\".");
    }
    const auto boxes = root.find("boxes");
    if (boxes == root.end() || !boxes->is_array())
        return refuse("The boxes file has no \"boxes\" list.");
    for (size_t b = 0; b < boxes->size(); ++b) {
        const Json& item = (*boxes)[b];
        const std::string which = "Box " + std::to_string(b + 1);
        if (!item.is_object())
            return refuse(which + " is not an object.");
        ZLXRedactionBox box;
        const auto channel = item.find("channel");
        if (channel == item.end() || (*channel != "front" && *channel != "rear"))
            return refuse(which + ": the channel is neither \"front\" nor \"rear\".");
        box.channel = *channel == "rear" ? ZLXRedactionChannel::Rear : ZLXRedactionChannel::Front;
        const ZLXPictureSize picture = box.channel == ZLXRedactionChannel::Rear ? bounds.rear : bounds.front;
        if (picture.width <= 0 || picture.height <= 0)
            return refuse(which + ": the clip has no " + channel->get<std::string>() + " picture.");
        if (const auto track = item.find("track"); track != item.end()) {
            if (!track->is_boolean())
                return refuse(which + ": \"track\" is neither true nor false.");
            box.track = track->get<bool>();
        }
        const auto keys = item.find("keys");
        if (keys == item.end() || !keys->is_array() || keys->empty())
            return refuse(which + " has no keys.");
        for (size_t k = 0; k < keys->size(); ++k) {
            const Json& entry = (*keys)[k];
            const std::string where = which + ", key " + std::to_string(k + 1);
            if (!entry.is_object())
                return refuse(where + " is not an object.");
            ZLXRedactionKey key;
            const auto t = number(entry, "t");
            if (!t)
                return refuse(where + " has no time \"t\".");
            if (*t < 0 || *t > bounds.length + 1e-6)
                return refuse(where + ": " + numberText(*t) + " s is outside the clip (0 to " +
                              numberText(bounds.length) + " s).");
            key.t = *t;
            if (const auto end = entry.find("end"); end != entry.end() && end->is_boolean() && end->get<bool>()) {
                key.end = true;
                box.keys.push_back(key);
                continue;
            }
            const auto x = number(entry, "x"), y = number(entry, "y"), w = number(entry, "w"), h = number(entry, "h");
            if (!x || !y || !w || !h)
                return refuse(where + " lacks one of x, y, w and h.");
            key.rect = {*x, *y, *w, *h};
            if (!(*w >= 1 && *h >= 1))
                return refuse(where + ": the box has no size.");
            if (*x < 0 || *y < 0 || key.rect.right() > picture.width || key.rect.bottom() > picture.height)
                return refuse(where + ": the box lies outside the " + std::to_string(picture.width) + " x " +
                              std::to_string(picture.height) + " picture.");
            box.keys.push_back(key);
        }
        std::stable_sort(box.keys.begin(), box.keys.end(),
                         [](const ZLXRedactionKey& p, const ZLXRedactionKey& q) { return p.t < q.t; });
        if (std::all_of(box.keys.begin(), box.keys.end(), [](const ZLXRedactionKey& k) { return k.end; }))
            return refuse(which + " has only end keys.");
        plan.boxes.push_back(std::move(box));
    }
    result.plan = std::move(plan);
    return result;
}

std::string redactionJson(const ZLXRedactionPlan& plan) {
    Json boxes = Json::array();
    for (const ZLXRedactionBox& box : plan.boxes) {
        Json keys = Json::array();
        for (const ZLXRedactionKey& key : box.keys) {
            Json k = {{"t", std::round(key.t * 1000) / 1000}};
            if (key.end)
                k["end"] = true;
            else
                k.update({{"x", std::round(key.rect.x)}, {"y", std::round(key.rect.y)},
                          {"w", std::round(key.rect.w)}, {"h", std::round(key.rect.h)}});
            keys.push_back(std::move(k));
        }
        boxes.push_back({{"channel", box.channel == ZLXRedactionChannel::Rear ? "rear" : "front"},
                         {"track", box.track},
                         {"keys", std::move(keys)}});
    }
    const Json root = {{"version", 1},
                       {"style", plan.style == ZLXRedactionStyle::Pixelate ? "pixelate" : "blur"},
                       {"boxes", std::move(boxes)}};
    return root.dump(1) + "\n";
}

int64_t frameOf(double t, int64_t frames) {
    if (frames <= 0)
        return 0;
    return std::clamp<int64_t>(int64_t(std::llround(t * kRedactionRate)), 0, frames - 1);
}

std::vector<ZLXBoxSpan> boxSpans(const ZLXRedactionBox& box, int64_t frames) {
    std::vector<ZLXBoxSpan> spans;
    for (size_t k = 0; k < box.keys.size(); ++k) {
        const int64_t first = k == 0 && !box.keys[0].end ? 0 : frameOf(box.keys[k].t, frames);
        const int64_t last = k + 1 < box.keys.size() ? frameOf(box.keys[k + 1].t, frames) : frames;
        if (last > first)
            spans.push_back({first, last, k, !box.keys[k].end});
    }
    return spans;
}

ZLXBoxPath heldPath(const ZLXRedactionBox& box, int64_t frames) {
    ZLXBoxPath path(size_t(std::max<int64_t>(frames, 0)));
    for (const ZLXBoxSpan& span : boxSpans(box, frames)) {
        if (!span.present)
            continue;
        for (int64_t f = span.first; f < span.last; ++f)
            path[size_t(f)].rect = box.keys[span.key].rect;
    }
    return path;
}

ZLXBoxRect widenedBox(const ZLXBoxRect& held, double secondsLost, ZLXPictureSize picture) {
    const double grow = std::min(1.0 + 0.5 * std::max(0.0, secondsLost), 3.0);
    const double w = held.w * grow, h = held.h * grow;
    double x = held.x + held.w / 2 - w / 2, y = held.y + held.h / 2 - h / 2;
    double right = x + w, bottom = y + h;
    if (picture.width > 0 && picture.height > 0) {
        x = std::max(0.0, x);
        y = std::max(0.0, y);
        right = std::min(double(picture.width), right);
        bottom = std::min(double(picture.height), bottom);
    }
    return {x, y, right - x, bottom - y};
}

std::vector<int64_t> ZLXRedactionPaths::lostFrames() const {
    std::vector<int64_t> lost;
    for (int64_t f = 0; f < frames; ++f) {
        if (std::any_of(paths.begin(), paths.end(),
                        [f](const ZLXBoxPath& p) { return size_t(f) < p.size() && p[size_t(f)].lost; }))
            lost.push_back(f);
    }
    return lost;
}

std::vector<ZLXBoxRect> ZLXRedactionPaths::boxesAround(ZLXRedactionChannel channel, double t) const {
    std::vector<ZLXBoxRect> boxes;
    if (frames <= 0)
        return boxes;
    // the frames either side of the moment: the picture shown at `t` lies between two of them
    const double at = t * kRedactionRate;
    const int64_t first = std::clamp<int64_t>(int64_t(std::floor(at)) - 1, 0, frames - 1);
    const int64_t last = std::clamp<int64_t>(int64_t(std::ceil(at)) + 1, 0, frames - 1);
    for (size_t b = 0; b < paths.size(); ++b) {
        if (channels[b] != channel)
            continue;
        ZLXBoxRect united;
        for (int64_t f = first; f <= last; ++f) {
            if (size_t(f) < paths[b].size() && paths[b][size_t(f)].rect)
                united = unite(united, *paths[b][size_t(f)].rect);
        }
        if (!united.empty())
            boxes.push_back(united);
    }
    return boxes;
}

std::vector<ZLXBoxRect> ZLXRedactionPaths::boxesAt(ZLXRedactionChannel channel, double t) const {
    std::vector<ZLXBoxRect> boxes;
    const int64_t f = frameOf(t, frames);
    for (size_t b = 0; b < paths.size() && frames > 0; ++b) {
        if (channels[b] == channel && size_t(f) < paths[b].size() && paths[b][size_t(f)].rect)
            boxes.push_back(*paths[b][size_t(f)].rect);
    }
    return boxes;
}

std::optional<ZLXChannelPlacement> channelPlacement(const ZLXClipOptions& options, ZLXRedactionChannel channel,
                                                    ZLXPictureSize source, bool rearInClip) {
    if (source.width <= 0 || source.height <= 0)
        return std::nullopt;
    const auto scaled = [&](double x0, double y0, double width, double height) {
        return ZLXChannelPlacement{x0, y0, width / source.width, height / source.height};
    };
    const bool front = channel == ZLXRedactionChannel::Front;
    switch (options.layout) {
    case ZLXClipLayout::SideBySide:
        if (!front && !rearInClip)
            return std::nullopt;
        return scaled(front ? 0 : 960, 0, 960, 540);
    case ZLXClipLayout::PictureInPicture:
        if (front)
            return scaled(0, 0, 1280, 720);
        if (!rearInClip)
            return std::nullopt;
        // the inset: 400 x 225, 16 pixels from the right, at the bottom or (with captions) the top
        return scaled(1280 - 400 - 16, options.captions ? 16 : 720 - 225 - 16, 400, 225);
    case ZLXClipLayout::Front:
        return front ? std::optional(scaled(0, 0, 1280, 720)) : std::nullopt;
    case ZLXClipLayout::Original:
        return std::nullopt;
    }
    return std::nullopt;
}

ZLXMaskGrid maskGrid(ZLXPictureSize clip, int cell) {
    cell = std::max(cell, 1);
    return {(clip.width + cell - 1) / cell, (clip.height + cell - 1) / cell, cell};
}

void redactionMask(const ZLXRedactionPaths& paths, double t, const ZLXMaskGrid& grid,
                   const std::optional<ZLXChannelPlacement>& front, const std::optional<ZLXChannelPlacement>& rear,
                   std::vector<uint8_t>& mask) {
    mask.assign(size_t(grid.columns) * size_t(grid.rows), 0);
    for (const ZLXRedactionChannel channel : {ZLXRedactionChannel::Front, ZLXRedactionChannel::Rear}) {
        const auto& placement = channel == ZLXRedactionChannel::Front ? front : rear;
        if (!placement)
            continue;
        for (const ZLXBoxRect& box : paths.boxesAround(channel, t)) {
            // every cell the box touches, and one more all round: no pixel of the box is left
            // out, and a tracker's box that strays by a few pixels still covers what it follows
            const double x0 = placement->x0 + box.x * placement->scaleX, x1 = x0 + box.w * placement->scaleX;
            const double y0 = placement->y0 + box.y * placement->scaleY, y1 = y0 + box.h * placement->scaleY;
            const int c0 = std::clamp(int(std::floor(x0 / grid.cell)) - 1, 0, grid.columns);
            const int c1 = std::clamp(int(std::ceil(x1 / grid.cell)) + 1, 0, grid.columns);
            const int r0 = std::clamp(int(std::floor(y0 / grid.cell)) - 1, 0, grid.rows);
            const int r1 = std::clamp(int(std::ceil(y1 / grid.cell)) + 1, 0, grid.rows);
            for (int r = r0; r < r1; ++r)
                std::fill(mask.begin() + r * grid.columns + c0, mask.begin() + r * grid.columns + c1, uint8_t(255));
        }
    }
}

} // namespace daxo
