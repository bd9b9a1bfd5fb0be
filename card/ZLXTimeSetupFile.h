// SPDX-License-Identifier: GPL-3.0-or-later
// timeset.cfg: the file the camera sets its clock from, 19 ASCII bytes "yyyy/MM/dd HH:mm:ss"
// at the root of its card, without a line end.
#pragma once

#include <optional>
#include <string>

namespace daxo {

struct ZLXClockTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "2024/05/06 13:07:09".
std::string timeSetupText(const ZLXClockTime& time);

// Writes the text at the start of the file, creating it when missing; whatever an existing
// file holds after the 19th byte stays. Nothing on success, else what went wrong.
std::optional<std::string> writeTimeSetupFile(const std::string& path, const ZLXClockTime& time);

} // namespace daxo
