// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary folder tree for tests, removed again when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace daxo::test {

class TempTree {
public:
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "daxo-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
    }
    ~TempTree() {
        std::error_code ec;
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_root, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    std::string path(const std::string& relative = {}) const {
        return relative.empty() ? m_root.string() : (m_root / relative).string();
    }

    // An empty file, with the folders above it.
    std::string touch(const std::string& relative) const {
        const auto file = m_root / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file).flush();
        return file.string();
    }
    std::string mkdir(const std::string& relative) const {
        std::filesystem::create_directories(m_root / relative);
        return path(relative);
    }
    void symlink(const std::string& target, const std::string& relativeLink) const {
        std::filesystem::create_directory_symlink(target, m_root / relativeLink);
    }

private:
    std::filesystem::path m_root;
};

} // namespace daxo::test
