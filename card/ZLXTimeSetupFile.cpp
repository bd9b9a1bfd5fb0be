// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXTimeSetupFile.h"

#include "library/ZLXFileIO.h"

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

std::optional<std::string> clockTimeRefusal(const ZLXClockTime& t) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < kClockFirstYear || t.year > kClockLastYear)
        return "the camera's clock takes the years " + std::to_string(kClockFirstYear) + " to " +
               std::to_string(kClockLastYear);
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    if (t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0))
        return "there is no such day";
    if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return "there is no such time of day";
    return std::nullopt;
}

std::optional<std::string> writeTimeSetupFile(const std::string& path, const ZLXClockTime& time) {
    if (auto why = clockTimeRefusal(time))
        return why;
    constexpr off_t kLargest = 1 << 16; // a clock file holds 19 bytes
    std::string bytes = timeSetupText(time);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // what an existing file holds after the text stays
        if (st.st_size > kLargest)
            return path + " is not a clock file (" + std::to_string(st.st_size) + " bytes)";
        const int fd = openRegularFile(path);
        if (fd < 0)
            return std::string(std::strerror(errno));
        std::string old(size_t(st.st_size), '\0');
        old.resize(readFullyAt(fd, 0, old.data(), old.size()));
        ::close(fd);
        if (old.size() > bytes.size())
            bytes += old.substr(bytes.size());
    }
    return replaceFileAtomically(path, bytes, ".timeset.cfg.");
}

} // namespace daxo
