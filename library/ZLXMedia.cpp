// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXMedia.h"

#include "library/ZLXNumberText.h"

#include <array>
#include <cstdio>
#include <tuple>
#include <vector>

namespace daxo {
namespace path {
namespace {

// Byte length of the UTF-8 sequence starting at text[i] and its UTF-16 unit count; a byte
// that does not start a valid sequence is one byte, one unit.
std::pair<size_t, size_t> codePointAt(std::string_view text, size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80)
        return {1, 1};
    size_t len = 0;
    if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2)
        len = 2;
    else if ((b0 & 0xF0) == 0xE0)
        len = 3;
    else if ((b0 & 0xF8) == 0xF0 && b0 <= 0xF4)
        len = 4;
    else
        return {1, 1};
    if (i + len > text.size())
        return {1, 1};
    for (size_t k = 1; k < len; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return {1, 1};
    }
    return {len, len == 4 ? 2 : 1};
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

size_t utf16Length(std::string_view text) {
    if (isAscii(text))
        return text.size();
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        auto [bytes, u] = codePointAt(text, i);
        i += bytes;
        units += u;
    }
    return units;
}

// Byte offset of UTF-16 unit `unit`; a unit in the middle of a surrogate pair maps to the
// start of its code point. Past the end maps to text.size().
size_t byteOffsetOfUnit(std::string_view text, size_t unit) {
    if (isAscii(text))
        return std::min(unit, text.size());
    size_t units = 0;
    size_t i = 0;
    while (i < text.size()) {
        auto [bytes, u] = codePointAt(text, i);
        if (units + u > unit)
            return i;
        units += u;
        i += bytes;
    }
    return i;
}

std::string_view substringUnits(std::string_view text, size_t from, size_t count) {
    const size_t a = byteOffsetOfUnit(text, from);
    const size_t b = byteOffsetOfUnit(text, from + count);
    return text.substr(a, b - a);
}

std::string standardize(std::string_view p) {
    if (p.empty())
        return {};
    const bool absolute = p.front() == '/';
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string_view::npos)
            j = p.size();
        std::string_view part = p.substr(i, j - i);
        if (part.empty() || part == ".") {
            // skip
        } else if (part == ".." && absolute) {
            if (!parts.empty())
                parts.pop_back();
        } else if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k)
            out += '/';
        out += parts[k];
    }
    if (out.empty())
        out = ".";
    return out;
}

std::string_view lastComponent(std::string_view p) {
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    const size_t slash = p.rfind('/');
    if (slash == std::string_view::npos || p.size() == 1)
        return p;
    return p.substr(slash + 1);
}

std::string_view deletingExtension(std::string_view component) {
    const size_t dot = component.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return component;
    return component.substr(0, dot);
}

std::string_view extension(std::string_view component) {
    const size_t dot = component.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return component.substr(dot + 1);
}

std::string_view deletingLastComponent(std::string_view p) {
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    const size_t slash = p.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    if (slash == 0)
        return p.substr(0, 1);
    return p.substr(0, slash);
}

} // namespace path

namespace {

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

void ZLXMedia::parsePath(std::string_view fullPath) {
    m_path = path::standardize(fullPath);
    const std::string_view component = path::lastComponent(m_path);
    m_mediaName = std::string(path::deletingExtension(component));
    m_extension = std::string(path::extension(component));
    m_dir = std::string(path::deletingLastComponent(m_path));

    const size_t length = path::utf16Length(m_mediaName);
    if (length != kAlwaysNameLength && length != kEventNameLength &&
        length != kMotionNameLength) {
        updateToUknown();
        return;
    }
    m_mediaDirection = ZLXMediaDirection::Unknown;

    struct Form {
        std::string_view prefix;
        ZLXMediaDivision division;
    };
    static constexpr std::array<Form, 3> forms{{{"alwa_", ZLXMediaDivision::Always},
                                                 {"motion_", ZLXMediaDivision::Motion},
                                                 {"event_", ZLXMediaDivision::Event}}};
    for (const Form& form : forms) {
        if (startsWith(m_mediaName, form.prefix)) {
            m_mediaDivision = form.division;
            if (!parseTimeByName(m_mediaName, form.prefix.size())) {
                updateToUknown();
                return;
            }
            break;
        }
    }

    if (endsWith(m_mediaName, "_F"))
        m_mediaDirection = ZLXMediaDirection::Front;
    else if (endsWith(m_mediaName, "_R"))
        m_mediaDirection = ZLXMediaDirection::Rear;
}

bool ZLXMedia::parseTimeByName(std::string_view name, size_t s) {
    if (path::utf16Length(name) < kDateTimeLength + s)
        return false;
    m_year = leadingInteger(path::substringUnits(name, s, 4));
    m_month = leadingInteger(path::substringUnits(name, s + 4, 2));
    m_day = leadingInteger(path::substringUnits(name, s + 6, 2));
    m_hour = leadingInteger(path::substringUnits(name, s + 9, 2));
    m_minute = leadingInteger(path::substringUnits(name, s + 11, 2));
    m_second = leadingInteger(path::substringUnits(name, s + 13, 2));
    auto within = [](int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; };
    return within(m_year, 1970, 2700) && within(m_month, 1, 12) && within(m_day, 1, 31) &&
           within(m_hour, 0, 24) && within(m_minute, 0, 60) && within(m_second, 0, 60);
}

void ZLXMedia::updateToUknown() {
    m_year = m_month = m_day = m_hour = m_minute = m_second = 0;
}

std::string ZLXMedia::fileName() const {
    return m_mediaName + "." + m_extension;
}

std::string ZLXMedia::mediaGroupName() const {
    const size_t units = path::utf16Length(m_mediaName);
    if (units < 2)
        return {};
    return m_mediaName.substr(0, path::byteOffsetOfUnit(m_mediaName, units - 2));
}

std::string ZLXMedia::yyyymmddhhmiss() const {
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", m_year, m_month, m_day, m_hour,
                  m_minute, m_second);
    return text;
}

int ZLXMedia::compareDate(const ZLXMedia& other) const {
    // Every field lies within the width it is printed in (year 0 or 1970-2700, the others at
    // most 60), so comparing the fields in order is the order of the zero-padded text.
    const auto mine = std::tie(m_year, m_month, m_day, m_hour, m_minute, m_second);
    const auto theirs = std::tie(other.m_year, other.m_month, other.m_day, other.m_hour,
                                 other.m_minute, other.m_second);
    if (mine != theirs)
        return mine < theirs ? -1 : 1;
    if (m_mediaDivision != other.m_mediaDivision)
        return m_mediaDivision > other.m_mediaDivision ? -1 : 1;
    if (m_mediaDirection != other.m_mediaDirection)
        return m_mediaDirection < other.m_mediaDirection ? -1 : 1;
    return 0;
}

ZLXMediaDirection mediaDirectionOfPlayerMedia(std::optional<std::string_view> urlPath) {
    if (!urlPath || urlPath->size() < 6)
        return ZLXMediaDirection::Unknown;
    const std::string_view tail = urlPath->substr(urlPath->size() - 6);
    auto equalsIgnoringCase = [](std::string_view a, std::string_view b) {
        for (size_t i = 0; i < a.size(); ++i) {
            char x = a[i];
            if (x >= 'a' && x <= 'z')
                x = static_cast<char>(x - 'a' + 'A');
            if (x != b[i])
                return false;
        }
        return true;
    };
    if (equalsIgnoringCase(tail, "_R.MP4"))
        return ZLXMediaDirection::Rear;
    if (equalsIgnoringCase(tail, "_F.MP4"))
        return ZLXMediaDirection::Front;
    return ZLXMediaDirection::Unknown;
}

} // namespace daxo
