// SPDX-License-Identifier: GPL-3.0-or-later
// config.bin: the camera's settings, one 500-byte record, little-endian, every field at its
// natural alignment. The list below is the one description of the layout: the record, the
// compile-time offset checks, the file codec and the field table of daxo-config come from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace daxo {

namespace filedata_types {
using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using i32 = int32_t;
using f32 = float;
using char8 = char[8];
using char16 = char[16];
using u32x8 = uint32_t[8];
} // namespace filedata_types

// X(type, name, offset, default) for the 118 fields in declared order. The default is what the
// camera's own settings hold after a reset: a number, a text, or `keep` for a field whose
// content a reset leaves alone.
#define DAXO_FILEDATA_FIELDS(X) \
    X(u16, cfg_ver, 0, 22310) \
    X(u16, checksum, 2, keep) \
    X(u32, modelNum, 4, 34) \
    X(u32, sd_mem_always_ratio, 8, 70) \
    X(u32, sd_mem_event_ratio, 12, 10) \
    X(u32, sd_mem_motion_ratio, 16, 20) \
    X(u32, sd_mem_always_reserved, 20, 12100) \
    X(u32, sd_mem_event_reserved, 24, 0) \
    X(u32, sd_mem_motion_reserved, 28, 0) \
    X(u32, aud_enable, 32, 3) \
    X(u32, aud_codec_type, 36, 0) \
    X(u32, aud_sampling_freq, 40, 1) \
    X(u32, aud_bitrate, 44, 1) \
    X(u32, aud_input_vol, 48, 3) \
    X(u32, aud_output_vol, 52, 2) \
    X(u32, vid_enc_res, 56, 0) \
    X(u32, vid_enc_bitrate, 60, 1) \
    X(u32, vid_framerate, 64, 0) \
    X(u32, vid_brightness, 68, 2) \
    X(u32, vid_contrast, 72, 2) \
    X(u32, vid_saturation, 76, 128) \
    X(u32, vid_sharpness, 80, 2) \
    X(u32, vid_hue, 84, 2) \
    X(i32, gsen_x_threshold, 88, 45) \
    X(i32, gsen_y_threshold, 92, 45) \
    X(i32, gsen_z_threshold, 96, 45) \
    X(u32, always_mode_timeout, 100, 10) \
    X(i32, parkmode_x_threshold, 104, 8) \
    X(i32, parkmode_y_threshold, 108, 8) \
    X(i32, parkmode_z_threshold, 112, 8) \
    X(u32, motion1080pCValue, 116, 3) \
    X(u32, motion720pCValue, 120, 3) \
    X(u32, motionBlock, 124, 96) \
    X(i32, high_temp_threshold, 128, 97) \
    X(u32, high_temp_duration, 132, 3600) \
    X(i32, safe_temp_threshold, 136, 92) \
    X(u32, safe_temp_duration, 140, 60) \
    X(u32, composite_mode, 144, 0) \
    X(u32, osd_option, 148, 0) \
    X(i32, osd_speed_flag, 152, 1) \
    X(i32, osd_plate_flag, 156, 0) \
    X(u32, plate_number, 160, 0) \
    X(u32, speed_disp_unit, 164, 0) \
    X(i32, time_gmt, 168, keep) \
    X(u32, summer_time, 172, keep) \
    X(u32, nodriving_day, 176, 0) \
    X(u32, auto_drive_in_mode_on, 180, 1) \
    X(u32, auto_park_in_mode_on, 184, 1) \
    X(u32, motion_detect_mode_on, 188, 1) \
    X(u32, event_only_mode_on, 192, 0) \
    X(u32, g_sensor_enable, 196, 1) \
    X(u32, audio_mux_enable, 200, 1) \
    X(u32, safe_temp_mode_on, 204, 1) \
    X(u32, alarm_ontime_flag, 208, 1) \
    X(u32, voiceEnable, 212, 1) \
    X(u32, drivingSecurity, 216, 60) \
    X(u32, parkingSecurity, 220, 20) \
    X(u32, SaveDuration, 224, 1) \
    X(u32, MemConfig, 228, 176) \
    X(u32, BrightnessFixed, 232, 3000) \
    X(u32, DayTime, 236, 1) \
    X(u32, NightTime, 240, 0) \
    X(u32, Brightness1, 244, keep) \
    X(u32, ledoff, 248, 0) \
    X(u32, Gamma, 252, 0) \
    X(char8, szPlateNumber, 256, text("Daxo")) \
    X(u32, vid_enc_bitrate_R, 264, 1) \
    X(u32, vid_brightness_R, 268, 2) \
    X(u32, vid_sharpness_R, 272, 2) \
    X(u32, lcd_autopoweroff, 276, 2) \
    X(u32, lcd_brightness, 280, 2) \
    X(u32, lcd_screensaver, 284, 0) \
    X(u32, parking_rear_off, 288, 0) \
    X(u32, sd2_mem_always_ratio, 292, 1) \
    X(u32, sd2_mem_event_ratio, 296, 98) \
    X(u32, sd2_mem_motion_ratio, 300, 1) \
    X(u32, flip_video, 304, 0) \
    X(u32, parking_alarm, 308, 1) \
    X(u32, rear_fps, 312, 0) \
    X(u32, motion_zone, 316, 0) \
    X(u32, motionBlock_Rear, 320, 96) \
    X(u32, ledoff_rear, 324, 0) \
    X(u32, always_mode_recording_time, 328, 1) \
    X(u32, pip_position, 332, 0) \
    X(u32, always_motion, 336, 0) \
    X(u32, lcd_brightness_night, 340, 1) \
    X(u32, size_rear, 344, 0) \
    X(u32, front_cpl_use, 348, 0) \
    X(u32, rear_cpl_use, 352, 0) \
    X(char16, wifi_ssid, 356, text("DaxoA")) \
    X(char16, wifi_password, 372, text("73194082")) \
    X(u32, CableVoltCorr, 388, 4) \
    X(u32, autoFormatAlarm, 392, 2) \
    X(u8, ADAS_Car, 396, 0) \
    X(u8, ADAS_Ldws_Speed, 397, 0) \
    X(u8, ADAS_FCWS_Speed, 398, 0) \
    X(u8, ADAS_FCMD_Enable, 399, 0) \
    X(u8, ADAS_LDWS_Sens, 400, 10) \
    X(u8, ADAS_FCWS_Sens, 401, 6) \
    X(u8, ADAS_FCMD_Sens, 402, 1) \
    X(u8, dummy1, 403, keep) \
    X(u32, vide_wdr_enable, 404, 1) \
    X(u32, ParkingMode, 408, 0) \
    X(u32, En_SuperNightVision, 412, 0) \
    X(u32, wifi_channel, 416, 0) \
    X(u32, vibrator, 420, 1) \
    X(u32, viewAngle, 424, 0) \
    X(u32, recordChannel, 428, 0) \
    X(f32, LDW_width_L, 432, 1.0f) \
    X(f32, LDW_width_R, 436, 1.0f) \
    X(u32, LaneWidth, 440, 4) \
    X(u32, ADAS_uFCWS_Sens, 444, 4) \
    X(f32, ADAS_HeadWayFactor, 448, 1.5f) \
    X(f32, ADAS_SafeDistacne, 452, 1.25f) \
    X(f32, blackboxHeight, 456, 1.35f) \
    X(u32, wifiStartMode, 460, 0) \
    X(u32x8, dummy00, 464, 0) \
    X(u32, debug_mode, 496, 1)

struct _FILEDATA {
#define DAXO_FILEDATA_MEMBER(type, name, offset, initial) filedata_types::type name;
    DAXO_FILEDATA_FIELDS(DAXO_FILEDATA_MEMBER)
#undef DAXO_FILEDATA_MEMBER
};

inline constexpr size_t kFileDataSize = 500;
inline constexpr uint32_t kModelNumber = 34;
static_assert(sizeof(_FILEDATA) == kFileDataSize);
static_assert(std::is_standard_layout_v<_FILEDATA> && std::is_trivially_copyable_v<_FILEDATA>);
#define DAXO_FILEDATA_OFFSET(type, name, offset, initial)                                                 \
    static_assert(offsetof(_FILEDATA, name) == (offset), #name " is not at offset " #offset);
DAXO_FILEDATA_FIELDS(DAXO_FILEDATA_OFFSET)
#undef DAXO_FILEDATA_OFFSET

// A field's default: a number (every element of an array), a text, or none: kept as it is.
struct ZLXFieldDefault {
    enum class Kind { Keep, Number, Text };
    Kind kind = Kind::Keep;
    double number = 0;
    const char* text = nullptr;
};

// One field as the table describes it.
struct ZLXFileDataField {
    enum class Kind { U8, U16, U32, I32, F32, Text, U32Array };
    const char* name;
    size_t offset;
    Kind kind;
    size_t size; // bytes
    ZLXFieldDefault initial;
};
const std::array<ZLXFileDataField, 118>& fileDataFields();
const ZLXFileDataField* findFileDataField(std::string_view name);

// The record to and from its 500 bytes on disk, little-endian whatever the host.
void encodeFileData(const _FILEDATA& record, uint8_t (&bytes)[kFileDataSize]);
void decodeFileData(const uint8_t (&bytes)[kFileDataSize], _FILEDATA& record);

// Reads up to 500 bytes into the record: true only when 500 were read and modelNum is 34.
// A file that cannot be opened leaves the record as it was.
bool LoadFileData(const std::string& path, _FILEDATA* record);
// Writes the 500 bytes: nothing on success, else the message key "msg.file_open_fail". The
// old file is replaced only once the new one is complete on the device; a file without write
// permission or that is not a regular file is never replaced, and a link is written through
// to the file it names.
std::optional<std::string> SaveFileData(const _FILEDATA* record, const std::string& path);
// Every field the table gives a default takes it; the others keep what they hold.
void SetDefaultFileData(_FILEDATA* record);
void InitFileData(_FILEDATA* record);
std::optional<std::string> SaveDefaultFileData(const std::string& path);
// Plate flag, model number 34 and the checksum, before every write.
void FinalizeFileData(_FILEDATA* record);
// The XOR of the low 16 bits of the 32-bit words at offsets 4 to 496.
uint16_t fileDataChecksum(const _FILEDATA& record);

// UTC offsets (HHMM) of the 34 time zones the camera knows.
inline constexpr std::array<int, 34> kTimeZoneTable{
    -1200, -1100, -1000, -900, -800, -700, -600, -500, -430, -400, -330, -300,
    -200,  -100,  0,     100,  200,  300,  330,  400,  430,  500,  530,  545,
    600,   630,   700,   800,  900,  930,  1000, 1100, 1200, 1300};
// The table index of an offset from UTC in seconds, or -1.
int32_t timeZoneIndexForOffset(long secondsEastOfUtc);
// The table index of the computer's current offset, daylight saving included, or -1.
int32_t FindLocalTimeZoneIndex();

} // namespace daxo
