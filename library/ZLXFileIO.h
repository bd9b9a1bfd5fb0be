// SPDX-License-Identifier: GPL-3.0-or-later
// Whole reads and writes at absolute file positions: short transfers and interruptions are
// retried, so a caller sees either everything or a failure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace daxo {

// Opens `path` for reading without ever waiting on it (a FIFO, a device) and keeps it only
// when it is a regular file; -1 otherwise, with errno set (EINVAL for a file that is not
// regular).
int openRegularFile(const char* path);

// Reads up to `size` bytes at `position`; returns how many were read (fewer only at the end
// of the file or on an error).
size_t readFullyAt(int fd, uint64_t position, void* out, size_t size);
// Writes all `size` bytes at `position`; false when any of them could not be written.
bool writeFullyAt(int fd, uint64_t position, const void* data, size_t size);

} // namespace daxo
