// SPDX-License-Identifier: GPL-3.0-or-later
// The image-drawn controls' rules: the pointer count, the three- and nine-part geometry.
#include "presentation/ZLXPartImages.h"

#include <gtest/gtest.h>

namespace daxo {
namespace {

TEST(PartImages, ThePointerCountNeverGoesBelowZero) {
    ZLXCaptureCount captures;
    captures.mouseExited(); // an exit whose enter was missed
    captures.mouseExited();
    EXPECT_EQ(captures.count(), 0);
    captures.mouseEntered();
    EXPECT_TRUE(captures.showsRollover(true));
    EXPECT_FALSE(captures.showsRollover(false)); // disabled: the inactive image, pointer or not
    captures.mouseExited();
    EXPECT_FALSE(captures.showsRollover(true));
    captures.set(-3);
    EXPECT_EQ(captures.count(), 0);
}

TEST(PartImages, NineAndThreePartGeometry) {
    // a 30 × 30 image in a 100 × 40 frame: 10 × 10 corners, a middle row 20 high, a middle column 80 wide
    const auto nine = ninePartGeometry(100, 40, 10, 10);
    EXPECT_EQ(nine[0][0], (ZLXPartRect{0, 0, 10, 10}));
    EXPECT_EQ(nine[2][2], (ZLXPartRect{90, 30, 10, 10}));
    EXPECT_EQ(nine[1][1], (ZLXPartRect{10, 10, 80, 20}));
    EXPECT_EQ(nine[1][0].height, 20);
    EXPECT_EQ(nine[0][1].width, 80);
    // fractional blocks: the bottom row rounds down, the middle row starts rounded up
    const auto odd = ninePartGeometry(50, 50, 10.5, 10.5);
    EXPECT_EQ(odd[0][0].height, 10);
    EXPECT_EQ(odd[1][0].y, 11);
    const auto three = threePartGeometry(200, 22, 8, 8);
    EXPECT_EQ(three[1], (ZLXPartRect{8, 0, 184, 22}));
    EXPECT_EQ(three[2], (ZLXPartRect{192, 0, 8, 22}));
}

} // namespace
} // namespace daxo
