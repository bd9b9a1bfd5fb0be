// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXNumberText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

namespace daxo {
namespace {

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

size_t skipBlanks(std::string_view text, size_t i) {
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

namespace {

// Skips leading blanks and an optional sign; returns whether the sign was '-'.
bool skipBlanksAndSign(std::string_view text, size_t& i) {
    i = skipBlanks(text, i);
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        return text[i++] == '-';
    return false;
}

} // namespace

std::optional<size_t> scanDecimalNumber(std::string_view text, size_t i) {
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    // Digits, an optional fraction, an optional exponent; at least one digit.
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

template <typename T> T decimalValue(std::string_view number) {
    bool negative = false;
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    T value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow: decide by the exponent.
        const size_t e = number.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = tiny ? T(0) : std::numeric_limits<T>::infinity();
    }
    return negative ? -value : value;
}

double decimalNumber(std::string_view number) {
    return decimalValue<double>(number);
}

double leadingFloat(std::string_view field) {
    const size_t i = skipBlanks(field);
    const auto end = scanDecimalNumber(field, i);
    if (!end)
        return 0.0;
    return double(decimalValue<float>(field.substr(i, *end - i)));
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
