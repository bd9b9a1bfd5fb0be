// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXProgressText.h"

#include <algorithm>
#include <cstdio>

namespace daxo {

std::string remainingTimeText(double r) {
    if (r > 615) {
        char text[64];
        std::snprintf(text, sizeof text, "About %d minutes remaining", int(std::min(r, 1e8) / 60 + 0.75));
        return text;
    }
    struct Row {
        double above;
        const char* text;
    };
    static constexpr Row rows[] = {
        {555, "About ten minutes remaining"},   {495, "About nine minutes remaining"},
        {435, "About eight minutes remaining"}, {375, "About seven minutes remaining"},
        {315, "About six minutes remaining"},   {255, "About five minutes remaining"},
        {195, "About four minutes remaining"},  {135, "About three minutes remaining"},
        {75, "About two minutes remaining"},    {50, "About one minute remaining"},
        {10, "Less than a minute remaining"},   {5, "About ten seconds remaining"},
    };
    for (const Row& row : rows) {
        if (r > row.above)
            return row.text;
    }
    return "About five seconds remaining";
}

std::optional<std::string> ZLXProgressText::update(double v, double minValue, double maxValue,
                                                   bool indeterminate, double now) {
    if (indeterminate)
        return std::string();
    if (v < minValue + 0.00001) {
        m_startTime.reset();
        m_startTime2.reset();
    }
    std::optional<std::string> text;
    if (!m_startTime) {
        m_startTime = now;
        m_startFraction = v / maxValue;
        text = std::string();
    }
    if (now - *m_startTime > 3.5 && !m_startTime2) {
        m_startTime2 = now;
        m_startFraction2 = v / maxValue;
    }
    if (m_startTime2 && now - *m_startTime2 > 3.5) {
        m_startTime = m_startTime2;
        m_startFraction = m_startFraction2;
        m_startTime2.reset();
    }
    const double elapsed = now - *m_startTime;
    const double range = maxValue - minValue;
    const double f = range != 0 ? (v - minValue) / range : 0;
    std::optional<std::string> estimate;
    if (elapsed > 0.5 && displayTimeRemaining) {
        // Without progress since the window began there is nothing to estimate from.
        const double rate = (f - m_startFraction) / elapsed;
        if (rate > 0)
            estimate = remainingTimeText((1 - f) / rate);
    }
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.0f %% completed", f * 100);
    if (displayPercentage)
        return estimate ? std::string(percent) + " - " + *estimate : std::string(percent);
    if (estimate)
        return estimate;
    return text;
}

} // namespace daxo
