// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXVolumes.h"

#include "ZLXLog.h"
#include "ZLXShell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QVariantMap>
#include <mutex>

namespace daxo {
namespace {

std::mutex g_hooksMutex;
ZLXVolumeSource g_source;
ZLXVolumeRenamer g_renamer;

// lsblk writes flags as JSON booleans (util-linux 2.37 and later) or as "0" / "1".
bool flag(const QJsonValue& v) {
    if (v.isBool())
        return v.toBool();
    if (v.isString())
        return v.toString() == QLatin1String("1") || v.toString() == QLatin1String("true");
    return v.toInt() != 0;
}

uint64_t number(const QJsonValue& v) {
    if (v.isString())
        return v.toString().toULongLong();
    const double d = v.toDouble();
    return d > 0 && d < 1.8e19 ? uint64_t(d) : 0;
}

std::optional<QString> text(const QJsonValue& v) {
    if (!v.isString())
        return std::nullopt;
    const QString s = v.toString().trimmed();
    return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
}

struct Inherited {
    QString diskPath;
    std::optional<QString> model;
    QString transport;
    bool removable = false;
    bool readOnly = false;
};

void collect(const QJsonArray& devices, const Inherited& parent, int depth,
             std::vector<ZLXMountedVolume>& out) {
    if (depth > 16) // nesting beyond disk, partition, crypt and LVM is not real
        return;
    for (const QJsonValue& value : devices) {
        const QJsonObject d = value.toObject();
        const bool isDisk = d.value("type").toString() == QLatin1String("disk");
        const QString path = text(d.value("path")).value_or(
            text(d.value("name")).has_value() ? QStringLiteral("/dev/") + d.value("name").toString() : QString());
        Inherited mine = parent;
        if (isDisk || depth == 0) {
            mine.diskPath = path;
            mine.model = text(d.value("model"));
            mine.transport = d.value("tran").toString();
        } else if (const auto tran = text(d.value("tran"))) {
            mine.transport = *tran;
        }
        mine.removable = parent.removable || flag(d.value("rm")) || flag(d.value("hotplug"));
        mine.readOnly = parent.readOnly || flag(d.value("ro"));

        QStringList mounts;
        if (const auto m = text(d.value("mountpoint")))
            mounts << *m;
        for (const QJsonValue& m : d.value("mountpoints").toArray()) {
            if (const auto t = text(m); t && !mounts.contains(*t))
                mounts << *t;
        }
        for (const QString& mount : mounts) {
            ZLXMountedVolume v;
            v.mountPoint = mount;
            v.label = d.value("label").toString();
            v.devicePath = path;
            v.diskPath = mine.diskPath.isEmpty() ? path : mine.diskPath;
            v.model = mine.model;
            v.transport = mine.transport;
            v.removable = mine.removable;
            v.readOnly = mine.readOnly;
            v.whole = isDisk;
            v.size = number(d.value("size"));
            out.push_back(v);
        }
        collect(d.value("children").toArray(), mine, depth + 1, out);
    }
}

// Where a camera's card can be: a removable or hot-pluggable medium on USB or in a card slot,
// and any medium of a built-in SD slot (mmcblk), which Linux may report as neither.
bool isUsb(const ZLXMountedVolume& v) {
    const bool slot = v.transport.compare(QLatin1String("mmc"), Qt::CaseInsensitive) == 0 ||
                      v.diskPath.startsWith(QLatin1String("/dev/mmcblk"));
    if (slot)
        return true;
    return v.removable && v.transport.compare(QLatin1String("usb"), Qt::CaseInsensitive) == 0;
}

bool renameThroughSystem(const TKUSBDiskEntity& volume, const QString& label, QString* error) {
    // UDisks2 first: it asks polkit itself and needs no password for a user's own media.
    const QString device = QString::fromStdString(volume.deviceFilePath()).section('/', -1);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UDisks2"),
        QStringLiteral("/org/freedesktop/UDisks2/block_devices/") + device,
        QStringLiteral("org.freedesktop.UDisks2.Filesystem"), QStringLiteral("SetLabel"));
    call << label << QVariantMap();
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, 30000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    const ZLXCommandResult result = runShellScript(
        QStringLiteral("fatlabel"), {QString::fromStdString(volume.deviceFilePath()), label}, true);
    if (result.ok())
        return true;
    if (error)
        *error = reply.errorMessage() + QStringLiteral("; ") + result.message;
    return false;
}

} // namespace

std::vector<ZLXMountedVolume> parseLsblkJson(const QByteArray& json) {
    std::vector<ZLXMountedVolume> volumes;
    QJsonParseError status;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &status);
    if (status.error != QJsonParseError::NoError || !doc.isObject())
        return volumes;
    collect(doc.object().value("blockdevices").toArray(), {}, 0, volumes);
    return volumes;
}

void setVolumeSource(ZLXVolumeSource source) {
    std::lock_guard lock(g_hooksMutex);
    g_source = std::move(source);
}

QByteArray lsblkOutput() {
    {
        std::lock_guard lock(g_hooksMutex);
        if (g_source)
            return g_source();
    }
    QProcess lsblk;
    lsblk.start(QStringLiteral("lsblk"),
                {"--json", "--bytes", "--output",
                 "NAME,PATH,TYPE,TRAN,RM,HOTPLUG,RO,LABEL,MOUNTPOINT,SIZE,MODEL"});
    if (!lsblk.waitForFinished(10000) || lsblk.exitCode() != 0)
        return {};
    return lsblk.readAllStandardOutput();
}

QStringList removableVolumeURLs() {
    QStringList urls;
    for (const auto& v : mountedVolumes()) {
        if (v.removable)
            urls << v.mountPoint;
    }
    return urls;
}

std::vector<ZLXMountedVolume> mountedVolumes() {
    return parseLsblkJson(lsblkOutput());
}

QStringList usbVolumeURLs() {
    return usbVolumeURLs(mountedVolumes());
}

QStringList usbVolumeURLs(const std::vector<ZLXMountedVolume>& volumes) {
    QStringList urls;
    for (const auto& v : volumes) {
        if (isUsb(v))
            urls << v.mountPoint;
    }
    return urls;
}

std::vector<TKUSBDiskEntity> usbDiskEntities() {
    return usbDiskEntities(mountedVolumes());
}

std::vector<TKUSBDiskEntity> usbDiskEntities(const std::vector<ZLXMountedVolume>& volumes) {
    std::vector<TKUSBDiskEntity> entities;
    for (const auto& v : volumes) {
        if (!isUsb(v) || v.devicePath.isEmpty())
            continue;
        ZLXLog("%s", qUtf8Printable(v.mountPoint));
        std::optional<std::string> model;
        if (v.model)
            model = v.model->toStdString();
        entities.emplace_back(v.label.toStdString(), v.mountPoint.toStdString(), v.devicePath.toStdString(),
                              model, v.size, !v.readOnly, v.whole, v.diskPath.toStdString());
    }
    return entities;
}

std::optional<QString> usbVolumeURLContainingFile(const QString& fileName) {
    for (const QString& url : usbVolumeURLs()) {
        if (QFileInfo::exists(url + QLatin1Char('/') + fileName))
            return url;
    }
    return std::nullopt;
}

std::optional<TKUSBDiskEntity> findCardDisk() {
    return findCardDisk(mountedVolumes());
}

std::optional<TKUSBDiskEntity> findCardDisk(const std::vector<ZLXMountedVolume>& volumes) {
    return findCardDisk(usbDiskEntities(volumes), [](const std::string& path) {
        return QFileInfo(QString::fromStdString(path)).isFile();
    });
}

void setVolumeRenamer(ZLXVolumeRenamer renamer) {
    std::lock_guard lock(g_hooksMutex);
    g_renamer = std::move(renamer);
}

bool renameVolume(const TKUSBDiskEntity& volume, const QString& label, QString* error) {
    ZLXVolumeRenamer renamer;
    {
        std::lock_guard lock(g_hooksMutex);
        renamer = g_renamer;
    }
    return renamer ? renamer(volume, label, error) : renameThroughSystem(volume, label, error);
}

} // namespace daxo
