// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window's boxes go, for a content size, normal or full screen. Rectangles are
// in their parent box's coordinates, y growing downwards.
#pragma once

namespace daxo {

struct ZLXRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ZLXRect&) const = default;
};

// Where a window of `size` goes beside `beside`: to its right if it fits on `screen`, else to
// its left, else as far right as the screen allows; never beyond the screen's edges.
ZLXRect placeBeside(const ZLXRect& beside, int width, int height, const ZLXRect& screen);

struct ZLXWindowLayout {
    ZLXRect backgroundBox;            // in the window's content
    ZLXRect headBox, bodyBox;         // in backgroundBox; headBox empty in full screen
    ZLXRect bodyLeftBox, bodyRightBox; // in bodyBox; bodyRightBox empty in full screen
    ZLXRect videoBox, gsensorBox, mediaControlBox, mediaControlBoxForFullScreen; // in bodyLeftBox
    ZLXRect sideButtonBox, mediaListBox, subVideoBox;                          // in bodyRightBox
    ZLXRect mediaListScrollView, mapContainerView, tripListView;                // in mediaListBox
    ZLXRect mapContainerTopView, mapContainerBottomView;                        // in mapContainerView
};

// Head 50; left column with 10-point margins (video, 4, G-sensor 130, 4, controls 72); right
// column 334 wide (side buttons 32, table or map, partner video 250); 8 at the bottom. In full
// screen the video above a 36-point strip, 2 points from the right and bottom edges.
// Side view modes: 0 the table, 1 the map, 2 the trips. While a trip plays the controls are
// `tripSlider` taller, for the trip's slider under the recording's.
ZLXWindowLayout layoutWindow(int width, int height, bool fullScreen, int rightViewMode, int tripSlider = 0);

} // namespace daxo
