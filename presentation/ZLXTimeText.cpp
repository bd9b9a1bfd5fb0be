// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXTimeText.h"

#include <cstdio>
#include <cstdlib>

namespace daxo {

std::string ZLXTimeString(std::optional<int64_t> milliseconds) {
    if (!milliseconds)
        return "--:--";
    const int64_t value = *milliseconds;
    // The magnitude in unsigned arithmetic: INT64_MIN has no positive counterpart.
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const char* sign = value < 0 ? "-" : "";
    const auto hours = static_cast<unsigned long long>(magnitude / 3600000);
    const auto minutes = static_cast<unsigned long long>(magnitude / 60000 % 60);
    const auto seconds = static_cast<unsigned long long>(magnitude / 1000 % 60);
    char text[64];
    if (magnitude >= 3600000)
        std::snprintf(text, sizeof text, "%s%llu:%02llu:%02llu", sign, hours, minutes, seconds);
    else
        std::snprintf(text, sizeof text, "%s%02llu:%02llu", sign, minutes, seconds);
    return text;
}

std::string ZLXPositionString(std::optional<int64_t> position, std::optional<int64_t> length, bool paused) {
    std::string text = ZLXTimeString(position);
    if (paused && position && *position >= 0) {
        char ms[8];
        std::snprintf(ms, sizeof ms, ".%03d", int(*position % 1000));
        text += ms;
    }
    return text + " / " + ZLXTimeString(length);
}

} // namespace daxo
