// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXNumberText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

namespace daxo {
namespace {

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips leading blanks and an optional sign; returns whether the sign was '-'.
bool skipBlanksAndSign(std::string_view text, size_t& i) {
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        return text[i++] == '-';
    return false;
}

} // namespace

double leadingFloat(std::string_view field) {
    size_t i = 0;
    const bool negative = skipBlanksAndSign(field, i);
    // The longest decimal number here: digits, an optional fraction, an optional exponent.
    const size_t start = i;
    size_t digits = 0;
    while (i < field.size() && isDigit(field[i]))
        ++i, ++digits;
    if (i < field.size() && field[i] == '.') {
        ++i;
        while (i < field.size() && isDigit(field[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0.0;
    size_t end = i;
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        size_t j = i + 1;
        if (j < field.size() && (field[j] == '+' || field[j] == '-'))
            ++j;
        if (j < field.size() && isDigit(field[j])) {
            while (j < field.size() && isDigit(field[j]))
                ++j;
            end = j;
        }
    }
    float value = 0.0f;
    const auto result = std::from_chars(field.data() + start, field.data() + end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow: decide by the exponent.
        const std::string_view text = field.substr(start, end - start);
        const size_t e = text.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
        value = tiny ? 0.0f : HUGE_VALF;
    }
    return negative ? -double(value) : double(value);
}

int32_t leadingInteger(std::string_view field) {
    size_t i = 0;
    const bool negative = skipBlanksAndSign(field, i);
    int64_t value = 0;
    for (; i < field.size() && isDigit(field[i]); ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1; // saturate, as the usual reading does
    }
    if (negative)
        return value > int64_t(INT32_MAX) ? INT32_MIN : int32_t(-value);
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}


} // namespace daxo
