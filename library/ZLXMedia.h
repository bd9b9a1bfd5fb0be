// SPDX-License-Identifier: GPL-3.0-or-later
// One recording file of the camera, as its name describes it, and the front/rear pair of a group.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace daxo {

enum class ZLXMediaDivision : int32_t { Always = 0, Motion = 1, Event = 2 };
enum class ZLXMediaDirection : int32_t { Front = 0, Rear = 1, Unknown = 2 };

// Recording names: "alwa_" / "motion_" / "event_" + "yyyymmdd_hhmiss" + "_F" / "_R".
inline constexpr size_t kAlwaysNameLength = 22;
inline constexpr size_t kEventNameLength = 23;
inline constexpr size_t kMotionNameLength = 24;
inline constexpr size_t kDateTimeLength = 15;

class ZLXMedia {
public:
    ZLXMedia() = default;
    explicit ZLXMedia(std::string_view path) { parsePath(path); } // initWithPath:
    static std::shared_ptr<ZLXMedia> mediaWithPath(std::string_view path) {
        return std::make_shared<ZLXMedia>(path);
    }

    // Fills every field from the path; never fails: a name outside the grammar leaves the
    // date-time fields at 0 (and the direction Unknown when the date-time is out of range).
    void parsePath(std::string_view path);

    std::string fileName() const;       // mediaName "." extension
    std::string mediaGroupName() const; // mediaName without its two-character channel suffix
    std::string yyyymmddhhmiss() const;
    // -1 when this record sorts before other (older, or same second and higher division, or
    // same division and lower direction), +1 after, 0 equal.
    int compareDate(const ZLXMedia& other) const;

    bool isFrontMedia() const { return m_mediaDirection == ZLXMediaDirection::Front; }
    bool isRearMedia() const { return m_mediaDirection == ZLXMediaDirection::Rear; }
    bool isAlwaysMedia() const { return m_mediaDivision == ZLXMediaDivision::Always; }
    bool isMotionMedia() const { return m_mediaDivision == ZLXMediaDivision::Motion; }
    bool isEventMedia() const { return m_mediaDivision == ZLXMediaDivision::Event; }

    int32_t year() const { return m_year; }
    int32_t month() const { return m_month; }
    int32_t day() const { return m_day; }
    int32_t hour() const { return m_hour; }
    int32_t minute() const { return m_minute; }
    int32_t second() const { return m_second; }
    ZLXMediaDivision mediaDivision() const { return m_mediaDivision; }
    ZLXMediaDirection mediaDirection() const { return m_mediaDirection; }
    const std::string& path() const { return m_path; }
    const std::string& mediaName() const { return m_mediaName; }
    const std::string& extension() const { return m_extension; }
    const std::string& dir() const { return m_dir; }

private:
    bool parseTimeByName(std::string_view name, size_t startPos);
    void updateToUknown();

    int32_t m_year = 0;
    int32_t m_month = 0;
    int32_t m_day = 0;
    int32_t m_hour = 0;
    int32_t m_minute = 0;
    int32_t m_second = 0;
    ZLXMediaDivision m_mediaDivision = ZLXMediaDivision::Always;
    ZLXMediaDirection m_mediaDirection = ZLXMediaDirection::Front;
    std::string m_path;
    std::string m_mediaName;
    std::string m_extension;
    std::string m_dir;
};

struct ZLXMediaPair {
    std::shared_ptr<const ZLXMedia> frontMedia;
    std::shared_ptr<const ZLXMedia> rearMedia;
    static std::shared_ptr<ZLXMediaPair> mediaPair() { return std::make_shared<ZLXMediaPair>(); }
};

// The channel of the media loaded in a player, judged only by the end of its path:
// "_F.MP4" / "_R.MP4" in any case. No path (no URL) is Unknown.
ZLXMediaDirection mediaDirectionOfPlayerMedia(std::optional<std::string_view> urlPath);

// Path pieces, as the recording rules read them.
namespace path {
std::string standardize(std::string_view path);
std::string_view lastComponent(std::string_view path);
std::string_view deletingExtension(std::string_view component); // "a.mp4" -> "a"
std::string_view extension(std::string_view component);         // "a.mp4" -> "mp4"
std::string_view deletingLastComponent(std::string_view path);
// Length in UTF-16 code units, the unit the name grammar counts in. A byte that is not part of
// valid UTF-8 counts as one unit.
size_t utf16Length(std::string_view text);
size_t byteOffsetOfUnit(std::string_view text, size_t unit);
std::string_view substringUnits(std::string_view text, size_t from, size_t count);
} // namespace path

} // namespace daxo
