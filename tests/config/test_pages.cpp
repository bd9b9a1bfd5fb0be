// SPDX-License-Identifier: GPL-3.0-or-later
// The settings pages without their widgets: what they show of a record, and the record they
// write back, byte for byte, compared with one changed by hand.
#include "config/pages/VMMultiHandleSlider.h"
#include "config/pages/ZLXPageModel.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace daxo;

namespace {

struct Bytes {
    uint8_t b[kFileDataSize];
    bool operator==(const Bytes& o) const { return std::memcmp(b, o.b, kFileDataSize) == 0; }
};
void PrintTo(const Bytes& bytes, std::ostream* os) {
    *os << "record";
    (void)bytes;
}
Bytes bytesOf(const _FILEDATA& r) {
    Bytes out;
    encodeFileData(r, out.b);
    return out;
}
_FILEDATA defaults() {
    _FILEDATA r{};
    InitFileData(&r);
    return r;
}

// Shows `record` on page `index`, lets `act` work the controls, populates; the record after.
template <typename Act>
_FILEDATA through(int index, _FILEDATA record, Act act) {
    auto page = makeSettingPageModel(index);
    page->setFileData(&record);
    act(*page);
    EXPECT_TRUE(page->populate());
    return record;
}
_FILEDATA untouched(int index, const _FILEDATA& record) {
    return through(index, record, [](ZLXPageModel&) {});
}

void choose(ZLXPageModel& page, const char* control, int index) {
    page.state(control).selected = index;
    page.controlChanged(control);
}

} // namespace

TEST(SettingPages, EveryPageWritesBackTheDefaultsUnchanged) {
    // byte for byte, also where a default lies between two choices (the safe distance 1.25)
    for (int index : {0, 1, 2, 3, 4, 5, 6}) {
        const _FILEDATA r = defaults();
        EXPECT_EQ(bytesOf(untouched(index, r)), bytesOf(r)) << "page " << index;
    }
    _FILEDATA r = defaults();
    auto adas = makeSettingPageModel(5);
    adas->setFileData(&r);
    EXPECT_EQ(adas->state("adasHeadwayZoneCombo").selected, -1);
    EXPECT_EQ(adas->state("adasHeadwayZoneCombo").text, "1.25"); // shown as it is
    r.ADAS_SafeDistacne = 1.2f;
    adas->setFileData(&r);
    EXPECT_EQ(adas->state("adasHeadwayZoneCombo").selected, 6);
}

TEST(SettingPages, ValuesOutsideAListAreShownAsNoChoiceAndKept) {
    _FILEDATA r = defaults();
    r.vid_brightness = 9;
    r.nodriving_day = 12;
    r.aud_input_vol = 7;
    r.Brightness1 = 25;
    r.CableVoltCorr = 11;
    auto video = makeSettingPageModel(0);
    video->setFileData(&r);
    EXPECT_EQ(video->state("videoBrightness").selected, -1);
    EXPECT_EQ(bytesOf(untouched(0, r)), bytesOf(r));
    EXPECT_EQ(bytesOf(untouched(1, r)), bytesOf(r));
    EXPECT_EQ(bytesOf(untouched(2, r)), bytesOf(r));
    auto audio = makeSettingPageModel(6);
    audio->setFileData(&r);
    EXPECT_EQ(audio->state("voiceLangRadio").selected, -1);
    EXPECT_FALSE(audio->state("malaysiaRadio").checked);
    EXPECT_EQ(bytesOf(untouched(6, r)), bytesOf(r));
    // a choice the user makes is written
    _FILEDATA chosen = r;
    chosen.vid_brightness = 4;
    EXPECT_EQ(bytesOf(through(0, r, [](ZLXPageModel& p) { choose(p, "videoBrightness", 4); })), bytesOf(chosen));
}

TEST(VideoPage, ReversalFrameRateWarningAndFrontOnly) {
    _FILEDATA r = defaults();
    r.flip_video = 7;
    r.Gamma = 1;
    r.ledoff_rear = 1;
    auto page = makeSettingPageModel(0);
    page->setFileData(&r);
    EXPECT_EQ(page->state("flipVideoRealSeg").selected, 0); // shown as "unuse"...
    EXPECT_EQ(page->state("rearfpsSeg").labels[0].text, "25fps");
    choose(*page, "videoEncodingBitrate", 2);
    choose(*page, "channel", 1); // front only
    ASSERT_TRUE(page->populate());
    _FILEDATA expected = defaults();
    expected.flip_video = 0; // ...and written back as 0
    expected.Gamma = 1;
    expected.vid_enc_bitrate = 2;
    expected.recordChannel = 1;
    expected.ledoff_rear = 0;
    EXPECT_EQ(bytesOf(r), bytesOf(expected));
    EXPECT_EQ(page->takeNotices(), std::vector<std::string>{"msg.video_quality_warning"});
    // a page made anew remembers what it showed: no warning without a change
    auto again = makeSettingPageModel(0);
    again->setFileData(&r);
    ASSERT_TRUE(again->populate());
    EXPECT_TRUE(again->takeNotices().empty());
}

TEST(BasicPage, PresetsAndTheirFields) {
    _FILEDATA r = defaults();
    r.gsen_x_threshold = r.gsen_y_threshold = r.gsen_z_threshold = 45;
    r.parkmode_x_threshold = 45, r.parkmode_y_threshold = 45, r.parkmode_z_threshold = 50;
    r.g_sensor_enable = 1;
    auto page = makeSettingPageModel(1);
    page->setFileData(&r);
    EXPECT_EQ(page->state("gsensorSensitivityDrivingSeg").selected, 2);
    EXPECT_EQ(page->state("gsensorSensitivityThresholdXDrivingField").text, "0.45");
    EXPECT_FALSE(page->state("gsensorSensitivityThresholdXDrivingField").enabled);
    EXPECT_EQ(page->state("gsensorSensitivityParkingSeg").selected, 5);
    EXPECT_TRUE(page->state("gsensorSensitivityThresholdZParkingField").enabled);
    EXPECT_EQ(page->state("gsensorSensitivityThresholdZParkingField").text, "0.50");

    choose(*page, "gsensorSensitivityParkingSeg", 4);
    EXPECT_EQ(page->state("gsensorSensitivityThresholdYParkingField").text, "0.08");
    EXPECT_FALSE(page->state("gsensorSensitivityThresholdYParkingField").enabled);
    choose(*page, "gsensorSensitivityParkingSeg", 5);
    EXPECT_TRUE(page->state("gsensorSensitivityThresholdYParkingField").enabled);
    EXPECT_EQ(page->state("gsensorSensitivityThresholdYParkingField").text, "0.08"); // kept

    page->state("gsensorSensitivityThresholdXParkingField").text = "0.29";
    page->state("gsensorSensitivityThresholdYParkingField").text = "0.57";
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(r.parkmode_x_threshold, 28); // truncated toward zero in double precision
    EXPECT_EQ(r.parkmode_y_threshold, 56);
    EXPECT_EQ(r.parkmode_z_threshold, 8);
    EXPECT_EQ(r.gsen_x_threshold, 45);

    // unchecking disables both presets and all six fields, which then keep what the card holds
    page->setFileData(&r);
    page->state("gsensorEnableChk").checked = false;
    page->controlChanged("gsensorEnableChk");
    EXPECT_FALSE(page->state("gsensorSensitivityDrivingSeg").enabled);
    EXPECT_FALSE(page->state("gsensorSensitivityThresholdXParkingField").enabled);
    choose(*page, "gsensorSensitivityParkingSeg", 0);
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(r.g_sensor_enable, 0u);
    EXPECT_EQ(r.parkmode_x_threshold, 28);
    EXPECT_EQ(r.parkmode_z_threshold, 8);
}

TEST(BasicPage, ACustomThresholdOutOfRangeBlocksAndFocusesTheFirstBadField) {
    _FILEDATA r = defaults();
    r.gsen_x_threshold = 40, r.gsen_y_threshold = 41, r.gsen_z_threshold = 42; // custom
    const Bytes before = bytesOf(r);
    auto page = makeSettingPageModel(1);
    page->setFileData(&r);
    page->state("gsensorSensitivityThresholdYDrivingField").text = "1.6";
    page->state("gsensorSensitivityThresholdZDrivingField").text = "9";
    const auto message = page->validateUserInput();
    ASSERT_TRUE(message);
    EXPECT_EQ(page->focusRequest(), "gsensorSensitivityThresholdYDrivingField");
    EXPECT_FALSE(page->populate());
    EXPECT_EQ(bytesOf(r), before);
    // a preset's fields are not checked: they hold the preset
    choose(*page, "gsensorSensitivityDrivingSeg", 0);
    EXPECT_FALSE(page->validateUserInput());

    // impact detection off: the card's thresholds, out of range as they may be, cannot be
    // edited, block nothing and stay as they are
    _FILEDATA off = defaults();
    off.g_sensor_enable = 0;
    off.gsen_x_threshold = 900, off.gsen_y_threshold = 41, off.gsen_z_threshold = 42;
    auto page2 = makeSettingPageModel(1);
    page2->setFileData(&off);
    EXPECT_FALSE(page2->state("gsensorSensitivityThresholdXDrivingField").enabled);
    EXPECT_FALSE(page2->validateUserInput());
    const Bytes kept = bytesOf(off);
    ASSERT_TRUE(page2->populate());
    EXPECT_EQ(bytesOf(off), kept);
}

TEST(AdasPage, AStepperNeverMovesAgainstItsStep) {
    _FILEDATA r = defaults();
    r.blackboxHeight = 0.30f; // below the steppers' 0.50 m, as another tool may have left it
    r.LDW_width_L = 2.5f;      // above their 2 m
    auto page = makeSettingPageModel(5);
    page->setFileData(&r);
    page->step("heightInput", -1);
    EXPECT_FLOAT_EQ(r.blackboxHeight, 0.30f); // "-" does not raise it to 0.50
    page->step("heightInput", 1);
    EXPECT_FLOAT_EQ(r.blackboxHeight, 0.50f); // "+" brings it into the range
    page->step("leftWidthInput", 1);
    EXPECT_FLOAT_EQ(r.LDW_width_L, 2.5f);
    page->step("leftWidthInput", -1);
    EXPECT_FLOAT_EQ(r.LDW_width_L, 2.0f);
}

TEST(BasicPage, TablesPowerCableLedsAndPlate) {
    _FILEDATA r = defaults();
    r.always_mode_timeout = 45;
    r.sd_mem_always_reserved = 11000;
    r.CableVoltCorr = 0;
    r.recordChannel = 1;
    r.ledoff_rear = 1;
    std::memcpy(r.szPlateNumber, "12AB34XY", 8);
    auto page = makeSettingPageModel(1);
    page->setFileData(&r);
    // shown, and changed in the record the moment they are shown
    EXPECT_EQ(page->state("alwaysModeTimeoutSeg").selected, 2);
    EXPECT_EQ(page->state("powerVoltageCombo").selected, 8);
    EXPECT_EQ(page->state("cableVoltageLossSeg").selected, 3);
    EXPECT_EQ(r.CableVoltCorr, 4u);
    EXPECT_EQ(r.ledoff_rear, 0u);
    EXPECT_FALSE(page->state("rearLEDSeg").enabled);
    EXPECT_EQ(page->state("carNumberField").text, "12AB34XY");

    choose(*page, "powerVoltageCombo", 2);
    EXPECT_EQ(page->takeNotices(), std::vector<std::string>{"msg.use_external_power_10v"});
    page->state("useExternalPowerChk").checked = true;
    page->controlChanged("useExternalPowerChk");
    EXPECT_EQ(r.sd_mem_event_reserved, 1u); // at once, before any populate
    EXPECT_FALSE(page->state("powerTimeCombo").enabled);
    page->state("carNumberField").text = "";
    ASSERT_TRUE(page->populate());

    _FILEDATA expected = defaults();
    expected.always_mode_timeout = 30;
    expected.sd_mem_always_reserved = 10000;
    expected.sd_mem_event_reserved = 1;
    expected.CableVoltCorr = 4;
    expected.recordChannel = 1;
    expected.ledoff_rear = 0;
    std::memset(expected.szPlateNumber, 0, 8);
    EXPECT_EQ(bytesOf(r), bytesOf(expected));
}

TEST(BasicPage, APlateIsWrittenOnlyAsAPlateMayBeAndOnlyWhenTyped) {
    _FILEDATA r = defaults();
    std::memcpy(r.szPlateNumber, "\xEC\x84\x9C" "12-3", 7); // written by something else
    const _FILEDATA stored = r;
    EXPECT_EQ(bytesOf(untouched(1, r)), bytesOf(stored)); // untouched: the card's bytes
    const _FILEDATA typed = through(1, r, [](ZLXPageModel& p) { p.state("carNumberField").text = "12 ab-34"; });
    EXPECT_EQ(std::string(typed.szPlateNumber, strnlen(typed.szPlateNumber, 8)), "12ab34");
}

TEST(GpsPage, TimeZoneByIndexDaylightSavingAndInterval) {
    _FILEDATA r = defaults();
    r.time_gmt = 22;
    r.summer_time = 5;
    auto page = makeSettingPageModel(2);
    page->setFileData(&r);
    EXPECT_EQ(page->state("timeGmtCombo").labels[22].text, "+05:30");
    EXPECT_EQ(page->state("timeGmtCombo").labels[14].text, "00:00");
    EXPECT_TRUE(page->state("summerTimeChk").checked);
    choose(*page, "timeGmtCombo", 10);
    choose(*page, "saveDurationSeg", 7);
    ASSERT_TRUE(page->populate());
    _FILEDATA expected = defaults();
    expected.time_gmt = 10;
    expected.summer_time = 1;
    expected.SaveDuration = 7;
    EXPECT_EQ(bytesOf(r), bytesOf(expected));

    r.time_gmt = -1; // the computer's zone was not in the table
    page->setFileData(&r);
    EXPECT_EQ(page->state("timeGmtCombo").selected, -1);
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(r.time_gmt, -1);
}

TEST(MotionPage, BlocksAreCheckedWhereTheirBitIsClear) {
    _FILEDATA r = defaults();
    r.motionBlock = 0;
    r.motionBlock_Rear = 0xF060;
    r.motion1080pCValue = 0; // the rear's detection off
    auto page = makeSettingPageModel(4);
    page->setFileData(&r);
    EXPECT_TRUE(page->state("frontMotionBlock01Chk").checked);
    EXPECT_FALSE(page->state("rearMotionBlock06Chk").checked);
    EXPECT_FALSE(page->state("rearMotionBlock07Chk").checked);
    EXPECT_TRUE(page->state("rearMotionBlock08Chk").checked);
    EXPECT_FALSE(page->state("rearMotionBlock01Chk").enabled); // "unuse": no blocks to choose
    EXPECT_TRUE(page->state("frontMotionBlock01Chk").enabled);
    page->state("frontMotionBlock01Chk").checked = false;
    page->state("frontMotionBlock12Chk").checked = false;
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(r.motionBlock, 0x108u);
    EXPECT_EQ(r.motionBlock_Rear, 0x60u); // bits outside the twelve blocks cleared
    choose(*page, "rearSensitivitySeg", 3);
    EXPECT_TRUE(page->state("rearMotionBlock01Chk").enabled);
}

TEST(AudioPage, ExactlyOneLanguageIsChosen) {
    _FILEDATA r = defaults();
    r.Brightness1 = 20;
    r.aud_output_vol = 0;
    r.alarm_ontime_flag = 2;
    auto page = makeSettingPageModel(6);
    page->setFileData(&r);
    EXPECT_EQ(page->state("voiceLangRadio").selected, -1);
    EXPECT_TRUE(page->state("malaysiaRadio").checked);
    EXPECT_EQ(page->state("speakerSeg").selected, 0);
    choose(*page, "voiceLangRadio", 13); // German
    EXPECT_FALSE(page->state("malaysiaRadio").checked);
    EXPECT_EQ(r.Brightness1, 13u); // at once
    page->state("malaysiaRadio").checked = true;
    page->controlChanged("malaysiaRadio");
    EXPECT_EQ(page->state("voiceLangRadio").selected, -1);
    EXPECT_EQ(r.Brightness1, 20u);
    ASSERT_TRUE(page->populate());
    _FILEDATA expected = defaults();
    expected.Brightness1 = 20;
    expected.aud_output_vol = 0;
    expected.alarm_ontime_flag = 1;
    EXPECT_EQ(bytesOf(r), bytesOf(expected));
}

TEST(RangeSlider, KnobsStopAtTheirNeighboursAndReportEveryHandle) {
    VMMultiHandleSlider slider(413); // a track of 400
    std::vector<VMMultiHandleSlider::Values> reports;
    slider.setValueChangedBlock([&](VMMultiHandleSlider::Values v) { reports.push_back(v); });
    slider.addHandle("High", 0.9f);
    slider.addHandle("Low", 0.7f);
    // a press that misses every knob starts no drag
    slider.mouseDown(100, 8, 17);
    slider.mouseDragged(300);
    EXPECT_TRUE(reports.empty());
    // Low (left edge 280) dragged right stops with its right edge at High's left edge (360)
    slider.mouseDown(285, 8, 17);
    ASSERT_TRUE(slider.isDragging());
    slider.mouseDragged(500);
    EXPECT_NEAR(slider.handle("Low")->knobX, 360 - 13, 1e-4);
    ASSERT_FALSE(reports.empty());
    EXPECT_FLOAT_EQ(reports.back().at("Low"), float(347.0 / 400));
    EXPECT_FLOAT_EQ(reports.back().at("High"), 0.9f);
    // a move that changes nothing reports nothing
    const size_t count = reports.size();
    slider.mouseDragged(500);
    EXPECT_EQ(reports.size(), count);
    slider.mouseUp();
    EXPECT_FALSE(slider.isDragging());
    // a value from outside moves the knob, within its neighbours
    slider.setValue("Low", 0.2f);
    EXPECT_FLOAT_EQ(slider.handle("Low")->curRatio, 0.2f);
    EXPECT_NEAR(slider.handle("Low")->knobX, 80, 1e-4); // where a drag would put it
    slider.setValue("Low", 0.95f);
    EXPECT_LE(slider.handle("Low")->knobX + 13, slider.handle("High")->knobX + 1e-6);
}

TEST(RangeSlider, OverlappingKnobsDoNotLimitEachOther) {
    VMMultiHandleSlider slider(413);
    slider.addHandle("High", 0.5f);
    slider.addHandle("Low", 0.5f);
    slider.mouseDown(205, 8, 17); // the first knob under the pointer: High
    slider.mouseDragged(50);
    EXPECT_LT(slider.handle("High")->curRatio, slider.handle("Low")->curRatio);
}

TEST(AuxPage, TheCardSplitFollowsTheSliderAndTheFields) {
    _FILEDATA r = defaults(); // 70 / 20 / 10
    auto page = makeSettingPageModel(3);
    page->setFileData(&r);
    VMMultiHandleSlider* slider = page->rangeSlider();
    ASSERT_TRUE(slider);
    EXPECT_FLOAT_EQ(slider->handle("Low")->curRatio, 0.70f);
    EXPECT_FLOAT_EQ(slider->handle("High")->curRatio, 0.90f);
    EXPECT_EQ(page->state("motionField").text, "20%");
    EXPECT_FALSE(page->state("sdcardCapacityWarningLabel").enabled);
    // Low to 0.355: 35 %, truncated; the warning shows
    slider->mouseDown(slider->handle("Low")->knobX + 2, 8, 17);
    slider->mouseDragged(0.355 * 400 + 6.5);
    slider->mouseUp();
    EXPECT_EQ(page->state("alwaysField").text, "35%");
    EXPECT_EQ(page->state("motionField").text, "55%");
    EXPECT_TRUE(page->state("sdcardCapacityWarningLabel").enabled);
    // a share typed in a field moves the slider
    page->state("eventField").text = "30";
    page->controlChanged("eventField");
    EXPECT_FLOAT_EQ(slider->handle("High")->curRatio, 0.70f);
    EXPECT_EQ(page->state("motionField").text, "35%");
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(r.sd_mem_always_ratio, 35u);
    EXPECT_EQ(r.sd_mem_motion_ratio, 35u);
    EXPECT_EQ(r.sd_mem_event_ratio, 30u);
    // 9 % is too small a share
    page->state("alwaysField").text = "9";
    page->controlChanged("alwaysField");
    EXPECT_EQ(page->validateUserInput(), (ZLXMessage{"msg.sdcard_ratio_too_low", {}}));
}

// Typed shares that move another say so; three typed that do not make 100 % are told as such.
TEST(AuxPage, TypedSharesSayWhatMovedAndWhatTheyAddUpTo) {
    _FILEDATA r = defaults(); // 70 / 20 / 10
    auto page = makeSettingPageModel(3);
    page->setFileData(&r);
    const auto type = [&](const char* field, const char* value) {
        page->state(field).text = value;
        page->controlChanged(field);
    };
    type("alwaysField", "60"); // the rear share takes the room: it moved
    EXPECT_EQ(page->state("motionField").text, "30%");
    EXPECT_EQ(page->takeNotices(), std::vector<std::string>{"msg.share_moved"});
    type("motionField", "40");
    type("eventField", "10");
    EXPECT_EQ(page->validateUserInput(), (ZLXMessage{"msg.shares_total", {110}}));
}

// Every split the page allows is shown as the card holds it, and a handle only touched (moved
// and moved back) changes nothing.
TEST(AuxPage, ATouchedHandleLeavesEverySplitAsTheCardHeldIt) {
    for (uint32_t always = 10; always <= 80; ++always) {
        for (uint32_t event = 10; always + event <= 90; ++event) {
            _FILEDATA r = defaults();
            r.sd_mem_always_ratio = always, r.sd_mem_event_ratio = event, r.sd_mem_motion_ratio = 100 - always - event;
            const Bytes before = bytesOf(r);
            auto page = makeSettingPageModel(3);
            page->setFileData(&r);
            VMMultiHandleSlider* slider = page->rangeSlider();
            ASSERT_NEAR(slider->handle("High")->curRatio, float(100 - event) / 100, 1e-6) << always << "/" << event;
            for (const char* name : {"Low", "High"}) {
                const double x = slider->handle(name)->knobX + 6.5;
                slider->mouseDown(x, 8, 17);
                slider->mouseDragged(x + 1);
                slider->mouseDragged(x);
                slider->mouseUp();
            }
            ASSERT_TRUE(page->populate());
            ASSERT_EQ(bytesOf(r), before) << always << "/" << event;
        }
    }
}

TEST(AuxPage, InvertedAndRemappedChoicesAndWifiChecks) {
    _FILEDATA r = defaults();
    r.parking_rear_off = 0;
    r.lcd_screensaver = 0;
    r.pip_position = 0;
    r.Gamma = 5;
    r.wifi_channel = 20;
    auto page = makeSettingPageModel(3);
    page->setFileData(&r);
    EXPECT_EQ(page->state("parkingRearOffSeg").selected, 1); // "use"
    EXPECT_EQ(page->state("lcdScreenSaverSeg").selected, 1); // "default"
    EXPECT_EQ(page->state("pipPositionRadio").selected, 3);  // (1, 1)
    EXPECT_EQ(page->state("gammaSeg").selected, -1);
    EXPECT_EQ(page->state("wifiChannelCombo").selected, -1);
    choose(*page, "parkingRearOffSeg", 0);
    choose(*page, "pipPositionRadio", 0);
    const Bytes wifiBefore = bytesOf(r);
    for (const auto& [ssid, password, key] :
         {std::tuple{"Cam1", "12345678", "setting.aux.ssid_length"}, std::tuple{"My Cam", "12345678", "setting.aux.ssid_invalid"},
          std::tuple{"MyCam", "1234567", "setting.aux.password_length"},
          std::tuple{"MyCam", "passw\xC3\xB6rd", "setting.aux.password_invalid"}}) {
        page->state("ssidLabel").text = ssid;
        page->state("passwordLabel").text = password;
        EXPECT_EQ(page->validateUserInput(), (ZLXMessage{key, {}})) << ssid << " " << password;
        EXPECT_FALSE(page->populate());
        EXPECT_EQ(bytesOf(r), wifiBefore); // nothing written, the Wi-Fi fields least of all
    }
    page->state("ssidLabel").text = "ABCDEFGHIJKLMNOPQRST"; // 20: the first 16, no zero after
    page->state("passwordLabel").text = "!~secret";
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(std::string(r.wifi_ssid, 16), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(std::string(r.wifi_password), "!~secret");
    EXPECT_EQ(r.parking_rear_off, 1u);
    EXPECT_EQ(r.pip_position, 2u);
    EXPECT_EQ(r.Gamma, 5u);         // kept: no choice stands for it
    EXPECT_EQ(r.wifi_channel, 20u); // kept
    EXPECT_EQ(r.lcd_screensaver, 0u);
}

TEST(AdasPage, ListsByUnitHeadwayAndCentimetres) {
    _FILEDATA r = defaults();
    r.ADAS_LDWS_Sens = 10;
    r.speed_disp_unit = 1; // miles
    r.ADAS_Ldws_Speed = 35;
    r.ADAS_FCWS_Speed = 60;
    r.ADAS_HeadWayFactor = 1.33f;
    r.blackboxHeight = 1.15f;
    auto page = makeSettingPageModel(5);
    page->setFileData(&r);
    EXPECT_EQ(page->state("adasLDWSSenseCombo").labels[10].text, "11");
    EXPECT_EQ(page->state("adasLDWSSpeedCombo").selected, -1); // not in the mile list: no choice
    EXPECT_EQ(page->state("adasFCWSSpeedCombo").labels[10].text, "60Mi/h");
    EXPECT_EQ(page->state("adasHeadwayZoneCombo").selected, -1); // 1.25 lies between "1.2" and "1.3"
    EXPECT_EQ(page->state("adasHeadwaySensCombo").selected, -1); // no entry equals 1.33
    EXPECT_EQ(page->state("heightInput").text, "115cm");
    EXPECT_EQ(page->state("adasLaneWidthCombo").labels[4].text, "3.4m");
    page->step("heightInput", 1);
    EXPECT_FLOAT_EQ(r.blackboxHeight, 1.16f); // at once
    EXPECT_EQ(page->state("heightInput").text, "116cm");
    page->step("leftWidthInput", -500); // kept within 0 to 2 m
    EXPECT_FLOAT_EQ(r.LDW_width_L, 0.0f);
    ASSERT_TRUE(page->populate());
    EXPECT_EQ(r.ADAS_Ldws_Speed, 35); // nothing the user did not pick is written
    EXPECT_EQ(r.ADAS_FCWS_Speed, 60);
    EXPECT_EQ(r.ADAS_SafeDistacne, 1.25f);
    EXPECT_FLOAT_EQ(r.ADAS_HeadWayFactor, 1.33f); // kept
    EXPECT_FLOAT_EQ(r.blackboxHeight, 1.16f);     // a second visit shows and keeps 116 cm
    auto again = makeSettingPageModel(5);
    again->setFileData(&r);
    EXPECT_EQ(again->state("heightInput").text, "116cm");
    ASSERT_TRUE(again->populate());
    EXPECT_FLOAT_EQ(r.blackboxHeight, 1.16f);
}
