// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows of a recording's telemetry at a playback position.
#pragma once

#include "telemetry/ZLXBlackBoxData.h"

#include <optional>
#include <string>

namespace daxo {

// The sample for position p (0 to 1) in a list of n: p x n, the last one at the end.
size_t sampleIndex(double position, size_t count);

// "X=+0.53", "Y=-1.20", "Z=0.00": a plus only above zero.
std::string gsensorText(char axis, float value);

struct ZLXTelemetryDisplay {
    // G-sensor texts; none when the recording has no samples (the fields keep their texts).
    std::optional<std::string> x, y, z;
    // The page script to run: a position, or the note that there is no GPS data.
    std::optional<std::string> mapScript;
    // Speed, HDOP and satellites; none where the fields keep their texts.
    std::optional<std::string> speed, hdop, satellites;
};

// Everything shown at one position. The signs of latitude and longitude come from the fix's
// own hemispheres; a fix index beyond the fix list takes the last fix. A fix without a
// position (taken before the receiver had one) changes nothing on the map or in the fields.
ZLXTelemetryDisplay telemetryDisplayAt(const ZLXBlackBoxData& data, double position);

} // namespace daxo
