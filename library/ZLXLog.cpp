// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>
#include <vector>

namespace daxo {
namespace {

std::mutex& logMutex() {
    static std::mutex m;
    return m;
}

struct LogState {
    std::string ident = "daxo-viewer";
    bool opened = false;
    bool quiet = false;
    bool echo = true;
    LogObserver observer;
};

LogState& state() {
    static LogState s;
    return s;
}

} // namespace

void setLogIdentity(const char* ident) {
    std::lock_guard lock(logMutex());
    auto& s = state();
    s.ident = ident ? ident : "daxo-viewer";
    if (s.opened) {
        closelog();
        s.opened = false;
    }
}

void setLogQuiet(bool quiet) {
    std::lock_guard lock(logMutex());
    state().quiet = quiet;
}

void setLogEcho(bool echo) {
    std::lock_guard lock(logMutex());
    auto& s = state();
    s.echo = echo;
    if (s.opened) {
        closelog();
        s.opened = false;
    }
}

void setLogObserver(LogObserver observer) {
    std::lock_guard lock(logMutex());
    state().observer = std::move(observer);
}

void ZLXLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        line.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);

    std::lock_guard lock(logMutex());
    auto& s = state();
    if (!s.quiet) {
        if (!s.opened) {
            // openlog keeps the pointer, so the string must outlive the connection.
            openlog(s.ident.c_str(), s.echo ? LOG_PERROR : 0, LOG_USER);
            s.opened = true;
        }
        syslog(LOG_NOTICE, "%s", line.c_str());
    }
    if (s.observer)
        s.observer(line);
}

} // namespace daxo
