// SPDX-License-Identifier: GPL-3.0-or-later
// Zooming into the large video: a factor from 1 to 8 and a pan, both as the video output takes
// them (the pan in fractions of the zoomed picture's size), and the mapping between a point of
// the view and a point of the picture. Points are fractions of the picture's shown size from
// its centre (-0.5 to 0.5).
#pragma once

namespace daxo {

struct ZLXZoom {
    double factor = 1, panX = 0, panY = 0;
    bool operator==(const ZLXZoom&) const = default;
};

inline constexpr double kMaxZoom = 8;

// Where the view's point (x, y) is in the picture.
void pictureAt(const ZLXZoom& zoom, double x, double y, double* pictureX, double* pictureY);
// The zoom at `factor` (kept within 1 to 8) that leaves the picture point under (x, y) there.
ZLXZoom zoomAbout(const ZLXZoom& zoom, double factor, double x, double y);
// The zoom moved by (dx, dy) of the view, as a drag moves it; the picture always covers the view.
ZLXZoom panBy(const ZLXZoom& zoom, double dx, double dy);

// The part of the picture the view shows, in fractions of the picture (left, top, width,
// height within 0 to 1), for a view whose size is `viewWidth` × `viewHeight` times the picture's
// shown size at 1× (more than 1 on a letterboxed side).
struct ZLXPictureRect {
    double x = 0, y = 0, width = 1, height = 1;
};
ZLXPictureRect shownPart(const ZLXZoom& zoom, double viewWidth, double viewHeight);

} // namespace daxo
