// SPDX-License-Identifier: GPL-3.0-or-later
// A card going in is told: a fake UDisks2 (python3-dbusmock on a private bus) announces a FAT
// image mounted with fusefat; the window says what is new on it and imports it on request.
#include "../support/FatImage.h"
#include "../support/QtTestMain.h"
#include "app/ZLXLanguage.h"
#include "app/ZLXViewer.h"
#include "card/ZLXCardOperations.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace daxo;

namespace {

// The system's Python runs the fake, where the Debian package put dbusmock.
bool run(const QString& program, const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        qWarning("%s: %s", qPrintable(program), p.readAllStandardError().constData());
    return ok;
}

// Adds a drive and a file system on it to the fake UDisks2 and announces the file system.
const char* kAnnounce = R"(
import dbus, sys
bus = dbus.bus.BusConnection(sys.argv[1])
mock = lambda path: dbus.Interface(bus.get_object('org.freedesktop.UDisks2', path), 'org.freedesktop.DBus.Mock')
root = mock('/org/freedesktop/UDisks2')
name, mount, removable = sys.argv[2], sys.argv[3], sys.argv[4] == 'yes'
drive, block = '/org/freedesktop/UDisks2/drives/' + name, '/org/freedesktop/UDisks2/block_devices/' + name
root.AddObject(drive, 'org.freedesktop.UDisks2.Drive',
               {'Removable': dbus.Boolean(removable), 'MediaRemovable': dbus.Boolean(removable),
                'ConnectionBus': 'usb' if removable else ''}, [])
root.AddObject(block, 'org.freedesktop.UDisks2.Block', {'Drive': dbus.ObjectPath(drive), 'IdLabel': 'DAXO'}, [])
mock(block).AddProperties('org.freedesktop.UDisks2.Filesystem',
                          {'MountPoints': dbus.Array([dbus.ByteArray(mount.encode() + b'\0')], signature='ay')})
root.EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}',
                [dbus.ObjectPath(block), dbus.Dictionary({}, signature='sa{sv}')])
)";

} // namespace

class CardNoticeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_bus, m_udisks;
    QString m_address;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        installStringTable(*qApp, QStringLiteral("en"));
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        QVERIFY(m_bus.waitForStarted() && m_bus.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        m_env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_udisks.setProcessEnvironment(m_env);
        m_udisks.start("/usr/bin/python3", {"-m", "dbusmock", "--session", "-m", "org.freedesktop.UDisks2",
                                   "/org/freedesktop/UDisks2", "org.freedesktop.UDisks2.Manager"});
        QVERIFY(m_udisks.waitForStarted());
        QDBusConnection bus = QDBusConnection::connectToBus(m_address, "udisks");
        QVERIFY(bus.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered("org.freedesktop.UDisks2"), 20000);
    }
    void cleanupTestCase() {
        m_udisks.kill();
        m_bus.kill();
        m_udisks.waitForFinished();
        m_bus.waitForFinished();
        QDBusConnection::disconnectFromBus("udisks");
    }

    // A card with recordings the library has not: told once, with what is new; Import copies
    // them. A fixed disk's file system is never taken for a card.
    void aCardGoingInIsToldAndImported() {
        const QString mount = m_dir.filePath("mnt");
        test::MountedFat card(m_dir.filePath("card.img"), mount, 64, "32", "DAXO");
        QVERIFY(card.ok);
        for (const char* name : {"alwa_20241003_081500_F.MP4", "event_20241003_081600_F.MP4"}) {
            QFile recording(mount + "/" + name);
            QVERIFY(recording.open(QIODevice::WriteOnly) && recording.write(QByteArray(4096, 'r')) == 4096);
        }
        QSettings settings;
        settings.setValue("library/folder", m_dir.filePath("library"));
        ZLXViewer viewer;
        ZLXAppDelegate& app = viewer.app();
        app.applicationDidFinishLaunching(settings);
        app.watchCards(QDBusConnection("udisks"));
        QSignalSpy noticed(&app, &ZLXAppDelegate::cardNoticed);

        QVERIFY(run("/usr/bin/python3", {"-c", kAnnounce, m_address, "fixed", mount, "no"}, m_env));
        QVERIFY(run("/usr/bin/python3", {"-c", kAnnounce, m_address, "reader", mount, "yes"}, m_env));
        QVERIFY(noticed.wait(10000));
        QCOMPARE(noticed.size(), 1); // the reader's, not the fixed disk's
        QCOMPARE(noticed.front().front().toString(), QStringLiteral("Card DAXO: 1 new event recording, 1 new recording"));

        auto* notice = app.window()->findChild<QMessageBox*>("cardNotice");
        QVERIFY(notice && notice->isVisible());
        QSignalSpy imported(&app, &ZLXAppDelegate::importFinished);
        const auto buttons = notice->buttons();
        const auto import = std::find_if(buttons.begin(), buttons.end(), [](QAbstractButton* b) { return b->text() == "Import"; });
        QVERIFY(import != buttons.end());
        (*import)->click();
        QVERIFY(imported.wait(20000));
        QVERIFY(imported.front().front().toString().startsWith("Copied 2, skipped 0, failed 0"));
        QVERIFY(QFile::exists(m_dir.filePath("library/2024-10-03/event_20241003_081600_F.MP4")));
        notice->close();

        // the setting: a card's event recordings imported as soon as it goes in
        QFile more(mount + "/event_20241003_083000_F.MP4");
        QVERIFY(more.open(QIODevice::WriteOnly) && more.write("e") == 1);
        more.close();
        app.window()->findChild<QAction*>("importEventsAtOnceAction")->setChecked(true);
        QVERIFY(run("/usr/bin/python3", {"-c", kAnnounce, m_address, "reader2", mount, "yes"}, m_env));
        QVERIFY(noticed.wait(10000));
        QVERIFY(noticed.back().front().toString().startsWith("Card DAXO: 1 new event recording\nIts event recordings"));
        QVERIFY(imported.wait(20000));
        QVERIFY(imported.back().front().toString().startsWith("Copied 1, skipped 1, failed 0"));
        app.window()->findChild<QAction*>("importEventsAtOnceAction")->setChecked(false);
        settings.remove("library/folder");
    }
};

DAXO_QTEST_MAIN(CardNoticeTest)
#include "tst_card_notice.moc"
