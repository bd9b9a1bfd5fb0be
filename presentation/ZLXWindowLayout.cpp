// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXWindowLayout.h"

#include <algorithm>

namespace daxo {
namespace {

int atLeast0(int v) {
    return std::max(0, v);
}

} // namespace

ZLXWindowLayout layoutWindow(int width, int height, bool fullScreen, int rightViewMode, int tripSlider) {
    ZLXWindowLayout l;
    l.backgroundBox = {0, 0, width, height};
    if (!fullScreen) {
        l.headBox = {0, 0, width, 50};
        l.bodyBox = {0, 50, width, atLeast0(height - 50)};
        const int body = l.bodyBox.height;
        l.bodyRightBox = {atLeast0(width - 10 - 334), 0, 334, atLeast0(body - 8)};
        l.bodyLeftBox = {10, 0, atLeast0(width - 10 - 10 - 334 - 10), atLeast0(body - 8)};
        const int left = l.bodyLeftBox.height, lw = l.bodyLeftBox.width;
        const int controls = 72 + std::max(0, tripSlider);
        l.mediaControlBox = {0, atLeast0(left - controls), lw, controls};
        l.gsensorBox = {0, atLeast0(left - controls - 4 - 130), lw, 130};
        l.videoBox = {0, 0, lw, atLeast0(left - controls - 4 - 130 - 4)};
        const int right = l.bodyRightBox.height;
        l.sideButtonBox = {0, 0, 334, 32};
        l.subVideoBox = {0, atLeast0(right - 250), 334, 250};
        l.mediaListBox = {0, 32, 334, atLeast0(right - 32 - 250)};
        const ZLXRect whole{0, 0, 334, l.mediaListBox.height};
        if (rightViewMode == 0) {
            l.mediaListScrollView = whole;
        } else if (rightViewMode == 2) {
            l.tripListView = whole;
        } else {
            l.mapContainerView = whole;
            l.mapContainerTopView = {0, 0, 334, atLeast0(whole.height - 57)};
            l.mapContainerBottomView = {0, atLeast0(whole.height - 57), 334, 57};
        }
    } else {
        l.bodyBox = {0, 0, width, height};
        l.bodyLeftBox = {0, 0, width, atLeast0(height - 2)};
        const int left = l.bodyLeftBox.height;
        l.videoBox = {0, 0, width, atLeast0(left - 36)};
        l.mediaControlBoxForFullScreen = {0, atLeast0(left - 36), atLeast0(width - 2), 36};
    }
    return l;
}

ZLXRect placeBeside(const ZLXRect& beside, int width, int height, const ZLXRect& screen) {
    width = std::min(width, screen.width);
    height = std::min(height, screen.height);
    int x = beside.x + beside.width;
    if (x + width > screen.x + screen.width)
        x = beside.x - width >= screen.x ? beside.x - width : screen.x + screen.width - width;
    const int y = std::clamp(beside.y, screen.y, screen.y + screen.height - height);
    return {std::max(x, screen.x), y, width, height};
}

} // namespace daxo
