// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXZoom.h"

#include <algorithm>

namespace daxo {
namespace {

// The picture never leaves part of the view empty: at most half of what overhangs.
double clampPan(double pan, double factor) {
    const double limit = 0.5 - 0.5 / factor;
    return std::clamp(pan, -limit, limit);
}

} // namespace

void pictureAt(const ZLXZoom& zoom, double x, double y, double* pictureX, double* pictureY) {
    // a picture point p shows at (p + pan) × factor
    *pictureX = x / zoom.factor - zoom.panX;
    *pictureY = y / zoom.factor - zoom.panY;
}

ZLXZoom zoomAbout(const ZLXZoom& zoom, double factor, double x, double y) {
    factor = std::clamp(factor, 1.0, kMaxZoom);
    double px = 0, py = 0;
    pictureAt(zoom, x, y, &px, &py);
    return {factor, clampPan(x / factor - px, factor), clampPan(y / factor - py, factor)};
}

ZLXZoom panBy(const ZLXZoom& zoom, double dx, double dy) {
    return {zoom.factor, clampPan(zoom.panX + dx / zoom.factor, zoom.factor),
            clampPan(zoom.panY + dy / zoom.factor, zoom.factor)};
}

ZLXPictureRect shownPart(const ZLXZoom& zoom, double viewWidth, double viewHeight) {
    double left = 0, top = 0, right = 0, bottom = 0;
    pictureAt(zoom, -viewWidth / 2, -viewHeight / 2, &left, &top);
    pictureAt(zoom, viewWidth / 2, viewHeight / 2, &right, &bottom);
    left = std::clamp(left, -0.5, 0.5), right = std::clamp(right, -0.5, 0.5);
    top = std::clamp(top, -0.5, 0.5), bottom = std::clamp(bottom, -0.5, 0.5);
    return {left + 0.5, top + 0.5, right - left, bottom - top};
}

} // namespace daxo
