// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXCardWatcher.h"

#include "library/ZLXLog.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

namespace daxo {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");

QVariant busProperty(const QDBusConnection& bus, const QString& path, const QString& interface, const QString& name) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    call << interface << name;
    const QDBusReply<QDBusVariant> reply = bus.call(call, QDBus::Block, 2000);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

// "aay" of NUL-terminated paths.
QStringList mountPointsOf(const QVariant& value) {
    QStringList points;
    if (!value.canConvert<QDBusArgument>())
        return points;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        QByteArray bytes;
        argument >> bytes;
        if (bytes.endsWith('\0'))
            bytes.chop(1);
        if (!bytes.isEmpty())
            points << QString::fromLocal8Bit(bytes);
    }
    argument.endArray();
    return points;
}

} // namespace

ZLXCardWatcher::ZLXCardWatcher(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {}

bool ZLXCardWatcher::start() {
    if (!m_bus.isConnected())
        return false;
    const bool added = m_bus.connect(kService, kRoot, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                     QStringLiteral("InterfacesAdded"), this, SLOT(interfacesAdded(QDBusMessage)));
    const bool changed = m_bus.connect(kService, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"), this, SLOT(propertiesChanged(QDBusMessage)));
    return added && changed;
}

void ZLXCardWatcher::interfacesAdded(const QDBusMessage& message) {
    if (const auto arguments = message.arguments(); !arguments.isEmpty())
        look(arguments.front().value<QDBusObjectPath>().path());
}

void ZLXCardWatcher::propertiesChanged(const QDBusMessage& message) {
    if (!message.arguments().isEmpty() && message.arguments().front().toString() == kFilesystem)
        look(message.path());
}

void ZLXCardWatcher::look(const QString& objectPath) {
    if (!objectPath.startsWith(kRoot + QStringLiteral("/block_devices/")))
        return;
    const QStringList points = mountPointsOf(busProperty(m_bus, objectPath, kFilesystem, QStringLiteral("MountPoints")));
    if (points.isEmpty()) {
        // not (yet) mounted, or unmounted: the next mount is announced by PropertiesChanged
        m_told.removeIf([&](const QString& key) { return key.startsWith(objectPath + QLatin1Char('|')); });
        return;
    }
    const QString drive = busProperty(m_bus, objectPath, kBlock, QStringLiteral("Drive")).value<QDBusObjectPath>().path();
    if (drive.isEmpty() || drive == QLatin1String("/"))
        return;
    const QString bus = busProperty(m_bus, drive, kDrive, QStringLiteral("ConnectionBus")).toString();
    const bool removable = busProperty(m_bus, drive, kDrive, QStringLiteral("Removable")).toBool() ||
                           busProperty(m_bus, drive, kDrive, QStringLiteral("MediaRemovable")).toBool() ||
                           bus == QLatin1String("sdio");
    if (!removable)
        return;
    const QString label = busProperty(m_bus, objectPath, kBlock, QStringLiteral("IdLabel")).toString();
    const QString key = objectPath + QLatin1Char('|') + points.front();
    if (m_told.contains(key))
        return;
    m_told.insert(key);
    ZLXLog("card mounted: %s at %s", qUtf8Printable(label), qUtf8Printable(points.front()));
    emit cardMounted(points.front(), label);
}

} // namespace daxo
