// SPDX-License-Identifier: GPL-3.0-or-later
// What the two video surfaces of the viewer show at the same instant: the frame numbers read
// from their pictures (recordings made by makeNumberedMp4), sampled at a fixed interval.
#pragma once

#include "FrameNumber.h"
#include "app/ZLXAppDelegate.h"
#include "app/player/ZLXVideoView.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <vector>

namespace daxo::test {

struct PairSamples {
    std::vector<int> gaps;     // |front - rear| in frames, where both show a picture
    int onePictureOnly = 0;    // samples where one surface had a picture and the other not
    int lastLarge = -1, lastSmall = -1;

    int maxGap() const { return gaps.empty() ? -1 : *std::max_element(gaps.begin(), gaps.end()); }
    // The largest gap seen in two samples in a row: what stays on screen long enough to be seen
    // (one sample alone may be a surface a moment late on a loaded machine).
    int lastingGap() const {
        int lasting = gaps.size() == 1 ? gaps[0] : -1;
        for (size_t i = 1; i < gaps.size(); ++i)
            lasting = std::max(lasting, std::min(gaps[i - 1], gaps[i]));
        return lasting;
    }
    // The gap below which `fraction` of the samples lie.
    int percentile(double fraction) const {
        if (gaps.empty())
            return -1;
        std::vector<int> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())))];
    }
};

// Samples both surfaces every `everyMs` for `forMs`, reading pictures of a `video`-sized
// recording.
inline PairSamples samplePair(const ZLXAppDelegate& viewer, int forMs, int everyMs, QSize video) {
    PairSamples samples;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < forMs) {
        QTest::qWait(everyMs);
        const int large = frameNumberIn(viewer.video1View()->currentFrame(), video);
        const int small = frameNumberIn(viewer.video2View()->currentFrame(), video);
        if ((large < 0) != (small < 0))
            ++samples.onePictureOnly;
        else if (large >= 0)
            samples.gaps.push_back(std::abs(large - small));
        samples.lastLarge = large;
        samples.lastSmall = small;
    }
    return samples;
}

} // namespace daxo::test
