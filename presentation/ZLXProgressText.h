// SPDX-License-Identifier: GPL-3.0-or-later
// The text beside a progress bar: the percentage done and an estimate of the time left,
// measured over a moving window of 3.5 to 7 seconds.
#pragma once

#include <optional>
#include <string>

namespace daxo {

// "About 20 minutes remaining" ... "About five seconds remaining" for r seconds left.
std::string remainingTimeText(double seconds);

class ZLXProgressText {
public:
    bool displayPercentage = false;
    bool displayTimeRemaining = true;

    // The text for a value at time `now` (seconds on any steady clock); nothing when the text
    // is to be left as it was.
    std::optional<std::string> update(double value, double minValue, double maxValue,
                                      bool indeterminate, double now);

private:
    std::optional<double> m_startTime, m_startTime2;
    double m_startFraction = 0, m_startFraction2 = 0;
};

} // namespace daxo
