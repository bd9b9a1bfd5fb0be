// SPDX-License-Identifier: GPL-3.0-or-later
// Where the G-sensor graph puts things, in the view's own coordinates: origin at the bottom
// left, y growing upwards. The area spans -2 g at its bottom to +2 g at its top.
#pragma once

#include "telemetry/ZLXBlackBoxData.h"

#include <vector>

namespace daxo {

struct ZLXGraphPoint {
    double x = 0;
    double y = 0;
    bool operator==(const ZLXGraphPoint&) const = default;
};

enum class ZLXGraphAxis { X, Y, Z };

// The g either side of zero a plot needs to show every value whole: at least 2 g, else the
// largest magnitude rounded up to a whole g (a 4.3 g blow: 5 g).
double gAxisLimit(const std::vector<ZLXGSensor>& values);

class ZLXGraphGeometry {
public:
    ZLXGraphGeometry(double width, double height) : m_width(width), m_height(height) {}

    static ZLXGraphPoint graphAreaLeftBottom() { return {20, 8}; }
    // (W - 40, H - 16)
    ZLXGraphPoint graphAreaSize() const { return {m_width - 40, m_height - 16}; }
    ZLXGraphPoint graphAreaZeroValuePoint() const { return {20, 8 + areaHeight() / 2}; }
    double unit() const { return areaHeight() / 4; } // one g
    double areaWidth() const { return m_width - 40; }
    double areaHeight() const { return m_height - 16; }
    // The five grid lines and their labels, -2 to +2.
    double gridLineY(int i) const { return 8 + i * areaHeight() / 4; }
    double timeBarX(double timePosition) const { return 20 + areaWidth() * timePosition; }

    // Ten vertices per point of width, each the sample at the proportional index: the cost
    // depends on the width, never on the number of samples.
    std::vector<ZLXGraphPoint> polyline(const std::vector<ZLXGSensor>& values,
                                        ZLXGraphAxis axis) const;

private:
    double m_width;
    double m_height;
};

} // namespace daxo
