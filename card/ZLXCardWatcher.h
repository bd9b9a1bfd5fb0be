// SPDX-License-Identifier: GPL-3.0-or-later
// Notices a card going in: UDisks2 announces each new file system (InterfacesAdded) and each
// mount (PropertiesChanged of its MountPoints); one that is mounted, on a removable drive or a
// card slot, is reported once for each mount.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

class QDBusMessage;

namespace daxo {

class ZLXCardWatcher : public QObject {
    Q_OBJECT
public:
    explicit ZLXCardWatcher(const QDBusConnection& bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    // Listens for UDisks2; false when its bus cannot be reached.
    bool start();

signals:
    void cardMounted(const QString& mountPoint, const QString& label);

private slots:
    void interfacesAdded(const QDBusMessage& message);
    void propertiesChanged(const QDBusMessage& message);

private:
    void look(const QString& objectPath);

    QDBusConnection m_bus;
    QSet<QString> m_told; // "object path|mount point" already reported
};

} // namespace daxo
