// SPDX-License-Identifier: GPL-3.0-or-later
// A config.bin of any content and size: loaded, finalised, written and loaded again, and shown
// and written back by every settings page (whatever a field holds, no page reads outside its
// tables), and every field checked as daxo-config checks it.
#include "config/filedata/ZLXFileData.h"
#include "library/ZLXLog.h"
#include "config/pages/ZLXPageModel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    daxo::setLogQuiet(true);
    static const int fd = memfd_create("config.bin", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    daxo::_FILEDATA record{};
    const bool accepted = daxo::LoadFileData(path, &record);
    if (accepted != (size >= daxo::kFileDataSize && data[4] == 34 && !data[5] && !data[6] && !data[7]))
        std::abort();
    daxo::FinalizeFileData(&record);
    if (record.checksum != daxo::fileDataChecksum(record) || record.modelNum != daxo::kModelNumber)
        std::abort();
    // what went in comes out again, byte for byte
    uint8_t bytes[daxo::kFileDataSize];
    daxo::encodeFileData(record, bytes);
    daxo::_FILEDATA again{};
    daxo::decodeFileData(bytes, again);
    if (std::memcmp(&again, &record, sizeof record) != 0)
        std::abort();
    for (int page = 0; page < 7; ++page) {
        if (auto model = daxo::makeSettingPageModel(page)) {
            model->setFileData(&again);
            model->populate();
        }
    }
    for (const auto& field : daxo::fileDataFields())
        (void)daxo::checkSettingField(record, field.name);
    return 0;
}
