// SPDX-License-Identifier: GPL-3.0-or-later
// A whole recording file through the telemetry walk. The input becomes an in-memory file.
#include "ZLXBlackBoxData.h"
#include "ZLXLog.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    daxo::setLogQuiet(true);
    static const int fd = memfd_create("recording", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    daxo::ZLXBlackBoxData blackBox;
    blackBox.ExtractStreamInformation(path);
    // Every list the walk fills is one entry per record read, and each record is 155 bytes of
    // the file: nothing may come from beyond it.
    if (blackBox.m_Times.size() != blackBox.m_vGpsData.size() ||
        blackBox.m_GSensors.size() != blackBox.m_vGSensorData.size() ||
        blackBox.bytesRead() > size + 4096 * 4 + blackBox.m_Times.size() * 153)
        std::abort();
    return 0;
}
