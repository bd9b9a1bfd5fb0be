// SPDX-License-Identifier: GPL-3.0-or-later
// Whole reads and writes at absolute file positions: short transfers and interruptions are
// retried, so a caller sees either everything or a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace daxo {

// Opens `path` for reading without ever waiting on it (a FIFO, a device) and keeps it only
// when it is a regular file; -1 otherwise, with errno set (EINVAL for a file that is not
// regular). A path longer than one open() takes is followed piece by piece.
int openRegularFile(const char* path);
int openRegularFile(const std::string& path);

// Opens a directory by its path however long the path is, holding at most two descriptors
// at a time while it follows it; -1 with errno set when it cannot.
int openDirectory(const std::string& path);

// The folder part of a path ("." for a bare name, "/" for a name at the root).
std::string folderOf(const std::string& path);

// Gives `bytes` the name `path` whole or not at all: a new file beside it (named
// `tempPrefix` + six random characters), written, flushed to the device and renamed over the
// old one, which keeps its mode. A link, a folder, a device or a FIFO in `path`'s place is
// refused and left alone, and so is a file the user may not write. Nothing on success, else
// why not (the old file is then as it was and no new file is left).
std::optional<std::string> replaceFileAtomically(const std::string& path, std::string_view bytes,
                                                 std::string_view tempPrefix);

// Why an export must not write `output`: it is one of the files it reads (`sources`, compared
// by device and inode, so another name for the same file counts), it is not a regular file,
// or it exists and `replace` is false. Nothing when it may be written.
std::optional<std::string> outputRefusal(const std::string& output, const std::vector<std::string>& sources,
                                         bool replace);

// Renames `from` to `to` only when nothing is at `to` (false with errno EEXIST when something
// is); `replace` renames over what is there.
bool renameInto(const std::string& from, const std::string& to, bool replace);

// Files handed to a program this process starts, by descriptor ("/dev/fd/N"): a name that
// is not UTF-8, or longer than one open() takes, reaches it intact. The descriptors are left
// open across exec and closed when this object goes.
class ZLXInheritedFiles {
public:
    ZLXInheritedFiles() = default;
    ~ZLXInheritedFiles() { clear(); }
    ZLXInheritedFiles(const ZLXInheritedFiles&) = delete;
    ZLXInheritedFiles& operator=(const ZLXInheritedFiles&) = delete;

    // "/dev/fd/N" for the regular file at `path`; none, with errno set, when it cannot be read.
    std::optional<std::string> add(const std::string& path);
    void clear();

private:
    std::vector<int> m_fds;
};

// Reads up to `size` bytes at `position`; returns how many were read (fewer only at the end
// of the file or on an error).
size_t readFullyAt(int fd, uint64_t position, void* out, size_t size);

// A recording opened for reads at absolute positions, as a card reader serves them best: no
// read-ahead (the records lie megabytes apart, and each read would otherwise fetch a window
// the walk never uses), and one region (the movie box) held in memory after a single read so
// that the walk through its boxes costs no further reads.
class ZLXRecordingReader {
public:
    explicit ZLXRecordingReader(const char* path);
    ~ZLXRecordingReader();
    ZLXRecordingReader(const ZLXRecordingReader&) = delete;
    ZLXRecordingReader& operator=(const ZLXRecordingReader&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    uint64_t size() const { return m_size; }
    // Up to `size` bytes at `position`, from the held region when it lies inside it; how many.
    size_t read(uint64_t position, void* out, size_t size);
    // Reads `size` bytes at `position` into memory (no more than the file holds, and at most
    // kMaxHeld: a card reader fetches that much in about the time of one more read) and
    // serves later reads inside them from there.
    void hold(uint64_t position, uint64_t size);
    static constexpr uint64_t kMaxHeld = 64u << 10;
    uint64_t bytesRead() const { return m_bytesRead; }

    // Reads this process has made of recordings through this class, for the benchmarks and
    // the tests that check a card seen before is not read again.
    static uint64_t readCalls();

private:
    int m_fd = -1;
    uint64_t m_size = 0;
    uint64_t m_bytesRead = 0;
    uint64_t m_heldAt = 0;
    std::vector<uint8_t> m_held;
};

// Writes all `size` bytes at `position`; false when any of them could not be written.
bool writeFullyAt(int fd, uint64_t position, const void* data, size_t size);

} // namespace daxo
