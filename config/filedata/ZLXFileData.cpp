// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/filedata/ZLXFileData.h"

#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {
namespace {

template <typename T> constexpr ZLXFileDataField::Kind kindOf() {
    using K = ZLXFileDataField::Kind;
    if constexpr (std::is_same_v<T, filedata_types::u8>)
        return K::U8;
    else if constexpr (std::is_same_v<T, filedata_types::u16>)
        return K::U16;
    else if constexpr (std::is_same_v<T, filedata_types::u32>)
        return K::U32;
    else if constexpr (std::is_same_v<T, filedata_types::i32>)
        return K::I32;
    else if constexpr (std::is_same_v<T, filedata_types::f32>)
        return K::F32;
    else if constexpr (std::is_same_v<T, filedata_types::u32x8>)
        return K::U32Array;
    else
        return K::Text;
}

constexpr std::array<ZLXFileDataField, 118> kFields{{
#define DAXO_FILEDATA_ENTRY(type, name, offset)                                                    \
    {#name, offset, kindOf<filedata_types::type>(), sizeof(filedata_types::type)},
    DAXO_FILEDATA_FIELDS(DAXO_FILEDATA_ENTRY)
#undef DAXO_FILEDATA_ENTRY
}};

// Copies `size` bytes of a field between host order (in the record) and little-endian order
// (on disk); the values are 1, 2 or 4 bytes wide, arrays are runs of 4-byte words.
void convertField(const ZLXFileDataField& f, const uint8_t* from, uint8_t* to, bool toDisk) {
    using K = ZLXFileDataField::Kind;
    const size_t width = f.kind == K::U16 ? 2 : (f.kind == K::U8 || f.kind == K::Text) ? 1 : 4;
    for (size_t at = 0; at < f.size; at += width) {
        if (width == 1) {
            to[at] = from[at];
        } else if (width == 2) {
            uint16_t v;
            if (toDisk) {
                std::memcpy(&v, from + at, 2);
                to[at] = uint8_t(v);
                to[at + 1] = uint8_t(v >> 8);
            } else {
                v = uint16_t(from[at] | from[at + 1] << 8);
                std::memcpy(to + at, &v, 2);
            }
        } else {
            uint32_t v;
            if (toDisk) {
                std::memcpy(&v, from + at, 4);
                for (int k = 0; k < 4; ++k)
                    to[at + size_t(k)] = uint8_t(v >> (8 * k));
            } else {
                v = uint32_t(from[at]) | uint32_t(from[at + 1]) << 8 | uint32_t(from[at + 2]) << 16 |
                    uint32_t(from[at + 3]) << 24;
                std::memcpy(to + at, &v, 4);
            }
        }
    }
}

void setText(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, std::min(size, std::strlen(text)));
}

} // namespace

const std::array<ZLXFileDataField, 118>& fileDataFields() {
    return kFields;
}

const ZLXFileDataField* findFileDataField(std::string_view name) {
    for (const auto& f : kFields) {
        if (name == f.name)
            return &f;
    }
    return nullptr;
}

void encodeFileData(const _FILEDATA& record, uint8_t (&bytes)[kFileDataSize]) {
    const auto* host = reinterpret_cast<const uint8_t*>(&record);
    for (const auto& f : kFields)
        convertField(f, host + f.offset, bytes + f.offset, true);
}

void decodeFileData(const uint8_t (&bytes)[kFileDataSize], _FILEDATA& record) {
    auto* host = reinterpret_cast<uint8_t*>(&record);
    for (const auto& f : kFields)
        convertField(f, bytes + f.offset, host + f.offset, false);
}

namespace {

// A save's new file, beside the old one until it takes its name.
constexpr std::string_view kSavePrefix = ".config.bin.";

// Removes what a save that was killed half-way left in the folder: its new file, not yet
// renamed. Only files older than a minute go, so that a save running now keeps its own.
void removeAbandonedSaves(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kSavePrefix) || name.size() != kSavePrefix.size() + 6)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_mtime < now - 60 && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ZLXLog("removed an abandoned save:%s/%s", folder.c_str(), entry->d_name);
    }
    ::closedir(dir);
}

} // namespace

bool LoadFileData(const std::string& path, _FILEDATA* record) {
    if (!record)
        return false;
    removeAbandonedSaves(folderOf(path));
    const int fd = openRegularFile(path.c_str()); // never waits on a FIFO or a device
    if (fd < 0)
        return false;
    uint8_t bytes[kFileDataSize];
    encodeFileData(*record, bytes); // what is not read keeps the record's content
    const size_t got = readFullyAt(fd, 0, bytes, kFileDataSize);
    ::close(fd);
    decodeFileData(bytes, *record);
    return got == kFileDataSize && record->modelNum == kModelNumber;
}

std::optional<std::string> SaveFileData(const _FILEDATA* record, const std::string& requestedPath) {
    static const std::string kFailure = "msg.file_open_fail";
    if (!record)
        return kFailure;
    uint8_t bytes[kFileDataSize];
    encodeFileData(*record, bytes);

    // A link is written through: the file it names is the one replaced, in its own folder.
    std::string path = requestedPath;
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        if (char* target = ::realpath(path.c_str(), nullptr)) {
            path = target;
            std::free(target);
        }
    }
    if (::stat(path.c_str(), &existing) == 0) {
        // A file the user may not write, or that is not a regular file, is never replaced;
        // the write beside it and the rename would otherwise succeed in a writable folder.
        if (!S_ISREG(existing.st_mode)) {
            ZLXLog("not a regular file:%s", path.c_str());
            return kFailure;
        }
        if ((existing.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
            ZLXLog("write protected:%s", path.c_str());
            return kFailure;
        }
    }

    // A new file beside the old one, complete on the device before it takes the old one's
    // name: a failed or short write never leaves a damaged config.bin behind.
    removeAbandonedSaves(folderOf(path));
    if (const auto why = replaceFileAtomically(
            path, std::string_view(reinterpret_cast<const char*>(bytes), kFileDataSize), kSavePrefix)) {
        ZLXLog("%s", why->c_str());
        return kFailure;
    }
    return std::nullopt;
}

void SetDefaultFileData(_FILEDATA* r) {
    if (!r)
        return;
    // checksum, time_gmt, summer_time, Brightness1 and dummy1 keep what they hold.
    r->cfg_ver = 22310;
    r->modelNum = kModelNumber;
    r->sd_mem_always_ratio = 70;
    r->sd_mem_event_ratio = 10;
    r->sd_mem_motion_ratio = 20;
    r->sd_mem_always_reserved = 12100;
    r->sd_mem_event_reserved = 0;
    r->sd_mem_motion_reserved = 0;
    r->aud_enable = 3;
    r->aud_codec_type = 0;
    r->aud_sampling_freq = 1;
    r->aud_bitrate = 1;
    r->aud_input_vol = 3;
    r->aud_output_vol = 2;
    r->vid_enc_res = 0;
    r->vid_enc_bitrate = 1;
    r->vid_framerate = 0;
    r->vid_brightness = 2;
    r->vid_contrast = 2;
    r->vid_saturation = 128;
    r->vid_sharpness = 2;
    r->vid_hue = 2;
    r->gsen_x_threshold = 45;
    r->gsen_y_threshold = 45;
    r->gsen_z_threshold = 45;
    r->always_mode_timeout = 10;
    r->parkmode_x_threshold = 8;
    r->parkmode_y_threshold = 8;
    r->parkmode_z_threshold = 8;
    r->motion1080pCValue = 3;
    r->motion720pCValue = 3;
    r->motionBlock = 96;
    r->high_temp_threshold = 97;
    r->high_temp_duration = 3600;
    r->safe_temp_threshold = 92;
    r->safe_temp_duration = 60;
    r->composite_mode = 0;
    r->osd_option = 0;
    r->osd_speed_flag = 1;
    r->osd_plate_flag = 0;
    r->plate_number = 0;
    r->speed_disp_unit = 0;
    r->nodriving_day = 0;
    r->auto_drive_in_mode_on = 1;
    r->auto_park_in_mode_on = 1;
    r->motion_detect_mode_on = 1;
    r->event_only_mode_on = 0;
    r->g_sensor_enable = 1;
    r->audio_mux_enable = 1;
    r->safe_temp_mode_on = 1;
    r->alarm_ontime_flag = 1;
    r->voiceEnable = 1;
    r->drivingSecurity = 60;
    r->parkingSecurity = 20;
    r->SaveDuration = 1;
    r->MemConfig = 176;
    r->BrightnessFixed = 3000;
    r->DayTime = 1;
    r->NightTime = 0;
    r->ledoff = 0;
    r->Gamma = 0;
    setText(r->szPlateNumber, sizeof r->szPlateNumber, "Daxo");
    r->vid_enc_bitrate_R = 1;
    r->vid_brightness_R = 2;
    r->vid_sharpness_R = 2;
    r->lcd_autopoweroff = 2;
    r->lcd_brightness = 2;
    r->lcd_screensaver = 0;
    r->parking_rear_off = 0;
    r->sd2_mem_always_ratio = 1;
    r->sd2_mem_event_ratio = 98;
    r->sd2_mem_motion_ratio = 1;
    r->flip_video = 0;
    r->parking_alarm = 1;
    r->rear_fps = 0;
    r->motion_zone = 0;
    r->motionBlock_Rear = 96;
    r->ledoff_rear = 0;
    r->always_mode_recording_time = 1;
    r->pip_position = 0;
    r->always_motion = 0;
    r->lcd_brightness_night = 1;
    r->size_rear = 0;
    r->front_cpl_use = 0;
    r->rear_cpl_use = 0;
    setText(r->wifi_ssid, sizeof r->wifi_ssid, "DaxoA");
    setText(r->wifi_password, sizeof r->wifi_password, "73194082");
    r->CableVoltCorr = 4;
    r->autoFormatAlarm = 2;
    r->ADAS_Car = 0;
    r->ADAS_Ldws_Speed = 0;
    r->ADAS_FCWS_Speed = 0;
    r->ADAS_FCMD_Enable = 0;
    r->ADAS_LDWS_Sens = 10;
    r->ADAS_FCWS_Sens = 6;
    r->ADAS_FCMD_Sens = 1;
    r->vide_wdr_enable = 1;
    r->ParkingMode = 0;
    r->En_SuperNightVision = 0;
    r->wifi_channel = 0;
    r->vibrator = 1;
    r->viewAngle = 0;
    r->recordChannel = 0;
    r->LDW_width_L = 1.0f;
    r->LDW_width_R = 1.0f;
    r->LaneWidth = 4;
    r->ADAS_uFCWS_Sens = 4;
    r->ADAS_HeadWayFactor = 1.5f;
    r->ADAS_SafeDistacne = 1.25f;
    const uint32_t height = 0x3FACCCCD; // 1.35 m
    std::memcpy(&r->blackboxHeight, &height, sizeof height);
    r->wifiStartMode = 0;
    std::memset(r->dummy00, 0, sizeof r->dummy00);
    r->debug_mode = 1;
}

void InitFileData(_FILEDATA* record) {
    if (!record)
        return;
    SetDefaultFileData(record);
    record->motion1080pCValue = 3;
    record->motion720pCValue = 3;
}

std::optional<std::string> SaveDefaultFileData(const std::string& path) {
    _FILEDATA record{};
    SetDefaultFileData(&record);
    return SaveFileData(&record, path);
}

uint16_t fileDataChecksum(const _FILEDATA& record) {
    uint8_t bytes[kFileDataSize];
    encodeFileData(record, bytes);
    uint16_t sum = 0;
    for (size_t at = 4; at < kFileDataSize; at += 4)
        sum ^= uint16_t(bytes[at] | bytes[at + 1] << 8);
    return sum;
}

void FinalizeFileData(_FILEDATA* record) {
    if (!record)
        return;
    record->osd_plate_flag = record->szPlateNumber[0] != '\0' ? 1 : 0;
    record->modelNum = kModelNumber;
    record->checksum = 0;
    record->checksum = fileDataChecksum(*record);
}

int32_t timeZoneIndexForOffset(long seconds) {
    const long h = seconds / 3600;
    const long m = (seconds - h * 3600) / 60;
    const long v = h * 100 + m;
    for (size_t i = 0; i < kTimeZoneTable.size(); ++i) {
        if (kTimeZoneTable[i] == v)
            return int32_t(i);
    }
    return -1;
}

int32_t FindLocalTimeZoneIndex() {
    const time_t now = ::time(nullptr);
    struct tm local {};
    if (!::localtime_r(&now, &local))
        return -1;
    return timeZoneIndexForOffset(local.tm_gmtoff);
}

} // namespace daxo
