// SPDX-License-Identifier: GPL-3.0-or-later
// Diagnostics: one line per call to the system log under the program's name, echoed to stderr.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace daxo {

// printf-style; the format strings are the fixed diagnostic texts of the program
// ("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", "fopen fail:%s", ...).
void ZLXLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The name the log lines carry; set once at start-up, before the first line.
void setLogIdentity(const char* ident);

// Stops lines from reaching the system log and stderr (fuzzers, tools that print their own
// messages); an observer still sees them.
void setLogQuiet(bool quiet);

// Whether lines are also written to stderr (on by default). The command-line tools keep
// stderr for what the user must read and turn the echo on only with --verbose.
void setLogEcho(bool echo);

// Every line also goes to this observer when one is installed (tests read the log through it).
using LogObserver = std::function<void(std::string_view line)>;
void setLogObserver(LogObserver observer);

} // namespace daxo
