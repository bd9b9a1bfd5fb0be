// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh FAT image, made with mkfs.fat and mounted with fusefat as a card or a disk would be;
// unmounted when it goes.
#pragma once

#include "card/ZLXCardOperations.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace daxo::test {

struct MountedFat {
    ZLXImageCardOperations operations;
    TKUSBDiskEntity disk;
    bool ok = false;

    // `fat` "16" or "32".
    MountedFat(const QString& image, const QString& mount, qint64 megabytes, const QString& fat, const QString& label)
        : disk(label.toStdString(), mount.toStdString(), image.toStdString(), std::nullopt, 0, true, true, {}) {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(megabytes << 20))
            return;
        file.close();
        QProcess mkfs;
        mkfs.start("mkfs.fat", {"-F", fat, "-n", label, image});
        if (!mkfs.waitForFinished(60000) || mkfs.exitCode() != 0)
            return;
        operations.addImage(image, mount);
        ok = QDir().mkpath(mount) && operations.mount(disk).ok();
    }
    ~MountedFat() {
        if (ok)
            operations.unmount(disk);
    }
    MountedFat(const MountedFat&) = delete;
    MountedFat& operator=(const MountedFat&) = delete;
};

} // namespace daxo::test
