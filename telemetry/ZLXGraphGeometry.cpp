// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXGraphGeometry.h"

#include <algorithm>
#include <cmath>

namespace daxo {

std::vector<ZLXGraphPoint> ZLXGraphGeometry::polyline(const std::vector<ZLXGSensor>& values,
                                                      ZLXGraphAxis axis) const {
    std::vector<ZLXGraphPoint> points;
    if (values.empty())
        return points;
    auto value = [axis](const ZLXGSensor& g) {
        return double(axis == ZLXGraphAxis::X ? g.x : axis == ZLXGraphAxis::Y ? g.y : g.z);
    };
    const double n = double(values.size());
    const double steps = areaWidth() * 10 + 1;
    const double ratio = n / steps;
    const double y0 = graphAreaZeroValuePoint().y;
    const double u = unit();
    points.reserve(steps > 1 ? size_t(std::ceil(steps)) : 1);
    points.push_back({21, value(values[0]) * u + y0});
    for (double k = 1; k < steps; ++k) {
        const double i = std::floor(ratio * k);
        if (i >= n)
            break;
        points.push_back({21 + k / 10, value(values[size_t(i)]) * u + y0});
    }
    return points;
}

double gAxisLimit(const std::vector<ZLXGSensor>& values) {
    double largest = 0;
    for (const ZLXGSensor& g : values) {
        for (const float v : {g.x, g.y, g.z}) {
            if (std::isfinite(v))
                largest = std::max(largest, double(std::fabs(v)));
        }
    }
    return std::max(2.0, std::ceil(largest - 1e-9));
}

} // namespace daxo
