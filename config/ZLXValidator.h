// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of what the user types on the settings pages. A failed check gives a message: a key
// of the string table and the numbers its text takes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace daxo {

struct ZLXMessage {
    std::string key;
    std::vector<double> arguments;
    std::string text = {}; // a text argument, after the numbers (a list of the values offered)
    bool operator==(const ZLXMessage&) const = default;
};

class ZLXValidator {
public:
    // The whole text is one decimal number (blanks around it allowed).
    static bool stringIsNumber(std::string_view text);
    // The longest prefix that is a number; empty when none is.
    static std::string numericStringFromString(std::string_view text);
    // An impact threshold in g: empty is fine, else 0.05 to 1.5 read from the text's start.
    static std::optional<ZLXMessage> validateGsensorThreshold(std::optional<std::string_view> text);
    // A share of the card: at least 10 percent.
    static std::optional<ZLXMessage> validateSDCardSizeRatio(int percent);

    static constexpr double kMinThreshold = 0.05;
    static constexpr double kMaxThreshold = 1.5;
};

// The plate text as the camera takes it: ASCII letters and digits only, at most 8.
std::string filterPlateText(std::string_view text);

} // namespace daxo
