// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers at the start of a text, as the camera writes them in names and sentences:
// leading blanks skipped, an optional sign, then the longest number there; 0 when there is none.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace daxo {

// Decimal digits; saturates at the limits of 32 bits.
int32_t leadingInteger(std::string_view text);
// Digits with an optional fraction and exponent, as single precision, widened.
double leadingFloat(std::string_view text);

// The position of the first character at or after `start` that is not a blank.
size_t skipBlanks(std::string_view text, size_t start = 0);

// Where the decimal number (sign, digits, fraction, exponent) starting at `start` ends; none
// when there is no number there.
std::optional<size_t> scanDecimalNumber(std::string_view text, size_t start);
// The value of a number that scanDecimalNumber found, whatever the C locale says.
double decimalNumber(std::string_view number);

} // namespace daxo
