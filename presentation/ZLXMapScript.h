// SPDX-License-Identifier: GPL-3.0-or-later
// The script texts the program runs in the map page.
#pragma once

#include "telemetry/ZLXRoute.h"

#include <string>
#include <string_view>
#include <vector>

namespace daxo {

// "setLatLag('127.250000','37.500000')": longitude first, six decimals, negative west and south.
std::string mapSetLatLagScript(double longitude, double latitude);
// "ZLXDebug('text')", the text quoted for a script string.
std::string mapDebugScript(std::string_view text);

// "showRoute(lines, marks, fit)": each line a list of [lat, lng, km/h, seconds], each mark
// [lat, lng, seconds, text]; the page draws the lines coloured by speed and, with `fit`, shows
// the whole route.
std::string mapRouteScript(const ZLXRoute& route, const std::vector<ZLXRouteMark>& marks, bool fit);
inline constexpr const char* kMapClearRouteScript = "clearRoute()";

// The note that there is no GPS data, and no marker left from an earlier recording.
inline constexpr const char* kMapNoGpsScript = "ZLXDebug('GPS Data Count=Zero');clearPosition()";

} // namespace daxo
