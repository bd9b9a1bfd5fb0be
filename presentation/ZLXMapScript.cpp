// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXMapScript.h"

#include <cmath>
#include <cstdio>

namespace daxo {

std::string mapSetLatLagScript(double longitude, double latitude) {
    // A value that is not a number would make the page's arguments meaningless text.
    if (!std::isfinite(longitude))
        longitude = 0;
    if (!std::isfinite(latitude))
        latitude = 0;
    char text[128];
    std::snprintf(text, sizeof text, "setLatLag('%lf','%lf')", longitude, latitude);
    return text;
}

std::string mapDebugScript(std::string_view text) {
    std::string script("ZLXDebug('");
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // Quotes and backslashes are escaped; so are control characters and '<', which keeps
        // "</script>" and the like inert wherever the text ends up.
        if (c == '\\' || c == '\'' || c == '<' || byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            script.append(escaped);
        } else {
            script.push_back(c);
        }
    }
    script.append("')");
    return script;
}

} // namespace daxo
