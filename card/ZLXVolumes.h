// SPDX-License-Identifier: GPL-3.0-or-later
// The mounted volumes, as lsblk describes them, and the camera's card among them.
#pragma once

#include "card/TKUSBDiskEntity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace daxo {

// One mounted file system as lsblk reports it, with what it inherits from its disk.
struct ZLXMountedVolume {
    QString mountPoint;
    QString label;
    QString devicePath; // "/dev/sdb1"
    QString diskPath;   // the whole medium, "/dev/sdb"
    std::optional<QString> model;
    QString transport; // "usb", "mmc", "nvme", ...
    bool removable = false;
    bool readOnly = false;
    bool whole = false; // the file system spans the whole medium
    bool systemDisk = false; // the same disk holds /, /boot, /home, /usr, /var or swap
    uint64_t size = 0;
};

// The mounted volumes of `lsblk --json --bytes` output; anything unreadable gives nothing.
std::vector<ZLXMountedVolume> parseLsblkJson(const QByteArray& json);

// Why `device` ("/dev/sdb1") must not be formatted, judged on `lsblk --json` output taken just
// before: not listed, not a disk or partition, neither removable nor hot-pluggable (a card
// slot excepted), or on a disk that holds a system file system; none when it may be.
std::optional<QString> formatRefusal(const QByteArray& lsblkJson, const QString& device);

// A device that may be formatted but holds no mounted file system (a blank card, an exFAT
// or damaged one), as a card with no mount point; none when formatRefusal refuses it.
std::optional<TKUSBDiskEntity> unmountedCard(const QByteArray& lsblkJson, const QString& device);

// Where the volume list comes from: lsblk by default, recorded outputs in tests.
using ZLXVolumeSource = std::function<QByteArray()>;
void setVolumeSource(ZLXVolumeSource source);
QByteArray lsblkOutput();

// Each of these reads the volume list afresh; the overloads work on one list read before, so
// that one decision needs one look at the system.
std::vector<ZLXMountedVolume> mountedVolumes();
QStringList removableVolumeURLs();
QStringList usbVolumeURLs();
QStringList usbVolumeURLs(const std::vector<ZLXMountedVolume>& volumes);
std::vector<TKUSBDiskEntity> usbDiskEntities();
std::vector<TKUSBDiskEntity> usbDiskEntities(const std::vector<ZLXMountedVolume>& volumes);
std::optional<QString> usbVolumeURLContainingFile(const QString& fileName);
std::optional<TKUSBDiskEntity> findCardDisk();
std::optional<TKUSBDiskEntity> findCardDisk(const std::vector<ZLXMountedVolume>& volumes);

// Renames a volume's label (UDisks2 over the system bus, else fatlabel through pkexec).
// Tests put a renamer of their own in place.
using ZLXVolumeRenamer = std::function<bool(const TKUSBDiskEntity& volume, const QString& label, QString* error)>;
void setVolumeRenamer(ZLXVolumeRenamer renamer);
bool renameVolume(const TKUSBDiskEntity& volume, const QString& label, QString* error);

} // namespace daxo
