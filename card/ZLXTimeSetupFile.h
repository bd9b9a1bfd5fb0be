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

// The years the camera's clock keeps (and the clock window offers).
inline constexpr int kClockFirstYear = 2000;
inline constexpr int kClockLastYear = 2099;

// "2024/05/06 13:07:09".
std::string timeSetupText(const ZLXClockTime& time);

// Why the camera cannot be set to `time` (a day that does not exist, a year outside its
// clock), else nothing.
std::optional<std::string> clockTimeRefusal(const ZLXClockTime& time);

// Writes the text at the start of the file, creating it when missing; whatever an existing
// file holds after the 19th byte stays. The new file takes the old one's name only once it is
// complete, so a full card keeps the old file; a link or anything but a regular file in its
// place is refused. Nothing on success, else what went wrong.
std::optional<std::string> writeTimeSetupFile(const std::string& path, const ZLXClockTime& time);

} // namespace daxo
