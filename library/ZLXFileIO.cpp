// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXFileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace daxo {

int openRegularFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
