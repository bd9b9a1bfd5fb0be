// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXVolumes.h"

#include "library/ZLXLog.h"
#include "card/ZLXShell.h"

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
    std::optional<QString> systemMount; // a system file system somewhere on the same disk
};

QString devicePathOf(const QJsonObject& d) {
    if (const auto path = text(d.value("path")))
        return *path;
    const auto name = text(d.value("name"));
    return name ? QStringLiteral("/dev/") + *name : QString();
}

QStringList mountPointsOf(const QJsonObject& d) {
    QStringList mounts;
    if (const auto m = text(d.value("mountpoint")))
        mounts << *m;
    for (const QJsonValue& m : d.value("mountpoints").toArray()) {
        if (const auto t = text(m); t && !mounts.contains(*t))
            mounts << *t;
    }
    return mounts;
}

// Where the computer itself lives: erasing a disk that holds one of these breaks it.
bool isSystemMount(const QString& mount) {
    if (mount == QLatin1String("/") || mount.compare(QLatin1String("[SWAP]"), Qt::CaseInsensitive) == 0)
        return true;
    for (const char* top : {"/boot", "/home", "/usr", "/var"}) {
        const QLatin1String t(top);
        if (mount == t || (mount.startsWith(t) && mount.at(t.size()) == QLatin1Char('/')))
            return true;
    }
    return false;
}

// The first system mount of a device or anything below it.
std::optional<QString> systemMountBelow(const QJsonObject& d, int depth) {
    if (depth > 16)
        return std::nullopt;
    for (const QString& mount : mountPointsOf(d)) {
        if (isSystemMount(mount))
            return mount;
    }
    if (d.value("fstype").toString() == QLatin1String("swap"))
        return QStringLiteral("[SWAP]");
    for (const QJsonValue& child : d.value("children").toArray()) {
        if (auto found = systemMountBelow(child.toObject(), depth + 1))
            return found;
    }
    return std::nullopt;
}

void collect(const QJsonArray& devices, const Inherited& parent, int depth,
             std::vector<ZLXMountedVolume>& out) {
    if (depth > 16) // nesting beyond disk, partition, crypt and LVM is not real
        return;
    for (const QJsonValue& value : devices) {
        const QJsonObject d = value.toObject();
        const bool isDisk = d.value("type").toString() == QLatin1String("disk");
        const QString path = devicePathOf(d);
        Inherited mine = parent;
        if (depth == 0)
            mine.systemMount = systemMountBelow(d, 0);
        if (isDisk || depth == 0) {
            mine.diskPath = path;
            mine.model = text(d.value("model"));
            mine.transport = d.value("tran").toString();
        } else if (const auto tran = text(d.value("tran"))) {
            mine.transport = *tran;
        }
        mine.removable = parent.removable || flag(d.value("rm")) || flag(d.value("hotplug"));
        mine.readOnly = parent.readOnly || flag(d.value("ro"));

        for (const QString& mount : mountPointsOf(d)) {
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
            v.systemDisk = mine.systemMount.has_value();
            out.push_back(v);
        }
        collect(d.value("children").toArray(), mine, depth + 1, out);
    }
}

bool isCardSlot(const QString& transport, const QString& diskPath) {
    return transport.compare(QLatin1String("mmc"), Qt::CaseInsensitive) == 0 ||
           diskPath.startsWith(QLatin1String("/dev/mmcblk"));
}

// Where a camera's card can be: a removable or hot-pluggable medium on USB or in a card slot,
// and any medium of a built-in SD slot (mmcblk), which Linux may report as neither; never a
// disk that also holds a system file system.
bool isUsb(const ZLXMountedVolume& v) {
    if (v.systemDisk)
        return false;
    if (isCardSlot(v.transport, v.diskPath))
        return true;
    return v.removable && v.transport.compare(QLatin1String("usb"), Qt::CaseInsensitive) == 0;
}

// Every device named `path` among `devices` (and their children), with the top-level device
// it is on.
struct Found {
    QJsonObject device, top;
};
void findDevices(const QJsonArray& devices, const QString& path, const QJsonObject* top, int depth,
                 std::vector<Found>& out) {
    if (depth > 16)
        return;
    for (const QJsonValue& value : devices) {
        const QJsonObject d = value.toObject();
        const QJsonObject& myTop = top ? *top : d;
        if (devicePathOf(d) == path)
            out.push_back({d, myTop});
        findDevices(d.value("children").toArray(), path, &myTop, depth + 1, out);
    }
}

std::optional<QString> refusalOf(const Found& found, const QString& device) {
    const QString type = found.device.value("type").toString();
    if (type != QLatin1String("disk") && type != QLatin1String("part"))
        return QStringLiteral("%1 is not a disk or a partition (%2).").arg(device, type);
    const QJsonObject& top = found.top;
    const bool removable = flag(top.value("rm")) || flag(top.value("hotplug")) ||
                           flag(found.device.value("rm")) || flag(found.device.value("hotplug")) ||
                           isCardSlot(top.value("tran").toString(), devicePathOf(top));
    if (!removable)
        return QStringLiteral("%1 is neither removable nor hot-pluggable.").arg(device);
    if (const auto system = systemMountBelow(top, 0))
        return QStringLiteral("%1 is on the disk that holds the system's %2.").arg(device, *system);
    return std::nullopt;
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

std::optional<QString> formatRefusal(const QByteArray& json, const QString& device) {
    std::vector<Found> found;
    findDevices(QJsonDocument::fromJson(json).object().value("blockdevices").toArray(), device, nullptr, 0, found);
    if (found.empty())
        return QStringLiteral("%1 is not a disk this computer lists.").arg(device);
    for (const Found& one : found) { // a name listed twice is judged by its worst place
        if (auto why = refusalOf(one, device))
            return why;
    }
    return std::nullopt;
}

std::optional<TKUSBDiskEntity> unmountedCard(const QByteArray& json, const QString& device) {
    if (formatRefusal(json, device))
        return std::nullopt;
    std::vector<Found> found;
    findDevices(QJsonDocument::fromJson(json).object().value("blockdevices").toArray(), device, nullptr, 0, found);
    const QJsonObject& d = found.front().device;
    const QJsonObject& top = found.front().top;
    const auto model = text(top.value("model"));
    const bool readOnly = flag(d.value("ro")) || flag(top.value("ro"));
    return TKUSBDiskEntity(d.value("label").toString().toStdString(), {}, device.toStdString(),
                           model ? std::optional<std::string>(model->toStdString()) : std::nullopt,
                           number(d.value("size")), !readOnly, d.value("type").toString() == QLatin1String("disk"),
                           devicePathOf(top).toStdString());
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
                 "NAME,PATH,TYPE,TRAN,RM,HOTPLUG,RO,LABEL,FSTYPE,MOUNTPOINT,SIZE,MODEL"});
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
