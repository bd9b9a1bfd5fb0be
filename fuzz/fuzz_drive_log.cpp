// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as the camera's drive-information log, and every cell of what it yields.
#include "config/pages/ZLXFlashDataLog.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const daxo::ZLXFlashDataLog log = daxo::parseFlashData({data, size});
    const size_t held = size < daxo::kFlashHeaderSize ? 0 : (size - daxo::kFlashHeaderSize) / daxo::kFlashRecordSize;
    if (log.records.size() > held || log.records.size() > log.declaredCount)
        __builtin_trap(); // never a record the bytes do not hold
    for (size_t row = 0; row < log.records.size(); ++row) {
        for (long column = -1; column <= daxo::kFlashColumnCount; ++column) {
            if (daxo::flashDataCell(log.records[row], column, row).empty())
                __builtin_trap(); // every cell says something
        }
        (void)daxo::flashDataPosition(log.records[row]);
    }
    return 0;
}
