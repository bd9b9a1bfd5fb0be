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

// The words the table's default column is written in.
constexpr ZLXFieldDefault keep{};
constexpr ZLXFieldDefault text(const char* value) {
    return {ZLXFieldDefault::Kind::Text, 0, value};
}
constexpr ZLXFieldDefault initialOf(ZLXFieldDefault given) {
    return given;
}
constexpr ZLXFieldDefault initialOf(double number) {
    return {ZLXFieldDefault::Kind::Number, number, nullptr};
}

constexpr std::array<ZLXFileDataField, 118> kFields{{
#define DAXO_FILEDATA_ENTRY(type, name, offset, initial)                                           \
    {#name, offset, kindOf<filedata_types::type>(), sizeof(filedata_types::type), initialOf(initial)},
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
    auto* host = reinterpret_cast<uint8_t*>(r);
    using K = ZLXFileDataField::Kind;
    for (const ZLXFileDataField& f : kFields) {
        uint8_t* at = host + f.offset;
        const double n = f.initial.number;
        const auto store = [at](auto value, size_t from = 0) { std::memcpy(at + from, &value, sizeof value); };
        if (f.initial.kind == ZLXFieldDefault::Kind::Text) {
            setText(reinterpret_cast<char*>(at), f.size, f.initial.text);
        } else if (f.initial.kind == ZLXFieldDefault::Kind::Number) {
            switch (f.kind) {
            case K::U8: store(uint8_t(n)); break;
            case K::U16: store(uint16_t(n)); break;
            case K::U32: store(uint32_t(n)); break;
            case K::I32: store(int32_t(n)); break;
            case K::F32: store(float(n)); break;
            case K::U32Array:
                for (size_t i = 0; i < f.size; i += 4)
                    store(uint32_t(n), i);
                break;
            case K::Text: break;
            }
        }
    }
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
