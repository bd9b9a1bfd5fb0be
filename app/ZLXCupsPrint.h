// SPDX-License-Identifier: GPL-3.0-or-later
// A JPEG picture to a CUPS queue, scaled to fit the page, after asking the queue whether it
// takes JPEG at all.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace daxo {

enum class ZLXPrintOutcome {
    Printed,
    NoPrinter,         // the queue is not known to CUPS
    NoFormats,         // the queue does not say which document formats it takes
    FormatUnsupported, // it does not take image/jpeg
    JobFailed,
};

struct ZLXPrintResult {
    ZLXPrintOutcome outcome = ZLXPrintOutcome::JobFailed;
    int error = 0; // CUPS's last error, when there is one
    int jobId = 0;
};

// Prints `jpegFile` on `printerName` with "fit-to-page" and the given further options (name,
// value); each failure the queue lets us tell apart is logged.
ZLXPrintResult printJpegOnCups(const std::string& printerName, const std::string& jpegFile, const std::string& title,
                               const std::vector<std::pair<std::string, std::string>>& options = {});

} // namespace daxo
