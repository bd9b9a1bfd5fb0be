// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXCleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace daxo {

namespace {

enum Kind : int { Free = 0, Claimed, File, Folder, Child };

// Fixed storage, so that the handler reads nothing that may be half-built: a slot's kind is
// set last when it is filled and first when it is emptied.
struct Slot {
    std::atomic<int> kind{Free};
    pid_t pid = 0;
    char path[4096] = {};
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];

void cleanUp(int signal) {
    for (Slot& s : g_slots) {
        if (s.kind.load() == Child)
            ::kill(s.pid, SIGKILL);
    }
    for (Slot& s : g_slots) {
        if (s.kind.load() == File)
            ::unlink(s.path);
    }
    for (Slot& s : g_slots) {
        if (s.kind.load() == Folder)
            ::rmdir(s.path);
    }
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    ::sigaction(signal, &plain, nullptr);
    ::raise(signal);
}

int claim(Kind kind, const char* path, pid_t pid) {
    if (path && std::strlen(path) >= sizeof(Slot::path))
        return -1; // too long to be removed by name; the work removes it itself
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!g_slots[i].kind.compare_exchange_strong(expected, Claimed))
            continue;
        if (path)
            std::strcpy(g_slots[i].path, path);
        g_slots[i].pid = pid;
        g_slots[i].kind.store(kind);
        return i;
    }
    return -1;
}

} // namespace

void installCleanupOnSignals() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    struct sigaction action {};
    action.sa_handler = cleanUp;
    sigemptyset(&action.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, s);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

ZLXCleanupEntry& ZLXCleanupEntry::operator=(ZLXCleanupEntry&& other) noexcept {
    if (this != &other) {
        release();
        m_slot = other.m_slot;
        other.m_slot = -1;
    }
    return *this;
}

ZLXCleanupEntry ZLXCleanupEntry::file(const std::string& path) {
    return ZLXCleanupEntry(claim(File, path.c_str(), 0));
}

ZLXCleanupEntry ZLXCleanupEntry::folder(const std::string& path) {
    return ZLXCleanupEntry(claim(Folder, path.c_str(), 0));
}

ZLXCleanupEntry ZLXCleanupEntry::child(pid_t pid) {
    return pid > 0 ? ZLXCleanupEntry(claim(Child, nullptr, pid)) : ZLXCleanupEntry();
}

void ZLXCleanupEntry::release() {
    if (m_slot < 0)
        return;
    g_slots[m_slot].kind.store(Free);
    m_slot = -1;
}

void dieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

} // namespace daxo
