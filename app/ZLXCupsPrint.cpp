// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXCupsPrint.h"

#include "library/ZLXLog.h"

#include <cups/cups.h>

namespace daxo {

ZLXPrintResult printJpegOnCups(const std::string& printerName, const std::string& jpegFile, const std::string& title,
                               const std::vector<std::pair<std::string, std::string>>& options) {
    static const char* const kJpeg = "image/jpeg";
    ZLXPrintResult result;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName.c_str(), nullptr);
    if (!dest) {
        result.outcome = ZLXPrintOutcome::NoPrinter;
        result.error = int(cupsLastError());
        ZLXLog("Got an error from PMSessionGetCurrentPrinter (%d)", result.error);
        return result;
    }
    // the formats the queue takes: its "document-format-supported"
    bool takesJpeg = false, listed = false;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        if (ipp_attribute_t* formats = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, "document-format")) {
            listed = ippGetCount(formats) > 0;
            for (int i = 0; i < ippGetCount(formats); ++i) {
                if (const char* format = ippGetString(formats, i, nullptr); format && std::string(format) == kJpeg)
                    takesJpeg = true;
            }
        }
        cupsFreeDestInfo(info);
    }
    if (!listed) {
        cupsFreeDests(1, dest);
        result.outcome = ZLXPrintOutcome::NoFormats;
        return result;
    }
    if (!takesJpeg) {
        cupsFreeDests(1, dest);
        ZLXLog("MIME type %s isn't supported by the printer", kJpeg);
        result.outcome = ZLXPrintOutcome::FormatUnsupported;
        return result;
    }
    int count = 0;
    cups_option_t* list = nullptr;
    count = cupsAddOption("fit-to-page", "true", count, &list);
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.c_str(), value.c_str(), count, &list);
    result.jobId = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest->name, jpegFile.c_str(), title.c_str(), count, list);
    cupsFreeOptions(count, list);
    cupsFreeDests(1, dest);
    if (result.jobId == 0) {
        result.error = int(cupsLastError());
        ZLXLog("PMPrinterPrintWithFile returned error %d", result.error);
        return result;
    }
    result.outcome = ZLXPrintOutcome::Printed;
    return result;
}

} // namespace daxo
