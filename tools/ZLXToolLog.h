// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tools keep stdout for their result and stderr for what the user must read:
// the diagnostics the program logs, and Qt's own, go to the system log, and to stderr as well
// only with --verbose.
#pragma once

#include "library/ZLXLog.h"

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <string>
#include <vector>

namespace daxo {

// Takes "--verbose" out of the arguments and sets the log up for a tool named `name`.
inline void setUpToolLog(const char* name, std::vector<std::string>& args) {
    const auto verbose = std::find(args.begin(), args.end(), std::string("--verbose"));
    const bool echo = verbose != args.end();
    if (echo)
        args.erase(verbose);
    setLogIdentity(name);
    setLogEcho(echo);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        ZLXLog("%s", qUtf8Printable(message));
    });
}

} // namespace daxo
