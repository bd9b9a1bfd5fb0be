// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/TKUSBDiskEntity.h"

#include <algorithm>
#include <cstring>

namespace daxo {

std::string TKUSBDiskEntity::displayString() const {
    std::string text = "[" + byteSizeString(m_volumeSize) + "] " + m_volumeName + " ";
    if (m_deviceModel)
        text += "<" + *m_deviceModel + ">";
    return text;
}

std::optional<TKUSBDiskEntity>
findCardDisk(const std::vector<TKUSBDiskEntity>& entities,
             const std::function<bool(const std::string& path)>& fileExists) {
    const std::function<bool(const TKUSBDiskEntity&)> passes[] = {
        [&](const TKUSBDiskEntity& e) {
            return e.volumeName() == "DAXO" && e.writable() &&
                   fileExists(e.mountedURL() + "/config.bin");
        },
        [](const TKUSBDiskEntity& e) { return e.volumeName() == "DAXO" && e.writable(); },
        [](const TKUSBDiskEntity& e) { return e.volumeName() == "DAXO"; },
        [](const TKUSBDiskEntity& e) { return e.writable(); },
    };
    for (const auto& pass : passes) {
        for (const auto& entity : entities) {
            if (pass(entity))
                return entity;
        }
    }
    if (entities.empty())
        return std::nullopt;
    return entities.front();
}

namespace {

std::string sizeText(uint64_t n) {
    static constexpr char kUnits[] = "kMGTPEZY";
    auto u = [](uint64_t v) { return std::to_string(v); };
    if (n < 1024)
        return u(n) + " B";
    uint64_t value = n, before = n, r = 0;
    bool s = false;
    int divisions = 0;
    do {
        if (divisions > 0 && r != 0)
            s = true;
        before = value;
        r = value % 1024;
        value /= 1024;
        ++divisions;
    } while (divisions < 8 && value >= 1024);
    uint64_t w = value;
    const int unit = divisions - 1;
    const std::string unitB = std::string(1, kUnits[unit]) + "B";
    if (before > 10239) {
        if (r > 512 || (r == 512 && ((w & 1) || s)))
            ++w;
        // A whole part of 1000 or more would not fit six characters: it is the next unit's 1.0.
        if (w >= 1000 && unit + 1 < int(sizeof kUnits) - 1)
            return std::string("1.0 ") + kUnits[unit + 1] + "B";
        return u(w) + " " + unitB;
    }
    if (r >= 950) // 9.95 and more is 10; below 9 the fraction carries into the next whole number
        return w == 9 ? "10 " + unitB : u(w + 1) + ".0 " + unitB;
    uint64_t d = r / 100;
    const uint64_t rest = r % 100;
    if (rest > 50 || (rest == 50 && ((d & 1) || s)))
        ++d;
    return u(w) + "." + u(d) + " " + unitB;
}

} // namespace

void formatByteSize(uint64_t bytes, char (&text)[7]) {
    const std::string s = sizeText(bytes);
    const size_t n = std::min(s.size(), sizeof text - 1);
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
}

std::string byteSizeString(uint64_t bytes) {
    char text[7];
    formatByteSize(bytes, text);
    return text;
}

int64_t clusterSizeByVolumeSizeInKB(uint64_t volumeSize) {
    return volumeSize / (uint64_t(1) << 30) < 7 ? 32 : 128;
}

std::string allocationUnitText(int64_t sectorsPerCluster) {
    return std::to_string(sectorsPerCluster * 512 / 1024) + " KB";
}

} // namespace daxo
