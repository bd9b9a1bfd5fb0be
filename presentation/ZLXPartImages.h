// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the window's image-drawn controls: the names of a button's hover and pressed
// images, the count of pointer captures that decides the hover image, and where the pieces of a
// three-part strip and a nine-part frame go.
#pragma once

#include <array>
#include <string>

namespace daxo {

// "play_n" with suffix "_f" is "play_f": the last two characters give way to the suffix.
std::string buttonImageNameWithSuffix(const std::string& name, const std::string& suffix);

// How many times the pointer is inside a button's area (enters minus exits, never below 0).
class ZLXCaptureCount {
public:
    void mouseEntered() { set(m_count + 1); }
    void mouseExited() { set(m_count - 1); }
    void set(long long count) {
        if (count >= 0)
            m_count = count;
    }
    void reset() { m_count = 0; }
    long long count() const { return m_count; }
    // The hover image shows only for an enabled button with the pointer inside.
    bool showsRollover(bool enabled) const { return enabled && m_count > 0; }

private:
    long long m_count = 0;
};

struct ZLXPartRect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ZLXPartRect&) const = default;
};

// The nine blocks of a frame of `width` × `height` for blocks of `blockWidth` × `blockHeight`,
// [row][column], row 0 at the bottom (y = 0), column 0 at the left: corners keep the block's
// size, edges and centre stretch.
std::array<std::array<ZLXPartRect, 3>, 3> ninePartGeometry(double width, double height, double blockWidth,
                                                           double blockHeight);

// Left and right pieces at their own widths, the middle stretched between them.
std::array<ZLXPartRect, 3> threePartGeometry(double width, double height, double leftWidth, double rightWidth);

} // namespace daxo
