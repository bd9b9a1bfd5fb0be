// SPDX-License-Identifier: GPL-3.0-or-later
// A settings page without its widgets: one table says which controls the page has, their
// labels and the field of config.bin each one edits; the model holds what the controls show
// (selection, check, text, enabled) and moves it between them and the record. Pages with rules
// of their own (presets, bits, a language grid) add them in a subclass.
#pragma once

#include "config/filedata/ZLXFileData.h"
#include "config/ZLXValidator.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace daxo {

// A label as the string table makes it: a key, plain text, plain text with "%@" filled with
// a key's text ("1(%@)" with "insensitive"), or a key's format filled with a number
// ("nSecond_fmt" with 10).
struct ZLXLabel {
    enum class Kind { Key, Plain, Filled, Numbered };
    Kind kind = Kind::Key;
    std::string text;
    std::string fill;
    int number = 0;

    static ZLXLabel key(std::string k) { return {Kind::Key, std::move(k), {}, 0}; }
    static ZLXLabel plain(std::string t) { return {Kind::Plain, std::move(t), {}, 0}; }
    static ZLXLabel filled(std::string t, std::string k) { return {Kind::Filled, std::move(t), std::move(k), 0}; }
    static ZLXLabel numbered(std::string k, int n) { return {Kind::Numbered, std::move(k), {}, n}; }
};

struct ZLXControl {
    // Stepper: a read-only text with a stepper beside it; Note: a line of text shown or hidden
    // (`enabled`); Range: the multi-handle slider of the page.
    enum class Type { Segments, List, Check, Text, Grid, Stepper, Note, Range };
    // How the selection and the field relate.
    enum class Map {
        None,        // the page handles the field (or there is none)
        Index,       // the field holds the index; a value outside the labels selects nothing
        IndexOrNone, // as Index, and nothing selected is stored as -1
        OneOnly,     // shows 1 only for the value 1, else 0; stores the index
        PlusOne,     // the field holds the index + 1
        Table,       // the field holds table[index]; a value not in it selects `fallback`
        Flag,        // a check box: checked when not 0; stores 1 or 0
    };
    Type type = Type::Segments;
    std::string name;  // the control's name ("videoEncodingBitrate")
    std::string title; // the key of the group title or caption it sits under
    std::vector<ZLXLabel> labels;
    std::string field; // the record's field, empty for none
    Map map = Map::Index;
    std::vector<int64_t> table;
    int fallback = 0;
    int columns = 0; // a grid's or a row's columns
};

struct ZLXControlState {
    int selected = -1; // nothing selected
    bool checked = false;
    std::string text;
    bool enabled = true;
    std::vector<ZLXLabel> labels; // what the control shows now (a page may change them)
};

class ZLXPageModel {
public:
    explicit ZLXPageModel(std::vector<ZLXControl> controls);
    virtual ~ZLXPageModel() = default;

    const std::vector<ZLXControl>& controls() const { return m_controls; }
    const ZLXControl* control(std::string_view name) const;
    ZLXControlState& state(std::string_view name);
    const ZLXControlState& state(std::string_view name) const;

    // Keeps the record's address and shows its values at once.
    void setFileData(_FILEDATA* record);
    _FILEDATA* fileData() const { return m_record; }
    virtual void display();
    // A message (with the control to focus) when the input cannot be taken.
    virtual std::optional<ZLXMessage> validateUserInput() { return std::nullopt; }
    // The controls into the record; false when nothing was written.
    virtual bool populate();
    // The user changed a control (its state already holds the new value).
    virtual void controlChanged(std::string_view name) { (void)name; }
    // The user clicked a stepper `steps` times (up positive).
    virtual void step(std::string_view name, int steps) {
        (void)name;
        (void)steps;
    }

    // For a field the page edits by rules of its own (not through its table of controls):
    // true, with what the page would refuse in the record's value set in `message` (nothing
    // when it takes it). False for a field the page does not edit so.
    virtual bool checkOwnField(const _FILEDATA& record, std::string_view name,
                               std::optional<ZLXMessage>& message) const {
        (void)record;
        (void)name;
        (void)message;
        return false;
    }

    // The page's multi-handle slider, for a page that has one.
    virtual class VMMultiHandleSlider* rangeSlider() { return nullptr; }

    // Alerts to show ("Warning" with the key's text), in order; taking them empties the list.
    std::vector<std::string> takeNotices() { return std::exchange(m_notices, {}); }
    // The control to give the keyboard focus after a failed check.
    const std::string& focusRequest() const { return m_focus; }

    // The record's integer fields by name.
    int64_t field(std::string_view name) const;
    void setField(std::string_view name, int64_t value);
    float floatField(std::string_view name) const;
    void setFloatField(std::string_view name, float value);

protected:
    void displayControl(const ZLXControl& control);
    void populateControl(const ZLXControl& control);

    _FILEDATA* m_record = nullptr;
    std::vector<ZLXControl> m_controls;
    std::vector<ZLXControlState> m_states;
    std::vector<std::string> m_notices;
    std::string m_focus;
};

// The model of settings page `index` (0 video, 1 basic, 2 GPS, 3 auxiliary, 4 motion, 5 ADAS,
// 6 audio); none for the drive information page, which is no page of fields.
std::unique_ptr<ZLXPageModel> makeSettingPageModel(int index);

// What the settings pages would refuse in the record's field `name` (a value none of its
// controls offers, a threshold out of range, a plate the camera cannot show): the message,
// else nothing. Fields no page edits take anything.
std::optional<ZLXMessage> checkSettingField(const _FILEDATA& record, std::string_view name);

// The message that names the values a control offers: "msg.values_offered" with the list.
ZLXMessage valuesOffered(const std::vector<std::string>& values);

// The first index of `value` in `table`, else `fallback`.
int tableIndex(const std::vector<int64_t>& table, int64_t value, int fallback);

} // namespace daxo
