// SPDX-License-Identifier: GPL-3.0-or-later
// The tables of the video, basic, GPS, motion and audio pages, and the rules of their own.
#include "config/pages/ZLXPageModel.h"

#include "config/pages/VMMultiHandleSlider.h"
#include <algorithm>
#include <utility>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>

namespace daxo {
namespace {

using L = ZLXLabel;
using T = ZLXControl::Type;
using M = ZLXControl::Map;

ZLXControl choice(std::string name, std::string title, std::vector<ZLXLabel> labels, std::string field,
                  M map = M::Index, T type = T::Segments) {
    ZLXControl c;
    c.type = type;
    c.name = std::move(name);
    c.title = std::move(title);
    c.labels = std::move(labels);
    c.field = std::move(field);
    c.map = map;
    return c;
}

ZLXControl tableChoice(std::string name, std::string title, std::vector<ZLXLabel> labels, std::string field,
                       std::vector<int64_t> table, int fallback, T type = T::Segments) {
    ZLXControl c = choice(std::move(name), std::move(title), std::move(labels), std::move(field), M::Table, type);
    c.table = std::move(table);
    c.fallback = fallback;
    return c;
}

ZLXControl check(std::string name, std::string title, std::string label, std::string field,
                 M map = M::Flag) {
    return choice(std::move(name), std::move(title), {L::key(std::move(label))}, std::move(field), map, T::Check);
}

ZLXControl text(std::string name, std::string title) {
    return choice(std::move(name), std::move(title), {}, {}, M::None, T::Text);
}

std::vector<ZLXLabel> brightnessLabels() {
    return {L::plain("1"), L::plain("2"), L::filled("3(%@)", "default"), L::plain("4"), L::plain("5")};
}

std::vector<ZLXLabel> fiveStepLabels() {
    return {L::filled("1(%@)", "insensitive"), L::plain("2"), L::plain("3"), L::plain("4"),
            L::filled("5(%@)", "sensitive")};
}

// Video ------------------------------------------------------------------------------------

class VideoPage : public ZLXPageModel {
public:
    VideoPage()
        : ZLXPageModel({
              choice("videoEncodingBitrate", "setting.video.front_quality",
                     {L::key("setting.video.quality_normal"), L::key("setting.video.quality_high"),
                      L::key("setting.video.quality_highest")},
                     "vid_enc_bitrate"),
              choice("videoBrightness", "setting.video.front_setting", brightnessLabels(), "vid_brightness"),
              choice("videoEncodingBitrateRear", "setting.video.rear_quality",
                     {L::key("setting.video.quality_normal"), L::key("setting.video.quality_high"),
                      L::key("setting.video.quality_highest")},
                     "vid_enc_bitrate_R"),
              choice("videoBrightnessRear", "setting.video.rear_setting", brightnessLabels(), "vid_brightness_R"),
              choice("flipVideoRealSeg", "setting.video.rear_reversal", {L::key("unuse"), L::key("use")},
                     "flip_video", M::OneOnly),
              choice("rearfpsSeg", "setting.video.rear_fps", {L::plain("30fps"), L::plain("15fps")}, "rear_fps",
                     M::OneOnly),
              choice("frontTinting", "setting.video.front_tinting",
                     {L::key("cpl_unuse"), L::key("cpl_use"), L::key("light_tinting"), L::key("dark_tinting")},
                     "front_cpl_use"),
              choice("rearTinting", "setting.video.rear_tinting",
                     {L::key("unuse"), L::key("light_tinting"), L::key("dark_tinting")}, "rear_cpl_use"),
              choice("wdr", "setting.motion.night_vision",
                     {L::key("setting.motion.night_vision_notuse"), L::key("setting.motion.night_vision_use")},
                     "En_SuperNightVision"),
              choice("viewAngle", "setting.video.viewangle",
                     {L::key("setting.video.viewangle_standard"), L::key("setting.video.viewangle_adas")},
                     "viewAngle"),
              choice("channel", "setting.video.channel",
                     {L::key("setting.video.channel_2"), L::key("setting.video.channel_1")}, "recordChannel"),
          }) {}

    void display() override {
        if (!m_record)
            return;
        // 50 Hz mains (Gamma not 0) gives 25 frames a second instead of 30.
        state("rearfpsSeg").labels = {L::plain(field("Gamma") != 0 ? "25fps" : "30fps"), L::plain("15fps")};
        ZLXPageModel::display();
        m_frontQuality = field("vid_enc_bitrate");
        m_rearQuality = field("vid_enc_bitrate_R");
    }

    bool populate() override {
        if (!ZLXPageModel::populate())
            return false;
        if (field("vid_enc_bitrate") != m_frontQuality || field("vid_enc_bitrate_R") != m_rearQuality)
            m_notices.push_back("msg.video_quality_warning");
        if (field("recordChannel") == 1)
            setField("ledoff_rear", 0); // no rear camera, no rear LED
        return true;
    }

private:
    int64_t m_frontQuality = 0, m_rearQuality = 0;
};

// Basic ------------------------------------------------------------------------------------

const std::vector<int64_t> kWaitingTimes{0, 10, 30, 60, 120, 180, 300, 420, 600};
const std::vector<int64_t> kCutOffVoltages{0, 1, 10000, 11500, 11600, 11700, 11800, 11900, 12000, 12100, 12200, 12300, 12400};
const std::vector<int64_t> kPowerOffHours{0, 3, 6, 9, 12, 24, 36, 48};
const std::vector<int64_t> kDrivingPresets{65, 55, 45, 35, 25};
const std::vector<int64_t> kParkingPresets{25, 20, 15, 12, 8};
constexpr int kCustom = 5;

struct Trio {
    const char* preset;
    const char* fields[3];
    const char* records[3];
    const std::vector<int64_t>* presets;
};
const Trio kTrios[] = {
    {"gsensorSensitivityDrivingSeg",
     {"gsensorSensitivityThresholdXDrivingField", "gsensorSensitivityThresholdYDrivingField",
      "gsensorSensitivityThresholdZDrivingField"},
     {"gsen_x_threshold", "gsen_y_threshold", "gsen_z_threshold"},
     &kDrivingPresets},
    {"gsensorSensitivityParkingSeg",
     {"gsensorSensitivityThresholdXParkingField", "gsensorSensitivityThresholdYParkingField",
      "gsensorSensitivityThresholdZParkingField"},
     {"parkmode_x_threshold", "parkmode_y_threshold", "parkmode_z_threshold"},
     &kParkingPresets},
};

std::string hundredths(int64_t value) {
    char out[32];
    std::snprintf(out, sizeof out, "%.2f", double(value) / 100);
    return out;
}

std::vector<ZLXLabel> presetLabels() {
    std::vector<ZLXLabel> labels = fiveStepLabels();
    labels.push_back(L::key("setting.basic.customize"));
    return labels;
}

class BasicPage : public ZLXPageModel {
public:
    BasicPage()
        : ZLXPageModel({
              tableChoice("alwaysModeTimeoutSeg", "setting.basic.auto_parking_waiting_time",
                          {L::key("unuse"), L::numbered("nSecond_fmt", 10), L::numbered("nSecond_fmt", 30),
                           L::numbered("nMinute_fmt", 1), L::numbered("nMinute_fmt", 2), L::numbered("nMinute_fmt", 3),
                           L::numbered("nMinute_fmt", 5), L::numbered("nMinute_fmt", 7), L::numbered("nMinute_fmt", 10)},
                          "always_mode_timeout", kWaitingTimes, 2),
              check("gsensorEnableChk", "", "setting.basic.enable_gsensor", "g_sensor_enable"),
              choice("gsensorSensitivityDrivingSeg", "setting.basic.driving_impact_sensitivity", presetLabels(), {},
                     M::None),
              text("gsensorSensitivityThresholdXDrivingField", ""),
              text("gsensorSensitivityThresholdYDrivingField", ""),
              text("gsensorSensitivityThresholdZDrivingField", ""),
              choice("gsensorSensitivityParkingSeg", "setting.basic.parking_impact_sensitivity", presetLabels(), {},
                     M::None),
              text("gsensorSensitivityThresholdXParkingField", ""),
              text("gsensorSensitivityThresholdYParkingField", ""),
              text("gsensorSensitivityThresholdZParkingField", ""),
              choice("frontLEDSeg", "setting.basic.front_LED_settings",
                     {L::key("setting.basic.LED_use"), L::key("setting.basic.LED_notuse")}, "ledoff"),
              choice("rearLEDSeg", "setting.basic.rear_LED_settings",
                     {L::key("setting.basic.LED_use"), L::key("setting.basic.LED_notuse")}, {}, M::None),
              text("carNumberField", "setting.basic.car_number_input"),
              tableChoice("powerVoltageCombo", "setting.basic.set_voltage",
                          {L::key("unuse"), L::key("auto"), L::key("externpower"), L::plain("11.5v / 23.0v"),
                           L::plain("11.6v / 23.2v"), L::plain("11.7v / 23.4v"), L::plain("11.8v / 23.6v"),
                           L::plain("11.9v / 23.8v"), L::plain("12.0v / 24.0v"), L::plain("12.1v / 24.2v"),
                           L::plain("12.2v / 24.4v"), L::plain("12.3v / 24.6v"), L::plain("12.4v / 24.8v")},
                          "sd_mem_always_reserved", kCutOffVoltages, 8, T::List),
              tableChoice("powerTimeCombo", "setting.basic.set_timer",
                          {L::key("unuse"), L::numbered("nHour_fmt", 3), L::numbered("nHour_fmt", 6),
                           L::numbered("nHour_fmt", 9), L::numbered("nHour_fmt", 12), L::numbered("nHour_fmt", 24),
                           L::numbered("nHour_fmt", 36), L::numbered("nHour_fmt", 48)},
                          "sd_mem_motion_reserved", kPowerOffHours, 0, T::List),
              check("useExternalPowerChk", "", "setting.basic.use_external_power", "sd_mem_event_reserved"),
              choice("cableVoltageLossSeg", "setting.basic.cable_voltage_loss",
                     {L::key("none"), L::plain("0.1v"), L::plain("0.2v"), L::plain("0.3v"), L::plain("0.4v"),
                      L::plain("0.5v"), L::plain("0.6v")},
                     "CableVoltCorr", M::PlusOne),
          }) {}

    static int presetIndex(const std::vector<int64_t>& presets, int64_t x, int64_t y, int64_t z) {
        for (size_t i = 0; i < presets.size(); ++i) {
            if (x == presets[i] && y == presets[i] && z == presets[i])
                return int(i);
        }
        return kCustom;
    }

    void display() override {
        if (!m_record)
            return;
        // Rules that change the record as soon as it is shown.
        if (field("CableVoltCorr") == 0)
            setField("CableVoltCorr", 4);
        const bool frontOnly = field("recordChannel") == 1;
        if (frontOnly)
            setField("ledoff_rear", 0);
        ZLXPageModel::display();
        for (const Trio& trio : kTrios) {
            int64_t v[3];
            for (int a = 0; a < 3; ++a) {
                v[a] = field(trio.records[a]);
                state(trio.fields[a]).text = hundredths(v[a]);
            }
            state(trio.preset).selected = presetIndex(*trio.presets, v[0], v[1], v[2]);
        }
        changeGsensorEnable();
        ZLXControlState& rear = state("rearLEDSeg");
        rear.enabled = !frontOnly;
        if (!frontOnly) {
            const int64_t led = field("ledoff_rear");
            rear.selected = led >= 0 && led < 2 ? int(led) : -1;
        }
        const char* plate = m_record->szPlateNumber;
        m_shownPlate = std::string(plate, strnlen(plate, sizeof m_record->szPlateNumber));
        state("carNumberField").text = m_shownPlate;
        updatePowerUI();
    }

    std::optional<ZLXMessage> validateUserInput() override {
        m_focus.clear();
        for (const Trio& trio : kTrios) {
            if (state(trio.preset).selected != kCustom)
                continue; // a preset's fields hold the preset
            for (const char* name : trio.fields) {
                if (!state(name).enabled)
                    continue; // what cannot be edited is kept as the card holds it
                if (auto message = ZLXValidator::validateGsensorThreshold(state(name).text)) {
                    m_focus = name;
                    return message;
                }
            }
        }
        return std::nullopt;
    }

    bool populate() override {
        if (!ZLXPageModel::populate())
            return false;
        // With impact detection off the thresholds cannot be edited: the card's stay as they are.
        for (const Trio& trio : state("gsensorEnableChk").checked ? std::span(kTrios) : std::span<const Trio>()) {
            for (int a = 0; a < 3; ++a) {
                const std::string number = ZLXValidator::numericStringFromString(state(trio.fields[a]).text);
                // Truncated toward zero in double precision: a typed 0.29 is stored as 28.
                setField(trio.records[a], int64_t(std::strtod(number.c_str(), nullptr) * 100));
            }
        }
        const int rear = state("rearLEDSeg").selected;
        if (rear >= 0)
            setField("ledoff_rear", rear);
        // The plate as typed, holding only what a plate may; the card's own bytes when untouched.
        if (state("carNumberField").text != m_shownPlate) {
            const std::string plate = filterPlateText(state("carNumberField").text);
            std::memset(m_record->szPlateNumber, 0, sizeof m_record->szPlateNumber);
            std::memcpy(m_record->szPlateNumber, plate.data(), std::min(plate.size(), sizeof m_record->szPlateNumber));
        }
        return true;
    }

    void controlChanged(std::string_view name) override {
        if (name == "gsensorEnableChk") {
            changeGsensorEnable();
        } else if (name == "gsensorSensitivityDrivingSeg" || name == "gsensorSensitivityParkingSeg") {
            updateGsensorThreshold();
        } else if (name == "useExternalPowerChk") {
            setField("sd_mem_event_reserved", state("useExternalPowerChk").checked ? 1 : 0); // at once
            updatePowerUI();
        } else if (name == "powerVoltageCombo" && state("powerVoltageCombo").selected == 2) {
            m_notices.push_back("msg.use_external_power_10v");
        }
    }

private:
    std::string m_shownPlate; // the card's plate as the page showed it

    void changeGsensorEnable() {
        const bool on = state("gsensorEnableChk").checked;
        for (const Trio& trio : kTrios)
            state(trio.preset).enabled = on;
        updateGsensorThreshold();
    }

    void updateGsensorThreshold() {
        const bool on = state("gsensorEnableChk").checked;
        for (const Trio& trio : kTrios) {
            const int preset = state(trio.preset).selected;
            if (preset >= 0 && preset < kCustom) {
                for (const char* name : trio.fields)
                    state(name).text = hundredths((*trio.presets)[size_t(preset)]);
            }
            // Typed thresholds only for a custom preset, and only while impact detection is on.
            for (const char* name : trio.fields)
                state(name).enabled = on && preset == kCustom;
        }
    }

    void updatePowerUI() {
        const bool external = field("sd_mem_event_reserved") == 1;
        state("powerVoltageCombo").enabled = !external;
        state("powerTimeCombo").enabled = !external;
        state("useExternalPowerChk").checked = external;
    }
};

// GPS --------------------------------------------------------------------------------------

std::vector<ZLXLabel> timeZoneLabels() {
    std::vector<ZLXLabel> labels;
    for (const int zone : kTimeZoneTable) {
        char text[16];
        std::snprintf(text, sizeof text, "%c%02d:%02d", zone < 0 ? '-' : '+', std::abs(zone) / 100, std::abs(zone) % 100);
        labels.push_back(L::plain(zone == 0 ? "00:00" : text));
    }
    return labels;
}

class GpsPage : public ZLXPageModel {
public:
    GpsPage()
        : ZLXPageModel({
              choice("drivingDaySeg", "setting.gps.weekly_alarm",
                     {L::key("none"), L::key("mon"), L::key("tue"), L::key("wed"), L::key("thu"), L::key("fri"),
                      L::key("sat"), L::key("sun")},
                     "nodriving_day"),
              choice("speedDisplayUnitSeg", "setting.gps.speed_display", {L::plain("Km/h"), L::plain("Mi/h")},
                     "speed_disp_unit"),
              choice("osdSpeedDisplaySeg", "setting.gps.osd_speed_display", {L::key("off"), L::key("on")},
                     "osd_speed_flag"),
              choice("timeGmtCombo", "setting.gps.timezone_setting", timeZoneLabels(), "time_gmt", M::IndexOrNone,
                     T::List),
              check("summerTimeChk", "", "summerTime", "summer_time"),
              choice("saveDurationSeg", "setting.gps.driving_route_info_saving_interval",
                     {L::key("none"), L::numbered("nSecond_fmt", 1), L::numbered("nSecond_fmt", 3),
                      L::numbered("nSecond_fmt", 5), L::numbered("nSecond_fmt", 10), L::numbered("nSecond_fmt", 15),
                      L::numbered("nSecond_fmt", 30), L::numbered("nSecond_fmt", 60)},
                     "SaveDuration"),
              choice("nightTimeSeg", "setting.gps.gps_on_parking_mode", {L::key("off"), L::key("on")}, "NightTime"),
          }) {}
};

// Motion and parking -----------------------------------------------------------------------

// The bit of blocks 01 to 12.
constexpr int kBlockBits[12] = {8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3};

std::string blockName(const char* camera, int block) {
    char name[40];
    std::snprintf(name, sizeof name, "%sMotionBlock%02dChk", camera, block);
    return name;
}

std::vector<ZLXControl> motionControls() {
    std::vector<ZLXLabel> sensitivity = fiveStepLabels();
    sensitivity.insert(sensitivity.begin(), L::key("unuse"));
    std::vector<ZLXControl> controls{
        choice("parkingModeSeg", "setting.motion.paking_mode",
               {L::key("setting.motion.paking_mode_motion"), L::key("setting.motion.paking_mode_timelapse")},
               "ParkingMode"),
        choice("nightVisionSeg", "setting.motion.night_vision",
               {L::key("setting.motion.night_vision_notuse"), L::key("setting.motion.night_vision_use")},
               "En_SuperNightVision"),
        choice("frontSensitivitySeg", "setting.aux.front_sensitivity", sensitivity, "motion720pCValue"),
        choice("rearSensitivitySeg", "setting.aux.rear_sensitivity", sensitivity, "motion1080pCValue"),
    };
    for (const char* camera : {"front", "rear"}) {
        for (int block = 1; block <= 12; ++block) {
            char label[8];
            std::snprintf(label, sizeof label, "%02d", block);
            ZLXControl c = choice(blockName(camera, block),
                                  block > 1 ? std::string() : camera == std::string("front") ? "setting.motion.block_front"
                                                                                            : "setting.motion.block_rear",
                                  {L::plain(label)}, {}, M::None, T::Check);
            c.columns = 4;
            controls.push_back(c);
        }
    }
    return controls;
}

class MotionPage : public ZLXPageModel {
public:
    MotionPage() : ZLXPageModel(motionControls()) {}

    void display() override {
        if (!m_record)
            return;
        ZLXPageModel::display();
        for (const auto& [camera, mask] : {std::pair{"front", "motionBlock"}, std::pair{"rear", "motionBlock_Rear"}}) {
            const int64_t bits = field(mask);
            for (int block = 1; block <= 12; ++block)
                state(blockName(camera, block)).checked = ((bits >> kBlockBits[block - 1]) & 1) == 0;
        }
        updateBlocks();
    }

    bool populate() override {
        if (!ZLXPageModel::populate())
            return false;
        for (const auto& [camera, mask] : {std::pair{"front", "motionBlock"}, std::pair{"rear", "motionBlock_Rear"}}) {
            int64_t bits = 0; // bits outside the twelve blocks are cleared
            for (int block = 1; block <= 12; ++block) {
                if (!state(blockName(camera, block)).checked)
                    bits |= int64_t(1) << kBlockBits[block - 1];
            }
            setField(mask, bits);
        }
        return true;
    }

    void controlChanged(std::string_view name) override {
        if (name == "frontSensitivitySeg" || name == "rearSensitivitySeg")
            updateBlocks();
    }

private:
    // A camera whose motion detection is off ("unuse") has nothing to choose blocks for.
    void updateBlocks() {
        for (const auto& [camera, seg] : {std::pair{"front", "frontSensitivitySeg"}, std::pair{"rear", "rearSensitivitySeg"}}) {
            const bool on = state(seg).selected != 0;
            for (int block = 1; block <= 12; ++block)
                state(blockName(camera, block)).enabled = on;
        }
    }
};

// Audio ------------------------------------------------------------------------------------

constexpr int kMalaysia = 20;

std::vector<ZLXControl> audioControls() {
    const std::vector<ZLXLabel> volume{L::key("unuse"), L::filled("1(%@)", "setting.aux.volume_low"), L::plain("2"),
                                       L::filled("3(%@)", "setting.aux.volume_up")};
    ZLXControl languages =
        choice("voiceLangRadio", "setting.aux.voice_guidance_lang_setting",
               {L::key("Korean"), L::key("English"), L::key("French"), L::key("Spanish.Europe"), L::key("Arabic"),
                L::key("Chinese"), L::key("Russian"), L::key("Japanese"), L::key("Thai"), L::key("BahasaIndonesia"),
                L::key("Vietnamese"), L::key("Mongolian"), L::key("Spanish.SouthAmerica"), L::key("German"),
                L::key("Turkish"), L::key("Italian"), L::key("Hindi"), L::key("Cantonese"), L::key("Czech"),
                L::key("Portuguese")},
               {}, M::None, T::Grid);
    languages.columns = 4;
    return {
        choice("micSeg", "setting.aux.mic_volume", volume, "aud_input_vol"),
        choice("speakerSeg", "setting.aux.speaker_volume", volume, "aud_output_vol"),
        check("useEveryHourNoticeChk", "", "setting.aux.enable_hourly_alarm", "alarm_ontime_flag"),
        languages,
        choice("malaysiaRadio", "", {L::plain("Malaysia")}, {}, M::None, T::Check),
    };
}

class AudioPage : public ZLXPageModel {
public:
    AudioPage() : ZLXPageModel(audioControls()) {}

    void display() override {
        if (!m_record)
            return;
        ZLXPageModel::display();
        // A language beyond the list chooses nothing and is kept as it is.
        const int64_t language = field("Brightness1");
        state("malaysiaRadio").checked = language == kMalaysia;
        state("voiceLangRadio").selected = language >= 0 && language < kMalaysia ? int(language) : -1;
    }

    bool populate() override {
        if (!ZLXPageModel::populate())
            return false;
        const int cell = state("voiceLangRadio").selected;
        if (field("Brightness1") != kMalaysia && cell >= 0)
            setField("Brightness1", cell);
        return true;
    }

    // Exactly one of the 21 is chosen; the choice goes into the record at once.
    void controlChanged(std::string_view name) override {
        if (name == "voiceLangRadio" && state("voiceLangRadio").selected >= 0) {
            state("malaysiaRadio").checked = false;
            setField("Brightness1", state("voiceLangRadio").selected);
        } else if (name == "malaysiaRadio" && state("malaysiaRadio").checked) {
            state("voiceLangRadio").selected = -1;
            setField("Brightness1", kMalaysia);
        }
    }
};


// Auxiliary --------------------------------------------------------------------------------

// The 94 characters a Wi-Fi name or password may hold: printable ASCII without the space.
bool validWifiString(const std::string& text) {
    for (const char c : text) {
        if (c < 0x21 || c > 0x7E)
            return false;
    }
    return true;
}

std::string wifiText(const char (&field)[16]) {
    return std::string(field, strnlen(field, sizeof field));
}

void setWifiText(char (&field)[16], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
}

std::string percent(int64_t value) {
    return std::to_string(value) + "%";
}

// The picture-in-picture cells, row by row, and the value each one stores.
constexpr int64_t kPipValues[4] = {2, 1, 3, 0};

std::vector<ZLXControl> auxControls() {
    ZLXControl pip = choice("pipPositionRadio", "setting.aux.pip_position",
                            {L::key("setting.aux.pip_top_left"), L::key("setting.aux.pip_top_right"),
                             L::key("setting.aux.pip_bottom_left"), L::key("setting.aux.pip_bottom_right")},
                            {}, M::None, T::Grid);
    pip.columns = 2;
    std::vector<ZLXLabel> channels;
    for (int i = 0; i <= 13; ++i) {
        char item[16];
        std::snprintf(item, sizeof item, i == 0 ? "%4d(Auto)" : "%4d", i);
        channels.push_back(L::plain(item));
    }
    return {
        choice("multiHandleSlider", "setting.aux.sdcard_capacity", {}, {}, M::None, T::Range),
        choice("alwaysField", "", {L::key("setting.aux.always")}, {}, M::None, T::Text),
        choice("motionField", "", {L::key("setting.aux.motion")}, {}, M::None, T::Text),
        choice("eventField", "", {L::key("setting.aux.event")}, {}, M::None, T::Text),
        choice("sdcardCapacityWarningLabel", "", {L::key("msg.memconfig_warning")}, {}, M::None, T::Note),
        choice("dayTimeAESeg", "setting.aux.night_ae_setting",
               {L::key("setting.aux.low"), L::key("setting.aux.medium_sedan"), L::key("setting.aux.high_suv")}, "DayTime"),
        choice("lcdAutoPowerOffSeg", "setting.aux.lcd_auto_off",
               {L::key("none"), L::numbered("nSecond_fmt", 15), L::numbered("nSecond_fmt", 30), L::numbered("nSecond_fmt", 60)},
               "lcd_autopoweroff"),
        choice("gammaSeg", "setting.aux.country_ac_power_setting", {L::plain("60Hz"), L::plain("50Hz")}, "Gamma"),
        choice("lcdBrightnessSeg", "setting.aux.lcd_brightness", {L::plain("1"), L::plain("2"), L::plain("3")}, "lcd_brightness"),
        choice("lcdNightBrightnessSeg", "setting.aux.lcd_brightness_night", {L::key("unuse"), L::key("use")},
               "lcd_brightness_night"),
        choice("parkingRearOffSeg", "setting.aux.parking_rear_setting", {L::key("unuse"), L::key("use")}, {}, M::None),
        choice("lcdScreenSaverSeg", "setting.aux.lcd_screensaver", {L::key("unuse"), L::key("default"), L::key("time")}, {},
               M::None),
        choice("parkingAlarmSeg", "setting.aux.parking_monitor_notice", {L::key("unuse"), L::key("use")}, "parking_alarm"),
        choice("recordingLengthSeg", "setting.aux.recording_length", {L::plain("5min"), L::plain("3min")},
               "always_mode_recording_time"),
        pip,
        choice("autoFormatAlarmSeg", "setting.aux.auto_format_alarm",
               {L::key("setting.aux.auto_format_notuse"), L::key("setting.aux.auto_format_4week"),
                L::key("setting.aux.auto_format_8week"), L::key("setting.aux.auto_format_16week"),
                L::key("setting.aux.auto_format_32week")},
               "autoFormatAlarm"),
        choice("wifiStartModeSeg", "setting.aux.wifi_start",
               {L::key("setting.aux.wifi_start_off"), L::key("setting.aux.wifi_start_on")}, "wifiStartMode"),
        choice("wifiChannelCombo", "setting.aux.wifi_channel", channels, "wifi_channel", M::Index, T::List),
        choice("ssidLabel", "setting.aux.wifi_ssid", {}, {}, M::None, T::Text),
        choice("passwordLabel", "setting.aux.wifi_password", {}, {}, M::None, T::Text),
    };
}

class AuxPage : public ZLXPageModel {
public:
    AuxPage() : ZLXPageModel(auxControls()) {
        m_slider.addHandle("High", 0.9f);
        m_slider.addHandle("Low", 0.7f);
        m_slider.setValueChangedBlock([this](const VMMultiHandleSlider::Values& values) {
            if (m_quiet)
                return; // the record being shown, not the user
            // Whole percents toward zero, but a handle standing on a percent (0.59 held as
            // 0.58999997) is that percent: a handle moved and moved back changes nothing.
            const auto percentAt = [](float ratio) { return int64_t(std::floor(double(ratio) * 100 + 1e-3)); };
            m_low = percentAt(values.at("Low"));
            m_high = percentAt(values.at("High"));
            showShares();
            state("sdcardCapacityWarningLabel").enabled = true;
        });
        state("sdcardCapacityWarningLabel").enabled = false; // until a handle moves
    }

    VMMultiHandleSlider* rangeSlider() override { return &m_slider; }

    bool checkOwnField(const _FILEDATA& record, std::string_view name, std::optional<ZLXMessage>& message) const override {
        auto among = [&](int64_t value, std::vector<int64_t> offered) {
            std::sort(offered.begin(), offered.end());
            std::vector<std::string> texts;
            bool found = false;
            for (const int64_t o : offered) {
                texts.push_back(std::to_string(o));
                found = found || o == value;
            }
            message = found ? std::nullopt : std::optional(valuesOffered(texts));
            return true;
        };
        if (name == "pip_position")
            return among(record.pip_position, {kPipValues[0], kPipValues[1], kPipValues[2], kPipValues[3]});
        if (name == "lcd_screensaver")
            return among(record.lcd_screensaver, {0, 1, 2});
        if (name == "parking_rear_off")
            return among(record.parking_rear_off, {0, 1});
        return false;
    }

    int64_t lowRatio() const { return m_low; }
    int64_t highRatio() const { return m_high; }

    void display() override {
        if (!m_record)
            return;
        const int64_t always = field("sd_mem_always_ratio"), motion = field("sd_mem_motion_ratio"),
                      event = field("sd_mem_event_ratio");
        // The handles follow the record without telling anyone (the warning stays hidden).
        auto callback = std::exchange(m_quiet, true);
        m_slider.setValues({{"High", float(100 - event) / 100}, {"Low", float(always) / 100}});
        m_quiet = callback;
        m_typed.clear();
        m_low = always;
        m_high = always + motion;
        state("alwaysField").text = percent(always);
        state("motionField").text = percent(motion);
        state("eventField").text = percent(event);
        ZLXPageModel::display();
        state("parkingRearOffSeg").selected = field("parking_rear_off") != 0 ? 0 : 1;
        const int64_t saver = field("lcd_screensaver");
        state("lcdScreenSaverSeg").selected = saver == 0 ? 1 : saver == 1 ? 0 : saver == 2 ? 2 : -1;
        const int64_t pip = field("pip_position");
        state("pipPositionRadio").selected = pip == 1 ? 1 : pip == 2 ? 0 : pip == 3 ? 2 : 3;
        state("ssidLabel").text = wifiText(m_record->wifi_ssid);
        state("passwordLabel").text = wifiText(m_record->wifi_password);
    }

    std::optional<ZLXMessage> validateUserInput() override {
        m_focus.clear();
        // three shares typed that do not make the whole card: say so, not that one is small
        if (m_typed.size() == 3) {
            int64_t total = 0;
            for (const auto& [control, share] : m_typed)
                total += share;
            if (total != 100)
                return ZLXMessage{"msg.shares_total", {double(total)}};
        }
        for (const int64_t share : {m_low, m_high - m_low, 100 - m_high}) {
            if (auto message = ZLXValidator::validateSDCardSizeRatio(int(share)))
                return message;
        }
        // The Wi-Fi texts are checked here too, so that neither leaving the page nor saving
        // goes on with a name or password the camera would not take.
        const std::string& ssid = state("ssidLabel").text;
        const std::string& password = state("passwordLabel").text;
        const std::pair<bool, const char*> checks[] = {
            {ssid.size() >= 5, "setting.aux.ssid_length"},
            {validWifiString(ssid), "setting.aux.ssid_invalid"},
            {password.size() >= 8, "setting.aux.password_length"},
            {validWifiString(password), "setting.aux.password_invalid"},
        };
        for (const auto& [ok, key] : checks) {
            if (!ok) {
                m_focus = std::string(key).find("ssid") != std::string::npos ? "ssidLabel" : "passwordLabel";
                return ZLXMessage{key, {}};
            }
        }
        return std::nullopt;
    }

    bool populate() override {
        if (!ZLXPageModel::populate())
            return false;
        const int64_t motion = m_high - m_low;
        setField("sd_mem_always_ratio", m_low);
        setField("sd_mem_motion_ratio", motion);
        setField("sd_mem_event_ratio", 100 - (motion + m_low));
        if (const int s = state("parkingRearOffSeg").selected; s >= 0)
            setField("parking_rear_off", s == 0 ? 1 : 0);
        if (const int s = state("lcdScreenSaverSeg").selected; s >= 0)
            setField("lcd_screensaver", s == 0 ? 1 : s == 1 ? 0 : s);
        if (const int s = state("pipPositionRadio").selected; s >= 0 && s < 4)
            setField("pip_position", kPipValues[s]);
        setWifiText(m_record->wifi_ssid, state("ssidLabel").text);
        setWifiText(m_record->wifi_password, state("passwordLabel").text);
        return true;
    }

    // A share typed in its field moves the slider, which shows all three again.
    void controlChanged(std::string_view name) override {
        auto typed = [this](const char* control) {
            const std::string number = ZLXValidator::numericStringFromString(state(control).text);
            return std::clamp<int64_t>(number.empty() ? 0 : std::atoll(number.c_str()), 0, 100);
        };
        const int64_t before[] = {m_low, m_high - m_low, 100 - m_high};
        if (name == "alwaysField")
            m_slider.setValue("Low", float(typed("alwaysField")) / 100);
        else if (name == "eventField")
            m_slider.setValue("High", float(100 - typed("eventField")) / 100);
        else if (name == "motionField")
            m_slider.setValue("High", float(m_low + typed("motionField")) / 100);
        else
            return;
        m_typed[std::string(name)] = typed(std::string(name).c_str());
        showShares(); // the field shows what the slider could take
        // a share typed moves another (the three always make the whole card): say which did
        const int64_t after[] = {m_low, m_high - m_low, 100 - m_high};
        const char* const fields[] = {"alwaysField", "motionField", "eventField"};
        for (int i = 0; i < 3; ++i) {
            if (after[i] != before[i] && name != fields[i]) {
                m_notices.push_back("msg.share_moved");
                break;
            }
        }
    }

private:
    void showShares() {
        state("alwaysField").text = percent(m_low);
        state("motionField").text = percent(m_high - m_low);
        state("eventField").text = percent(100 - m_high);
    }

    VMMultiHandleSlider m_slider{413};
    std::map<std::string, int64_t> m_typed; // the shares the user typed since the page was shown
    bool m_quiet = false;
    int64_t m_low = 70, m_high = 90;
};

// ADAS -------------------------------------------------------------------------------------

const std::vector<int64_t> kKilometreSpeeds{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
const std::vector<int64_t> kMileSpeeds{0, 10, 15, 20, 25, 30, 40, 45, 50, 55, 60};
constexpr float kHeadwayFactors[9] = {1.1f, 1.15f, 1.2f, 1.25f, 1.3f, 1.35f, 1.4f, 1.45f, 1.5f};

struct Stepped {
    const char* control;
    const char* field;
    float min, max; // metres: a camera height or lane offset beyond these is no real mounting
};
const Stepped kSteppers[] = {
    {"heightInput", "blackboxHeight", 0.50f, 3.00f},
    {"leftWidthInput", "LDW_width_L", 0.00f, 2.00f},
    {"rightWidthInput", "LDW_width_R", 0.00f, 2.00f},
};

std::vector<ZLXLabel> numberedLabels(int count, double first, double step, int decimals, const char* unit = "") {
    std::vector<ZLXLabel> labels;
    for (int i = 0; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%.*f%s", decimals, first + step * i, unit);
        labels.push_back(L::plain(text));
    }
    return labels;
}

std::vector<ZLXLabel> speedLabels(bool miles) {
    std::vector<ZLXLabel> labels{L::key("setting.aux.auto_format_notuse")};
    for (size_t i = 1; i < kKilometreSpeeds.size(); ++i)
        labels.push_back(L::plain(std::to_string(miles ? kMileSpeeds[i] : kKilometreSpeeds[i]) + (miles ? "Mi/h" : "Km/h")));
    return labels;
}

std::vector<ZLXControl> adasControls() {
    return {
        choice("adasLDWSSenseCombo", "setting.adas.ldws_sensitivity", numberedLabels(21, 1, 1, 0), "ADAS_LDWS_Sens",
               M::Index, T::List),
        choice("adasLDWSSpeedCombo", "setting.adas.ldws_speed", speedLabels(false), {}, M::None, T::List),
        choice("adasFCWSSenseCombo", "setting.adas.fcws_sensitivity", numberedLabels(21, 2.0, 0.1, 1),
               "ADAS_FCWS_Sens", M::Index, T::List),
        choice("adasFCWSSpeedCombo", "setting.adas.fcws_speed", speedLabels(false), {}, M::None, T::List),
        choice("adasFcmdEnableSeg", "setting.adas.fcmd_enable", {L::key("setting.aux.auto_format_notuse"), L::key("use")},
               "ADAS_FCMD_Enable"),
        choice("adasFcmdSensSeg", "setting.adas.fcmd_enable_sensitivity",
               {L::filled("0(%@)", "insensitive"), L::plain("1"), L::filled("2(%@)", "sensitive")}, "ADAS_FCMD_Sens"),
        choice("adasHeadwayZoneCombo", "setting.adas.HwadwayZone", numberedLabels(25, 0.6, 0.1, 1), {}, M::None, T::List),
        choice("adasHeadwaySensCombo", "setting.adas.HwadwaySensitivity",
               {L::plain("1.1"), L::plain("1.15"), L::plain("1.2"), L::plain("1.25"), L::plain("1.3"), L::plain("1.35"),
                L::plain("1.4"), L::plain("1.45"), L::plain("1.5")},
               {}, M::None, T::List),
        choice("heightInput", "setting.adas.Height", {}, {}, M::None, T::Stepper),
        choice("leftWidthInput", "setting.adas.LeftWidth", {}, {}, M::None, T::Stepper),
        choice("rightWidthInput", "setting.adas.RightHeight", {}, {}, M::None, T::Stepper),
        choice("adasLaneWidthCombo", "setting.adas.LaneWidth", numberedLabels(11, 3.0, 0.1, 1, "m"), "LaneWidth", M::Index,
               T::List),
        choice("adasUFCWSSensSeg", "setting.adas.UFCW", numberedLabels(5, 0, 1, 0), "ADAS_uFCWS_Sens"),
        choice("adasVibratorSeg", "setting.adas.vibrator",
               {L::key("setting.adas.vibrator.notuse"), L::key("setting.adas.vibrator.all"),
                L::key("setting.adas.vibrator.level"), L::key("setting.adas.vibrator.speed")},
               "vibrator"),
    };
}

class AdasPage : public ZLXPageModel {
public:
    AdasPage() : ZLXPageModel(adasControls()) {}

    // The fields this page sets from lists and steppers of its own: only what they offer.
    bool checkOwnField(const _FILEDATA& record, std::string_view name, std::optional<ZLXMessage>& message) const override {
        auto floatOf = [&](const char* field) {
            float v = 0;
            std::memcpy(&v, reinterpret_cast<const uint8_t*>(&record) + findFileDataField(field)->offset, sizeof v);
            return v;
        };
        auto text = [](double v, int decimals) {
            char t[32];
            std::snprintf(t, sizeof t, "%.*f", decimals, v);
            return std::string(t);
        };
        for (const Stepped& s : kSteppers) {
            if (name != s.field)
                continue;
            const float v = floatOf(s.field);
            const bool within = std::isfinite(v) && v >= s.min && v <= s.max;
            message = within ? std::nullopt
                             : std::optional(ZLXMessage{"msg.value_not_offered", {double(s.min), double(s.max)}});
            return true;
        }
        if (name == "ADAS_SafeDistacne") {
            const float v = floatOf("ADAS_SafeDistacne");
            std::vector<std::string> offered;
            bool found = false;
            for (int zone = 0; zone < 25; ++zone) {
                found = found || float(zone + 6) / 10.0f == v;
                offered.push_back(text((zone + 6) / 10.0, 1));
            }
            message = found ? std::nullopt : std::optional(valuesOffered(offered));
            return true;
        }
        if (name == "ADAS_HeadWayFactor") {
            const float v = floatOf("ADAS_HeadWayFactor");
            std::vector<std::string> offered;
            bool found = false;
            for (const float f : kHeadwayFactors) {
                found = found || f == v;
                offered.push_back(text(double(f), 2));
            }
            message = found ? std::nullopt : std::optional(valuesOffered(offered));
            return true;
        }
        if (name == "ADAS_Ldws_Speed" || name == "ADAS_FCWS_Speed") {
            const auto& speeds = record.speed_disp_unit == 1 ? kMileSpeeds : kKilometreSpeeds;
            const int64_t v = name == "ADAS_Ldws_Speed" ? record.ADAS_Ldws_Speed : record.ADAS_FCWS_Speed;
            std::vector<std::string> offered;
            for (const int64_t speed : speeds)
                offered.push_back(std::to_string(speed));
            message = tableIndex(speeds, v, -1) >= 0 ? std::nullopt : std::optional(valuesOffered(offered));
            return true;
        }
        return false;
    }

    void display() override {
        if (!m_record)
            return;
        // The speed lists follow the unit the GPS page last wrote.
        const bool miles = field("speed_disp_unit") == 1;
        const auto& speeds = miles ? kMileSpeeds : kKilometreSpeeds;
        for (const char* list : {"adasLDWSSpeedCombo", "adasFCWSSpeedCombo"})
            state(list).labels = speedLabels(miles);
        ZLXPageModel::display();
        // A speed not in the unit's list chooses nothing and is kept, unless the user picks one.
        state("adasLDWSSpeedCombo").selected = tableIndex(speeds, field("ADAS_Ldws_Speed"), -1);
        state("adasFCWSSpeedCombo").selected = tableIndex(speeds, field("ADAS_FCWS_Speed"), -1);
        // A distance no entry stands for exactly (the camera's default 1.25 lies between two)
        // chooses nothing, and is kept as it is unless the user picks one.
        const float distance = floatField("ADAS_SafeDistacne");
        state("adasHeadwayZoneCombo").selected = -1;
        for (int zone = 0; zone < 25; ++zone) {
            if (float(zone + 6) / 10.0f == distance)
                state("adasHeadwayZoneCombo").selected = zone;
        }
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", double(distance));
        state("adasHeadwayZoneCombo").text = shown;
        const float factor = floatField("ADAS_HeadWayFactor");
        state("adasHeadwaySensCombo").selected = -1; // a factor no entry equals chooses nothing
        for (int i = 0; i < 9; ++i) {
            if (kHeadwayFactors[i] == factor)
                state("adasHeadwaySensCombo").selected = i;
        }
        for (const Stepped& s : kSteppers)
            showCentimetres(s);
    }

    bool populate() override {
        if (!ZLXPageModel::populate())
            return false;
        const auto& speeds = field("speed_disp_unit") == 1 ? kMileSpeeds : kKilometreSpeeds;
        for (const auto& [list, name] : {std::pair{"adasLDWSSpeedCombo", "ADAS_Ldws_Speed"}, std::pair{"adasFCWSSpeedCombo", "ADAS_FCWS_Speed"}}) {
            if (const int i = state(list).selected; i >= 0 && size_t(i) < speeds.size())
                setField(name, speeds[size_t(i)]);
        }
        if (const int zone = state("adasHeadwayZoneCombo").selected; zone >= 0)
            setFloatField("ADAS_SafeDistacne", float(zone + 6) / 10.0f);
        if (const int i = state("adasHeadwaySensCombo").selected; i >= 0 && i < 9)
            setFloatField("ADAS_HeadWayFactor", kHeadwayFactors[i]);
        // The steppers changed the record as they were clicked; the texts say the same.
        return true;
    }

    void step(std::string_view name, int steps) override {
        for (const Stepped& s : kSteppers) {
            if (name != s.control || !m_record)
                continue;
            // Into the steppers' range, never against the step: a stored value below the range
            // stays on "-" and comes up to the range on "+".
            const double stored = double(floatField(s.field));
            double value = std::clamp(stored + steps * 0.01, double(s.min), double(s.max));
            value = steps < 0 ? std::min(value, stored) : std::max(value, stored);
            setFloatField(s.field, float(value));
            showCentimetres(s);
        }
    }

private:
    void showCentimetres(const Stepped& s) {
        // Rounded: 1.15 held as a float is 1.1499999, which is 115 cm, not 114.
        state(s.control).text = std::to_string(std::lround(double(floatField(s.field)) * 100)) + "cm";
    }
};

} // namespace

std::unique_ptr<ZLXPageModel> makeSettingPageModel(int index) {
    switch (index) {
    case 0:
        return std::make_unique<VideoPage>();
    case 1:
        return std::make_unique<BasicPage>();
    case 2:
        return std::make_unique<GpsPage>();
    case 3:
        return std::make_unique<AuxPage>();
    case 5:
        return std::make_unique<AdasPage>();
    case 4:
        return std::make_unique<MotionPage>();
    case 6:
        return std::make_unique<AudioPage>();
    default:
        return nullptr;
    }
}

} // namespace daxo
