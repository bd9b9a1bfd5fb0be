// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXTimeSetupFile.h"

#include "ZLXFileIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {

std::string timeSetupText(const ZLXClockTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::optional<std::string> writeTimeSetupFile(const std::string& path, const ZLXClockTime& time) {
    const std::string text = timeSetupText(time);
    // Never waits on a FIFO and never writes into a device: a regular file or a new one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0)
        return std::string(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::string("not a regular file");
    }
    const bool written = writeFullyAt(fd, 0, text.data(), text.size()) && ::fsync(fd) == 0;
    const int error = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed)
        return std::string(std::strerror(written ? errno : error));
    return std::nullopt;
}

} // namespace daxo
