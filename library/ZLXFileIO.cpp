// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXFileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace daxo {

namespace {

constexpr size_t kPiece = 3000; // well below PATH_MAX

} // namespace

int openDirectory(const std::string& path) {
    if (path.size() < kPiece)
        return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int fd = AT_FDCWD;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = std::min(path.size(), start + kPiece);
        if (end < path.size()) {
            const size_t slash = path.rfind('/', end);
            if (slash == std::string::npos || slash <= start) {
                if (fd != AT_FDCWD)
                    ::close(fd);
                errno = ENAMETOOLONG; // one name longer than a piece: no such directory
                return -1;
            }
            end = slash;
        }
        std::string piece = path.substr(start, end - start);
        if (piece.empty())
            piece = "/";
        const int next = ::openat(fd, piece.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        if (fd != AT_FDCWD)
            ::close(fd);
        if (next < 0) {
            errno = error;
            return -1;
        }
        fd = next;
        start = end;
        while (start < path.size() && path[start] == '/')
            ++start;
    }
    return fd == AT_FDCWD ? -1 : fd;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int openRegularFile(const std::string& path) {
    return openRegularFile(path.c_str());
}

int openRegularFile(const char* path) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = -1;
    if (std::strlen(path) < kPiece) {
        fd = ::open(path, kFlags);
    } else {
        const std::string whole(path);
        const size_t slash = whole.rfind('/');
        const int dir = slash == std::string::npos ? -1 : openDirectory(whole.substr(0, std::max<size_t>(slash, 1)));
        if (dir < 0)
            return -1;
        fd = ::openat(dir, whole.c_str() + slash + 1, kFlags);
        const int error = errno;
        ::close(dir);
        errno = error;
    }
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

size_t readFullyAt(int fd, uint64_t position, void* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, static_cast<uint8_t*>(out) + done, size - done, off_t(position + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += size_t(got);
    }
    return done;
}

namespace {
std::atomic<uint64_t> g_recordingReads{0};
}

ZLXRecordingReader::ZLXRecordingReader(const char* path) : m_fd(path ? openRegularFile(path) : -1) {
    struct stat st {};
    if (m_fd >= 0 && ::fstat(m_fd, &st) == 0)
        m_size = uint64_t(st.st_size);
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
}

ZLXRecordingReader::~ZLXRecordingReader() {
    if (m_fd >= 0)
        ::close(m_fd);
}

size_t ZLXRecordingReader::read(uint64_t position, void* out, size_t size) {
    // nothing past the end is asked of the device
    size = position < m_size ? size_t(std::min<uint64_t>(size, m_size - position)) : 0;
    if (size == 0)
        return 0;
    if (position >= m_heldAt && position - m_heldAt <= m_held.size() && size <= m_held.size() - (position - m_heldAt)) {
        std::memcpy(out, m_held.data() + (position - m_heldAt), size);
        return size;
    }
    g_recordingReads.fetch_add(1, std::memory_order_relaxed);
    const size_t done = readFullyAt(m_fd, position, out, size);
    m_bytesRead += done;
    return done;
}

void ZLXRecordingReader::hold(uint64_t position, uint64_t size) {
    if (position >= m_size)
        return;
    size = std::min({size, m_size - position, kMaxHeld});
    if (position >= m_heldAt && position + size <= m_heldAt + m_held.size())
        return; // held already
    std::vector<uint8_t> held(size_t(size), 0);
    g_recordingReads.fetch_add(1, std::memory_order_relaxed);
    const size_t done = readFullyAt(m_fd, position, held.data(), held.size());
    m_bytesRead += done;
    held.resize(done);
    m_held = std::move(held);
    m_heldAt = position;
}

uint64_t ZLXRecordingReader::readCalls() {
    return g_recordingReads.load(std::memory_order_relaxed);
}

std::optional<std::string> ZLXInheritedFiles::add(const std::string& path) {
    const int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    const int flags = ::fcntl(fd, F_GETFL);
    // the program reads it as a file of its own: blocking, and not closed on exec
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    ::fcntl(fd, F_SETFD, 0);
    m_fds.push_back(fd);
    return "/dev/fd/" + std::to_string(fd);
}

void ZLXInheritedFiles::clear() {
    for (const int fd : m_fds)
        ::close(fd);
    m_fds.clear();
}

std::optional<std::string> outputRefusal(const std::string& output, const std::vector<std::string>& sources,
                                         bool replace) {
    struct stat target {};
    if (::stat(output.c_str(), &target) != 0)
        return std::nullopt; // nothing there (a dangling link is replaced, not followed)
    for (const std::string& source : sources) {
        const int fd = openRegularFile(source); // however long its path
        struct stat st {};
        const bool same = fd >= 0 && ::fstat(fd, &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino;
        if (fd >= 0)
            ::close(fd);
        if (same)
            return output + " is one of the files the export reads; it is never replaced.";
    }
    if (!S_ISREG(target.st_mode))
        return output + " is not a regular file.";
    if (!replace)
        return output + " already exists.";
    return std::nullopt;
}

bool renameInto(const std::string& from, const std::string& to, bool replace) {
    if (replace)
        return ::rename(from.c_str(), to.c_str()) == 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename (FUSE, some network ones): a link takes the
    // name only when it is free; without links, a look just before the rename.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::string> replaceFileAtomically(const std::string& path, std::string_view bytes,
                                                 std::string_view tempPrefix) {
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (exists && S_ISLNK(existing.st_mode))
        return path + " is a link; it is not replaced";
    if (exists && !S_ISREG(existing.st_mode))
        return path + " is not a regular file";
    if (exists && ((existing.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0))
        return path + " is write-protected";
    const std::string folder = folderOf(path);
    std::string temp = (folder == "." && path.find('/') == std::string::npos ? std::string() : folder + "/") +
                       std::string(tempPrefix) + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return std::string(std::strerror(errno));
    ::fchmod(fd, exists ? (existing.st_mode & 07777) : 0644);
    const bool written = writeFullyAt(fd, 0, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = !written ? writeError : !closed ? closeError : errno;
        ::unlink(temp.c_str());
        return std::string(std::strerror(error));
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

bool writeFullyAt(int fd, uint64_t position, const void* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, static_cast<const uint8_t*>(data) + done, size - done, off_t(position + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace daxo
