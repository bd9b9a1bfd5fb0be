// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever lsblk (or something in its place) prints, read as the volume list and as the
// judge of what may be formatted.
#include "card/ZLXVolumes.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const auto& volume : daxo::parseLsblkJson(json)) {
        if (volume.mountPoint.isEmpty())
            __builtin_trap(); // only mounted file systems are listed
        if (volume.systemDisk && !daxo::formatRefusal(json, volume.devicePath))
            __builtin_trap(); // a disk that holds the system may never be formatted
    }
    (void)daxo::formatRefusal(json, QStringLiteral("/dev/sdb1"));
    return 0;
}
