// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ZLXValidator.h"

#include "library/ZLXNumberText.h"

#include <string>

namespace daxo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool ZLXValidator::stringIsNumber(std::string_view text) {
    const auto end = scanDecimalNumber(text, skipBlanks(text));
    return end && skipBlanks(text, *end) == text.size();
}

std::string ZLXValidator::numericStringFromString(std::string_view text) {
    for (size_t n = text.size(); n > 0; --n) {
        if (stringIsNumber(text.substr(0, n)))
            return std::string(text.substr(0, n));
    }
    return {};
}

std::optional<ZLXMessage> ZLXValidator::validateGsensorThreshold(std::optional<std::string_view> text) {
    if (!text || text->empty())
        return std::nullopt;
    const size_t start = skipBlanks(*text);
    const auto end = scanDecimalNumber(*text, start);
    if (!end)
        return ZLXMessage{"msg.input_value_invalid_format", {}};
    const double value = decimalNumber(text->substr(start, *end - start));
    if (value < kMinThreshold || value > kMaxThreshold)
        return ZLXMessage{"msg.gsensor_outofrange_fmt", {kMinThreshold, kMaxThreshold}};
    return std::nullopt;
}

std::optional<ZLXMessage> ZLXValidator::validateSDCardSizeRatio(int percent) {
    if (percent <= 9)
        return ZLXMessage{"msg.sdcard_ratio_too_low", {}};
    return std::nullopt;
}

std::string filterPlateText(std::string_view text) {
    std::string kept;
    for (char c : text) {
        if (kept.size() == 8)
            break;
        if (isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            kept.push_back(c);
    }
    return kept;
}

} // namespace daxo
