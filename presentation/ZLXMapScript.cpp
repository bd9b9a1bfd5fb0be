// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXMapScript.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace daxo {

namespace {

// The text as a script string literal in single quotes.
void appendQuoted(std::string& script, std::string_view text) {
    script.push_back('\'');
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
    script.push_back('\'');
}

// A number with `decimals` places and a point, whatever the user's locale says.
void appendNumber(std::string& script, double v, int decimals) {
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, std::isfinite(v) ? v : 0.0,
                                            std::chars_format::fixed, decimals);
    script.append(text, error == std::errc() ? end : text);
}

} // namespace

std::string mapSetLatLagScript(double longitude, double latitude) {
    // A value that is not a number would make the page's arguments meaningless text.
    if (!std::isfinite(longitude))
        longitude = 0;
    if (!std::isfinite(latitude))
        latitude = 0;
    std::string script("setLatLag('");
    appendNumber(script, longitude, 6);
    script.append("','");
    appendNumber(script, latitude, 6);
    script.append("')");
    return script;
}

std::string mapDebugScript(std::string_view text) {
    std::string script("ZLXDebug(");
    appendQuoted(script, text);
    script.push_back(')');
    return script;
}

std::string mapRouteScript(const ZLXRoute& route, const std::vector<ZLXRouteMark>& marks, bool fit) {
    std::string script("showRoute([");
    bool firstLine = true;
    for (const auto& line : route.lines()) {
        script.append(firstLine ? "[" : ",[");
        firstLine = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const ZLXTrackPoint& p = *line[i].point;
            script.append(i ? ",[" : "[");
            appendNumber(script, p.latitude, 6);
            script.push_back(',');
            appendNumber(script, p.longitude, 6);
            script.push_back(',');
            appendNumber(script, p.speedKmh, 1);
            script.push_back(',');
            appendNumber(script, line[i].time, 2);
            script.push_back(']');
        }
        script.push_back(']');
    }
    script.append("],[");
    for (size_t i = 0; i < marks.size(); ++i) {
        script.append(i ? ",[" : "[");
        appendNumber(script, marks[i].latitude, 6);
        script.push_back(',');
        appendNumber(script, marks[i].longitude, 6);
        script.push_back(',');
        appendNumber(script, marks[i].time, 2);
        script.push_back(',');
        appendQuoted(script, marks[i].name);
        script.push_back(']');
    }
    script.append(fit ? "],true)" : "],false)");
    return script;
}

} // namespace daxo
