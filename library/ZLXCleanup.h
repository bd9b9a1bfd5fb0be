// SPDX-License-Identifier: GPL-3.0-or-later
// What a process must not leave behind when it is stopped half-way (Ctrl-C, a closed terminal,
// a kill): the files it is writing under passing names, its temporary folders and its child
// processes. Work under way registers them; on SIGINT, SIGTERM or SIGHUP the handler kills the
// children, removes the files and then the folders, and lets the signal end the process as it
// would have. Children are also told to die with their parent, for the kill that cannot be
// caught.
#pragma once

#include <string>
#include <sys/types.h>

namespace daxo {

// Installs the handler for SIGINT, SIGTERM and SIGHUP (once; later calls do nothing).
void installCleanupOnSignals();

// A registration, undone when it goes (the work finished and tidied up itself).
class ZLXCleanupEntry {
public:
    ZLXCleanupEntry() = default;
    ~ZLXCleanupEntry() { release(); }
    ZLXCleanupEntry(ZLXCleanupEntry&& other) noexcept : m_slot(other.m_slot) { other.m_slot = -1; }
    ZLXCleanupEntry& operator=(ZLXCleanupEntry&& other) noexcept;
    ZLXCleanupEntry(const ZLXCleanupEntry&) = delete;
    ZLXCleanupEntry& operator=(const ZLXCleanupEntry&) = delete;

    // A file to remove, a folder to remove once empty, a process to kill.
    static ZLXCleanupEntry file(const std::string& path);
    static ZLXCleanupEntry folder(const std::string& path);
    static ZLXCleanupEntry child(pid_t pid);

    bool registered() const { return m_slot >= 0; }
    void release();

private:
    explicit ZLXCleanupEntry(int slot) : m_slot(slot) {}
    int m_slot = -1;
};

// For a child process just forked, before it runs its program: it gets SIGKILL when the
// thread that started it ends (the parent killed with no chance to clean up).
void dieWithParent();

} // namespace daxo
