// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXPartImages.h"

#include <cmath>

namespace daxo {

std::string buttonImageNameWithSuffix(const std::string& name, const std::string& suffix) {
    return (name.size() >= 2 ? name.substr(0, name.size() - 2) : std::string()) + suffix;
}

std::array<std::array<ZLXPartRect, 3>, 3> ninePartGeometry(double width, double height, double bw, double bh) {
    const double xs[3] = {0, bw, width - bw};
    const double ws[3] = {bw, width - 2 * bw, bw};
    const double ys[3] = {0, std::ceil(bh), height - bh};
    const double hs[3] = {std::floor(bh), height - 2 * bh, bh};
    std::array<std::array<ZLXPartRect, 3>, 3> parts{};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            parts[size_t(row)][size_t(column)] = {xs[column], ys[row], ws[column], hs[row]};
    }
    return parts;
}

std::array<ZLXPartRect, 3> threePartGeometry(double width, double height, double leftWidth, double rightWidth) {
    return {{{0, 0, leftWidth, height},
             {leftWidth, 0, width - leftWidth - rightWidth, height},
             {width - rightWidth, 0, rightWidth, height}}};
}

} // namespace daxo
