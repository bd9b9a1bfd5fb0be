// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers at the start of a text, read the way the camera's texts have always been read:
// leading blanks skipped, an optional sign, then the longest number there; 0 when there is none.
#pragma once

#include <cstdint>
#include <string_view>

namespace daxo {

// Decimal digits; saturates at the limits of 32 bits.
int32_t leadingInteger(std::string_view text);
// Digits with an optional fraction and exponent, as single precision, widened.
double leadingFloat(std::string_view text);

} // namespace daxo
