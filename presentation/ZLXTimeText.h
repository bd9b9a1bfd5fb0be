// SPDX-License-Identifier: GPL-3.0-or-later
// Playback times as text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace daxo {

// "mm:ss", or "h:mm:ss" above an hour; negative times (remaining time) carry a leading '-';
// no time at all is "--:--". Nothing left to play is "00:00".
std::string ZLXTimeString(std::optional<int64_t> milliseconds);

// The time text under the video: "00:05 / 00:20" while playing; paused, the position to the
// millisecond, "00:05.400 / 00:20", for frame-by-frame work. Nothing loaded is "--:-- / --:--".
std::string ZLXPositionString(std::optional<int64_t> position, std::optional<int64_t> length, bool paused);

} // namespace daxo
