// SPDX-License-Identifier: GPL-3.0-or-later
// A program run for its standard output, read as it comes (frames from ffmpeg). Its standard
// input is /dev/null and its messages are dropped. It dies with the thread that started it, is
// killed by the signal handler of ZLXCleanup, and is killed and reaped when the object goes.
#pragma once

#include "library/ZLXCleanup.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace daxo {

class ZLXChildOutput {
public:
    ZLXChildOutput() = default;
    ~ZLXChildOutput() { stop(); }
    ZLXChildOutput(const ZLXChildOutput&) = delete;
    ZLXChildOutput& operator=(const ZLXChildOutput&) = delete;

    // Starts `arguments[0]` (found on PATH) with the rest; false when it cannot be.
    bool start(const std::vector<std::string>& arguments);
    // Reads exactly `size` bytes unless the output ends first; how many were read.
    size_t readFully(void* out, size_t size);
    // Kills the program if it still runs and waits for it; true when it had ended by itself
    // with status 0.
    bool stop();

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    ZLXCleanupEntry m_entry;
};

// The absolute path of a program on PATH; empty when there is none.
std::string findProgram(const std::string& name);

} // namespace daxo
