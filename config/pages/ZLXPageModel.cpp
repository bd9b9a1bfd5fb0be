// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/ZLXPageModel.h"

#include <cstdio>
#include <cstring>

namespace daxo {

int tableIndex(const std::vector<int64_t>& table, int64_t value, int fallback) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == value)
            return int(i);
    }
    return fallback;
}

ZLXPageModel::ZLXPageModel(std::vector<ZLXControl> controls) : m_controls(std::move(controls)) {
    m_states.resize(m_controls.size());
    for (size_t i = 0; i < m_controls.size(); ++i)
        m_states[i].labels = m_controls[i].labels;
}

const ZLXControl* ZLXPageModel::control(std::string_view name) const {
    for (const ZLXControl& c : m_controls) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

ZLXControlState& ZLXPageModel::state(std::string_view name) {
    for (size_t i = 0; i < m_controls.size(); ++i) {
        if (m_controls[i].name == name)
            return m_states[i];
    }
    static ZLXControlState nowhere; // a name no table holds: a programming error, kept harmless
    nowhere = {};
    return nowhere;
}

const ZLXControlState& ZLXPageModel::state(std::string_view name) const {
    return const_cast<ZLXPageModel*>(this)->state(name);
}

int64_t ZLXPageModel::field(std::string_view name) const {
    const ZLXFileDataField* f = findFileDataField(name);
    if (!m_record || !f)
        return 0;
    const auto* at = reinterpret_cast<const uint8_t*>(m_record) + f->offset;
    switch (f->kind) {
    case ZLXFileDataField::Kind::U8:
        return *at;
    case ZLXFileDataField::Kind::U16: {
        uint16_t v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    case ZLXFileDataField::Kind::U32: {
        uint32_t v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    case ZLXFileDataField::Kind::I32: {
        int32_t v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    default:
        return 0;
    }
}

void ZLXPageModel::setField(std::string_view name, int64_t value) {
    const ZLXFileDataField* f = findFileDataField(name);
    if (!m_record || !f)
        return;
    auto* at = reinterpret_cast<uint8_t*>(m_record) + f->offset;
    switch (f->kind) {
    case ZLXFileDataField::Kind::U8:
        *at = uint8_t(value);
        break;
    case ZLXFileDataField::Kind::U16: {
        const auto v = uint16_t(value);
        std::memcpy(at, &v, sizeof v);
        break;
    }
    case ZLXFileDataField::Kind::U32: {
        const auto v = uint32_t(value);
        std::memcpy(at, &v, sizeof v);
        break;
    }
    case ZLXFileDataField::Kind::I32: {
        const auto v = int32_t(value);
        std::memcpy(at, &v, sizeof v);
        break;
    }
    default:
        break;
    }
}

float ZLXPageModel::floatField(std::string_view name) const {
    const ZLXFileDataField* f = findFileDataField(name);
    float v = 0;
    if (m_record && f && f->kind == ZLXFileDataField::Kind::F32)
        std::memcpy(&v, reinterpret_cast<const uint8_t*>(m_record) + f->offset, sizeof v);
    return v;
}

void ZLXPageModel::setFloatField(std::string_view name, float value) {
    const ZLXFileDataField* f = findFileDataField(name);
    if (m_record && f && f->kind == ZLXFileDataField::Kind::F32)
        std::memcpy(reinterpret_cast<uint8_t*>(m_record) + f->offset, &value, sizeof value);
}

void ZLXPageModel::setFileData(_FILEDATA* record) {
    m_record = record;
    display();
}

void ZLXPageModel::display() {
    if (!m_record)
        return;
    for (const ZLXControl& c : m_controls)
        displayControl(c);
}

void ZLXPageModel::displayControl(const ZLXControl& c) {
    if (c.field.empty() || c.map == ZLXControl::Map::None)
        return;
    ZLXControlState& s = state(c.name);
    const int64_t v = field(c.field);
    const auto count = int64_t(s.labels.size());
    // A stored value outside the labels selects nothing: it is never read past the list.
    auto within = [count](int64_t i) { return i >= 0 && i < count ? int(i) : -1; };
    switch (c.map) {
    case ZLXControl::Map::Index:
    case ZLXControl::Map::IndexOrNone:
        s.selected = within(v);
        break;
    case ZLXControl::Map::OneOnly:
        s.selected = v == 1 ? 1 : 0;
        break;
    case ZLXControl::Map::PlusOne:
        s.selected = within(v - 1);
        break;
    case ZLXControl::Map::Table:
        s.selected = tableIndex(c.table, v, c.fallback);
        break;
    case ZLXControl::Map::Flag:
        s.checked = v != 0;
        break;
    case ZLXControl::Map::None:
        break;
    }
}

bool ZLXPageModel::populate() {
    if (!m_record || validateUserInput())
        return false;
    for (const ZLXControl& c : m_controls)
        populateControl(c);
    return true;
}

void ZLXPageModel::populateControl(const ZLXControl& c) {
    if (c.field.empty())
        return;
    const ZLXControlState& s = state(c.name);
    // Nothing selected leaves the stored value as it was, unless the table says otherwise.
    switch (c.map) {
    case ZLXControl::Map::Index:
    case ZLXControl::Map::OneOnly:
        if (s.selected >= 0)
            setField(c.field, s.selected);
        break;
    case ZLXControl::Map::IndexOrNone:
        setField(c.field, s.selected >= 0 ? s.selected : -1);
        break;
    case ZLXControl::Map::PlusOne:
        if (s.selected >= 0)
            setField(c.field, s.selected + 1);
        break;
    case ZLXControl::Map::Table:
        if (s.selected >= 0 && size_t(s.selected) < c.table.size())
            setField(c.field, c.table[size_t(s.selected)]);
        break;
    case ZLXControl::Map::Flag:
        setField(c.field, s.checked ? 1 : 0);
        break;
    case ZLXControl::Map::None:
        break;
    }
}

ZLXMessage valuesOffered(const std::vector<std::string>& values) {
    std::string list;
    for (const std::string& v : values)
        list += (list.empty() ? "" : ", ") + v;
    return ZLXMessage{"msg.values_offered", {}, list};
}

std::optional<ZLXMessage> checkSettingField(const _FILEDATA& record, std::string_view name) {
    _FILEDATA copy = record;
    // Fields with rules of their own page.
    static const char* const thresholds[] = {"gsen_x_threshold",     "gsen_y_threshold",     "gsen_z_threshold",
                                             "parkmode_x_threshold", "parkmode_y_threshold", "parkmode_z_threshold"};
    ZLXPageModel reader({});
    reader.setFileData(&copy);
    const int64_t v = reader.field(name);
    for (const char* t : thresholds) {
        if (name == t) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", double(v) / 100);
            return ZLXValidator::validateGsensorThreshold(std::string_view(text));
        }
    }
    if (name == "szPlateNumber") {
        const std::string plate(record.szPlateNumber, strnlen(record.szPlateNumber, sizeof record.szPlateNumber));
        if (filterPlateText(plate) != plate)
            return ZLXMessage{"msg.plate_characters", {}};
        return std::nullopt;
    }
    if (name == "sd_mem_always_ratio" || name == "sd_mem_motion_ratio" || name == "sd_mem_event_ratio") {
        // The card split: three shares of at least 10 that make 100.
        const uint32_t shares[] = {record.sd_mem_always_ratio, record.sd_mem_motion_ratio, record.sd_mem_event_ratio};
        for (const uint32_t share : shares) {
            if (auto message = ZLXValidator::validateSDCardSizeRatio(share > 100 ? 0 : int(share)))
                return message;
        }
        if (uint64_t(shares[0]) + shares[1] + shares[2] != 100)
            return ZLXMessage{"msg.sdcard_ratio_sum", {}};
        return std::nullopt;
    }
    if (name == "wifi_ssid" || name == "wifi_password") {
        const bool ssid = name == "wifi_ssid";
        const char* text = ssid ? record.wifi_ssid : record.wifi_password;
        const std::string value(text, strnlen(text, 16));
        if (value.size() < (ssid ? 5u : 8u))
            return ZLXMessage{ssid ? "setting.aux.ssid_length" : "setting.aux.password_length", {}};
        for (const char c : value) {
            if (c < 0x21 || c > 0x7E)
                return ZLXMessage{ssid ? "setting.aux.ssid_invalid" : "setting.aux.password_invalid", {}};
        }
        return std::nullopt;
    }
    auto outside = [](int64_t low, int64_t high) { return ZLXMessage{"msg.value_not_offered", {double(low), double(high)}}; };
    if (name == "Brightness1")
        return v >= 0 && v <= 20 ? std::nullopt : std::optional(outside(0, 20));
    if (name == "motionBlock" || name == "motionBlock_Rear")
        return (v & ~int64_t(0xFFF)) == 0 ? std::nullopt : std::optional(outside(0, 0xFFF));
    if (name == "ledoff_rear")
        return v == 0 || v == 1 ? std::nullopt : std::optional(outside(0, 1));
    // The pages' tables, made once: only their controls are read here.
    static const std::vector<std::unique_ptr<ZLXPageModel>> pages = [] {
        std::vector<std::unique_ptr<ZLXPageModel>> made;
        for (int index = 0; index < 7; ++index)
            made.push_back(makeSettingPageModel(index));
        return made;
    }();
    for (const auto& page : pages) {
        if (std::optional<ZLXMessage> message; page->checkOwnField(record, name, message))
            return message;
    }
    for (const auto& page : pages) {
        for (const ZLXControl& c : page->controls()) {
            if (c.field != name)
                continue;
            const auto n = int64_t(c.labels.size());
            switch (c.map) {
            case ZLXControl::Map::Index:
                return v >= 0 && v < n ? std::nullopt : std::optional(outside(0, n - 1));
            case ZLXControl::Map::IndexOrNone:
                return v >= -1 && v < n ? std::nullopt : std::optional(outside(-1, n - 1));
            case ZLXControl::Map::OneOnly:
            case ZLXControl::Map::Flag:
                return v == 0 || v == 1 ? std::nullopt : std::optional(outside(0, 1));
            case ZLXControl::Map::PlusOne:
                return v >= 1 && v <= n ? std::nullopt : std::optional(outside(1, n));
            case ZLXControl::Map::Table: {
                if (tableIndex(c.table, v, -1) >= 0)
                    return std::nullopt;
                std::vector<std::string> values;
                for (const int64_t t : c.table)
                    values.push_back(std::to_string(t));
                return valuesOffered(values);
            }
            case ZLXControl::Map::None:
                break;
            }
        }
    }
    return std::nullopt;
}

} // namespace daxo
