// SPDX-License-Identifier: GPL-3.0-or-later
// One mounted volume on a USB device, the choice of the camera's card among them, and sizes
// as short texts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

class TKUSBDiskEntity {
public:
    TKUSBDiskEntity(std::string volumeName, std::string mountedURL, std::string deviceFilePath,
                    std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable,
                    bool mediaWhole, std::string key)
        : m_writable(writable), m_mediaWhole(mediaWhole), m_volumeName(std::move(volumeName)),
          m_mountedURL(std::move(mountedURL)), m_deviceFilePath(std::move(deviceFilePath)),
          m_deviceModel(std::move(deviceModel)), m_volumeSize(volumeSize), m_key(std::move(key)) {}

    bool writable() const { return m_writable; }
    bool mediaWhole() const { return m_mediaWhole; }
    const std::string& volumeName() const { return m_volumeName; }
    const std::string& mountedURL() const { return m_mountedURL; } // the mount point
    const std::string& deviceFilePath() const { return m_deviceFilePath; }
    const std::optional<std::string>& deviceModel() const { return m_deviceModel; }
    uint64_t volumeSize() const { return m_volumeSize; }
    const std::string& key() const { return m_key; }

    // "[30 GB] DAXO <Card Reader>", or "[7.4 GB] DAXO " without a model text.
    std::string displayString() const;

private:
    bool m_writable;
    bool m_mediaWhole;
    std::string m_volumeName;
    std::string m_mountedURL;
    std::string m_deviceFilePath;
    std::optional<std::string> m_deviceModel;
    uint64_t m_volumeSize;
    std::string m_key;
};

// The volume most likely to be the camera's card: "DAXO", writable and holding config.bin;
// else "DAXO" and writable; else "DAXO"; else writable; else the first; none for no volume.
std::optional<TKUSBDiskEntity>
findCardDisk(const std::vector<TKUSBDiskEntity>& entities,
             const std::function<bool(const std::string& path)>& fileExists);

// The size as at most six characters: "0 B", "1023 B", "1.5 kB", "30 GB". Never more than
// fits the 7-byte text (the NUL included), whatever the count.
void formatByteSize(uint64_t bytes, char (&text)[7]);
std::string byteSizeString(uint64_t bytes);

// The cluster the camera wants on a card of `volumeSize` bytes, in 512-byte sectors (the
// number mkfs.fat takes after -s): 32 below 7 GiB, 128 from 7 GiB on.
int64_t clusterSizeByVolumeSizeInKB(uint64_t volumeSize);
// That cluster as the user reads it: its real size, "16 KB" or "64 KB".
std::string allocationUnitText(int64_t sectorsPerCluster);

inline bool isEmptyString(const std::optional<std::string>& text) {
    return !text || text->empty();
}
inline bool isNotEmptyString(const std::optional<std::string>& text) {
    return !isEmptyString(text);
}

} // namespace daxo
