// SPDX-License-Identifier: GPL-3.0-or-later
// A record's text block of any size through the sentence splitter; the buffer is exactly the
// input, so any read past it is caught.
#include "telemetry/ZLXBlackBoxData.h"
#include "library/ZLXLog.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    daxo::setLogQuiet(true);
    auto text = std::make_unique<char[]>(size ? size : 1);
    std::memcpy(text.get(), data, size);
    daxo::ZLXBlackBoxData blackBox;
    blackBox.ParseNMEA(text.get(), size);
    // the other block parsers on the same bytes
    auto block = std::make_unique<uint8_t[]>(size ? size : 1);
    std::memcpy(block.get(), data, size);
    blackBox.ParseFrameData(block.get(), size);
    blackBox.ParseTime(block.get(), size);
    blackBox.ParseGSensor(block.get(), size);
    return 0;
}
