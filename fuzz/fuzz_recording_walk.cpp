// SPDX-License-Identifier: GPL-3.0-or-later
// A whole recording file through the telemetry walk. The input becomes an in-memory file.
// Besides crashes, the memory one extraction holds is watched: it must stay within a bound
// proportional to the file's size, whatever its tables claim.
#include "telemetry/ZLXBlackBoxData.h"
#include "telemetry/ZLXTrip.h"
#include "library/ZLXLog.h"

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_counting{false};
std::atomic<int64_t> g_inUse{0}, g_peak{0};

void onMalloc(const volatile void*, size_t size) {
    if (!g_counting.load(std::memory_order_relaxed))
        return;
    const int64_t now = g_inUse.fetch_add(int64_t(size)) + int64_t(size);
    int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void onFree(const volatile void* pointer) {
    if (g_counting.load(std::memory_order_relaxed) && pointer)
        g_inUse.fetch_sub(int64_t(__sanitizer_get_allocated_size(const_cast<const void*>(pointer))));
}

// What one record of the file (155 bytes, at least 9 of them its own) may cost in memory:
// its entry in each of the walk's lists, with their growth.
constexpr int64_t kPerFileByte = 64;
constexpr int64_t kFixed = 1 << 20;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    daxo::setLogQuiet(true);
    static const int fd = memfd_create("recording", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    int64_t peak = 0;
    {
        g_inUse = 0;
        g_peak = 0;
        g_counting = true;
        daxo::ZLXBlackBoxData blackBox;
        blackBox.ExtractStreamInformation(path);
        peak = g_peak.load();
        g_counting = false;
        // Every list the walk fills is one entry per record read, and each record is 155 bytes
        // of the file: nothing may come from beyond it.
        if (blackBox.m_Times.size() != blackBox.m_vGpsData.size() ||
            blackBox.m_GSensors.size() != blackBox.m_vGSensorData.size() ||
            blackBox.bytesRead() > size + 4096 * 4 + blackBox.m_Times.size() * 153)
            std::abort();
        // what the route and the exports make of it: a length never negative, every point placed
        const auto duration = daxo::recordingDuration(path);
        if (duration && !(*duration >= 0))
            std::abort();
        const daxo::ZLXTrack track = daxo::makeTrack(blackBox, duration.value_or(20), "fuzz");
        daxo::ZLXRoute route;
        route.append(track);
        for (const auto& line : route.lines()) {
            for (const auto& p : line) {
                if (!(p.point->latitude >= -90 && p.point->latitude <= 90 && p.time >= 0))
                    std::abort();
            }
        }
        daxo::detectImpacts(track, {}, true);
        if (daxo::routeGpx(route, "fuzz").empty() || daxo::routeCsv(route).empty())
            std::abort();
    }
    if (peak > kFixed + kPerFileByte * int64_t(size)) {
        std::fprintf(stderr, "one extraction held %lld bytes for a file of %zu\n", static_cast<long long>(peak), size);
        std::abort();
    }
    return 0;
}
