// SPDX-License-Identifier: GPL-3.0-or-later
// Zooming into the large picture: the point under the pointer stays, the picture always
// covers the view, 1× to 8×.
#include "presentation/ZLXZoom.h"

#include <gtest/gtest.h>

namespace daxo {
namespace {

TEST(Zoom, ThePointUnderThePointerStaysWhereItIs) {
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {0.3, -0.2}, {-0.5, 0.5}, {0.5, 0.5}}) {
        double before[2], after[2];
        ZLXZoom zoom;
        pictureAt(zoom, x, y, &before[0], &before[1]);
        zoom = zoomAbout(zoom, 2, x, y);
        pictureAt(zoom, x, y, &after[0], &after[1]);
        EXPECT_NEAR(after[0], before[0], 1e-12) << x;
        EXPECT_NEAR(after[1], before[1], 1e-12) << y;
        zoom = zoomAbout(zoom, 4, x / 2, y / 2); // a second step elsewhere
        double again[2];
        pictureAt(zoom, x / 2, y / 2, &again[0], &again[1]);
        double expected[2];
        pictureAt(zoomAbout(ZLXZoom{}, 2, x, y), x / 2, y / 2, &expected[0], &expected[1]);
        EXPECT_NEAR(again[0], expected[0], 1e-12);
    }
}

TEST(Zoom, ThePictureAlwaysCoversTheViewFromOneToEightTimes) {
    // at the edges: the corner of the view shows the corner of the picture, never beyond it
    const ZLXZoom corner = zoomAbout(ZLXZoom{}, 3, 0.5, 0.5);
    double px, py;
    pictureAt(corner, 0.5, 0.5, &px, &py);
    EXPECT_NEAR(px, 0.5, 1e-12);
    EXPECT_NEAR(py, 0.5, 1e-12);
    const ZLXZoom dragged = panBy(corner, -5, -5); // a drag far past the edge
    pictureAt(dragged, 0.5, 0.5, &px, &py);
    EXPECT_NEAR(px, 0.5, 1e-12);
    pictureAt(dragged, -0.5, -0.5, &px, &py);
    EXPECT_GE(px, -0.5 - 1e-12);
    EXPECT_EQ(zoomAbout(ZLXZoom{}, 20, 0, 0).factor, 8);
    EXPECT_EQ(zoomAbout(ZLXZoom{}, 0.5, 0.2, 0.2), ZLXZoom{}); // below 1: the whole picture, centred
}

TEST(Zoom, TheShownPartOfThePicture) {
    const ZLXPictureRect whole = shownPart(ZLXZoom{}, 1, 1);
    EXPECT_DOUBLE_EQ(whole.width, 1);
    const ZLXPictureRect centre = shownPart(zoomAbout(ZLXZoom{}, 2, 0, 0), 1, 1);
    EXPECT_DOUBLE_EQ(centre.x, 0.25);
    EXPECT_DOUBLE_EQ(centre.y, 0.25);
    EXPECT_DOUBLE_EQ(centre.width, 0.5);
    // a view twice as wide as the picture shows its whole width at 2x, half its height
    const ZLXPictureRect wide = shownPart(zoomAbout(ZLXZoom{}, 2, 0, 0), 2, 1);
    EXPECT_DOUBLE_EQ(wide.x, 0);
    EXPECT_DOUBLE_EQ(wide.width, 1);
    EXPECT_DOUBLE_EQ(wide.height, 0.5);
}

} // namespace
} // namespace daxo
