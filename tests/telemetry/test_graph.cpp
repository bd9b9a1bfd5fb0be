// SPDX-License-Identifier: GPL-3.0-or-later
// The G-sensor graph's geometry.
#include "telemetry/ZLXGraphGeometry.h"

#include <gtest/gtest.h>
#include <limits>

using namespace daxo;

namespace {

TEST(GraphGeometry, TenVerticesPerPointWhateverTheSampleCount) {
    const ZLXGraphGeometry g(400, 100);
    std::vector<ZLXGSensor> many(100000);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = ZLXGSensor(float(i % 7) / 4, -1, 0);
    const auto points = g.polyline(many, ZLXGraphAxis::X);
    ASSERT_EQ(points.size(), 3601u); // 360 points of width
    EXPECT_EQ(points.front(), (ZLXGraphPoint{21, 50}));
    EXPECT_DOUBLE_EQ(points.back().x, 21 + 360.0);
    // vertex k takes sample floor(n / steps * k)
    const size_t k = 1234;
    const size_t i = size_t(100000.0 / 3601.0 * double(k));
    EXPECT_DOUBLE_EQ(points[k].y, double(many[i].x) * 21 + 50);
    EXPECT_DOUBLE_EQ(g.polyline(many, ZLXGraphAxis::Y)[k].y, -21 + 50);
}

TEST(GraphGeometry, OneSampleIsAFlatLineAndNoneIsNothing) {
    const ZLXGraphGeometry g(400, 100);
    const auto flat = g.polyline({ZLXGSensor(0.5f, 2.5f, -1)}, ZLXGraphAxis::Z);
    ASSERT_EQ(flat.size(), 3601u);
    for (const auto& p : flat)
        ASSERT_EQ(p.y, 29);
    // beyond +-2 is not clipped
    EXPECT_EQ(g.polyline({ZLXGSensor(0.5f, 2.5f, -1)}, ZLXGraphAxis::Y)[7].y, 2.5 * 21 + 50);
    EXPECT_TRUE(g.polyline({}, ZLXGraphAxis::X).empty());
    // a view narrower than its margins draws only the first vertex
    EXPECT_EQ(ZLXGraphGeometry(30, 100).polyline({ZLXGSensor()}, ZLXGraphAxis::X).size(), 1u);
}

} // namespace

TEST(GraphGeometry, APlotsGAxisShowsTheLargestValueWhole) {
    EXPECT_EQ(gAxisLimit({}), 2);
    EXPECT_EQ(gAxisLimit({ZLXGSensor(0.5f, -1.9f, 1)}), 2);
    EXPECT_EQ(gAxisLimit({ZLXGSensor(0, 0, 1), ZLXGSensor(4.3f, 0, 1)}), 5);   // a hard blow
    EXPECT_EQ(gAxisLimit({ZLXGSensor(0, -3.0f, 1)}), 3);                      // a whole g, exactly
    EXPECT_EQ(gAxisLimit({ZLXGSensor(std::numeric_limits<float>::quiet_NaN(), 0, 1)}), 2);
}
