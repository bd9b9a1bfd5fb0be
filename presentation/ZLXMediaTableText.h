// SPDX-License-Identifier: GPL-3.0-or-later
// What each column of the recording table shows for one record.
#pragma once

#include "library/ZLXMedia.h"

#include <array>
#include <memory>
#include <vector>
#include <optional>
#include <string>

namespace daxo {

// The columns "saveMode", "date", "time" and "file", in that order.
struct ZLXMediaTableColumn {
    const char* titleKey;
    bool centred; // else left-aligned
};

inline constexpr std::array<ZLXMediaTableColumn, 4> kMediaTableColumns{{
    {"filelist.mode", true},
    {"filelist.date", true},
    {"filelist.time", true},
    {"filelist.file", false},
}};

// "2020-01-31", or empty for a record without a date; short: "01-31", for a narrow table.
std::string mediaDateText(const ZLXMedia& media, bool shortForm = false);
// "23:59:59", or empty for a record without a date.
std::string mediaTimeText(const ZLXMedia& media);
// String-table key of the mode text: "media.always", "media.motion", "media.event".
const char* mediaModeKey(const ZLXMedia& media);
// Image of the mode cell, "car_front_alwa" ... "car_rear_event"; none for an Unknown channel.
std::optional<std::string> mediaModeImageName(const ZLXMedia& media);

// One CSV field: as it is, or quoted (quotes doubled) when it holds a comma, a quote or a
// line end.
std::string csvField(const std::string& text);

// The recording table as CSV for scripts: "mode,date,time,path" then one line per record, the
// mode as "always", "motion" or "event", the path as the file system's bytes (quoted when it
// holds a comma, a quote or a line end).
std::string mediaListCsv(const std::vector<std::shared_ptr<const ZLXMedia>>& medias);

} // namespace daxo
