// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXChildOutput.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace daxo {

std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (size_t begin = 0; begin <= folders.size();) {
        const size_t end = std::min(folders.find(':', begin), folders.size());
        const std::string candidate = folders.substr(begin, end - begin) + "/" + name;
        if (end > begin && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return {};
}

bool ZLXChildOutput::start(const std::vector<std::string>& arguments) {
    stop();
    if (arguments.empty())
        return false;
    const std::string program = findProgram(arguments[0]);
    if (program.empty())
        return false;
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // only what is safe between fork and exec
        dieWithParent();
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(fds[1], 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    if (null >= 0)
        ::close(null);
    if (pid < 0) {
        ::close(fds[0]);
        return false;
    }
    m_pid = pid;
    m_fd = fds[0];
    m_entry = ZLXCleanupEntry::child(pid);
    return true;
}

size_t ZLXChildOutput::readFully(void* out, size_t size) {
    size_t done = 0;
    while (m_fd >= 0 && done < size) {
        const ssize_t n = ::read(m_fd, static_cast<char*>(out) + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done;
}

bool ZLXChildOutput::stop() {
    if (m_pid < 0)
        return false;
    int status = 0;
    pid_t waited = ::waitpid(m_pid, &status, WNOHANG);
    const bool ranOut = waited == m_pid;
    if (!ranOut) {
        ::kill(m_pid, SIGKILL);
        while ((waited = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pid = -1;
    m_entry.release();
    return ranOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace daxo
