// SPDX-License-Identifier: GPL-3.0-or-later
// The volume list read from lsblk's JSON, the card among it, and running the disk tools.
#include "../support/QtTestMain.h"
#include "library/ZLXLog.h"
#include "card/ZLXShell.h"
#include "card/ZLXVolumes.h"

#include <QFile>
#include <QTemporaryDir>

using namespace daxo;

#define EXPECT_SUBSTR(text, part) QVERIFY2((text).find(part) != std::string::npos, (text).c_str())

class VolumesTest : public QObject {
    Q_OBJECT

    static QByteArray recorded(const char* name) {
        QFile file(QStringLiteral(DAXO_TEST_DATA "/lsblk/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void cleanup() { setVolumeSource({}); }

    void parsesMountedVolumesWithWhatTheyInherit() {
        const auto volumes = parseLsblkJson(recorded("desk.json"));
        QCOMPARE(volumes.size(), size_t(8));
        const auto& card = volumes[4]; // sdb1
        QCOMPARE(card.mountPoint, QStringLiteral("/media/anna/DAXO"));
        QCOMPARE(card.devicePath, QStringLiteral("/dev/sdb1"));
        QCOMPARE(card.diskPath, QStringLiteral("/dev/sdb"));
        QCOMPARE(card.model, std::optional<QString>("Card Reader"));
        QCOMPARE(card.transport, QStringLiteral("usb"));
        QVERIFY(card.removable && card.readOnly && !card.whole);
        QCOMPARE(card.size, uint64_t(7944011776));
        // an older lsblk writes its flags and sizes as strings; a whole-disk file system
        const auto& old = volumes[7];
        QVERIFY(old.removable && !old.readOnly && old.whole);
        QCOMPARE(old.size, uint64_t(31914983424));
        QCOMPARE(old.model, std::optional<QString>("SD Reader"));

        QVERIFY(parseLsblkJson("not json").empty());
        QVERIFY(parseLsblkJson("{\"blockdevices\": 5}").empty());
        QVERIFY(parseLsblkJson("[]").empty());
    }

    void onlyUsbRemovableVolumesCount() {
        const QByteArray json = recorded("desk.json");
        setVolumeSource([json] { return json; });
        QCOMPARE(removableVolumeURLs(), (QStringList{"/media/anna/DAXO2", "/media/anna/STICK", "/media/anna/DAXO",
                                                     "/media/anna/BOOT", "/media/anna/DAXO1", "/media/anna/CAM"}));
        // cards on USB and in the built-in slot; never the system disk
        QCOMPARE(usbVolumeURLs(), (QStringList{"/media/anna/DAXO2", "/media/anna/STICK", "/media/anna/DAXO",
                                               "/media/anna/BOOT", "/media/anna/DAXO1", "/media/anna/CAM"}));
        const auto entities = usbDiskEntities();
        QCOMPARE(entities.size(), size_t(6));
        QCOMPARE(QString::fromStdString(entities[2].displayString()), QStringLiteral("[7.4 GB] DAXO <Card Reader>"));
        // none holds config.bin: the first writable DAXO is the card in the built-in slot
        const auto card = findCardDisk();
        QVERIFY(card);
        QCOMPARE(card->mountedURL(), std::string("/media/anna/DAXO2"));
        QCOMPARE(card->deviceFilePath(), std::string("/dev/mmcblk0p1"));
        QCOMPARE(usbVolumeURLContainingFile("config.bin"), std::nullopt);

        setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); });
        QVERIFY(!findCardDisk());
        QVERIFY(usbVolumeURLs().isEmpty());
    }

    void theCardHoldingConfigBinIsFound() {
        QTemporaryDir first, second;
        QFile(second.filePath("config.bin")).open(QIODevice::WriteOnly);
        const QByteArray json = QStringLiteral(R"({"blockdevices":[
            {"name":"sdb","path":"/dev/sdb","type":"disk","tran":"usb","rm":true,"ro":false,"label":"DAXO","mountpoint":"%1","size":1000,"model":"A"},
            {"name":"mmcblk1","path":"/dev/mmcblk1","type":"disk","tran":null,"rm":false,"hotplug":false,"ro":false,"label":"DAXO","mountpoint":"%2","size":1000,"model":null}]})")
                                    .arg(first.path(), second.path()).toUtf8();
        setVolumeSource([json] { return json; });
        // a built-in slot that reports itself as neither removable nor hot-pluggable counts
        QCOMPARE(QString::fromStdString(findCardDisk()->mountedURL()), second.path());
        QCOMPARE(usbVolumeURLContainingFile("config.bin"), std::optional<QString>(second.path()));
    }

    void noDiskHoldingTheSystemIsListedOrFormatted() {
        const QByteArray json = recorded("system.json");
        setVolumeSource([json] { return json; });
        // a system on a USB disk, a board booting from its SD slot, swap on a hot-pluggable disk:
        // each also carries a DAXO volume, and none of those is offered
        QVERIFY(usbDiskEntities().empty());
        QVERIFY(!findCardDisk());
        const auto refusal = [&](const char* device) { return formatRefusal(json, device).value_or("may").toStdString(); };
        EXPECT_SUBSTR(refusal("/dev/sda2"), "/boot/efi");
        EXPECT_SUBSTR(refusal("/dev/sda"), "/boot/efi");
        EXPECT_SUBSTR(refusal("/dev/mmcblk0p1"), "holds the system's /boot/firmware");
        EXPECT_SUBSTR(refusal("/dev/sdb2"), "[SWAP]");
        EXPECT_SUBSTR(refusal("/dev/nvme0n1p1"), "neither removable nor hot-pluggable");
        EXPECT_SUBSTR(refusal("/dev/loop0"), "not a disk or a partition");
        EXPECT_SUBSTR(refusal("/dev/sdz1"), "not a disk this computer lists");
        QVERIFY(formatRefusal("garbage", "/dev/sdc1")); // an unreadable list allows nothing
        // the card, unmounted for its format, may be erased, partition or whole
        QCOMPARE(refusal("/dev/sdc1"), std::string("may"));
        QCOMPARE(refusal("/dev/sdc"), std::string("may"));
        // a card with no mounted file system (blank, exFAT, damaged) is offered as what it is
        const auto blank = unmountedCard(json, "/dev/sdc1");
        QVERIFY(blank);
        QCOMPARE(blank->volumeSize(), uint64_t(31910789120));
        QCOMPARE(blank->mountedURL(), std::string());
        QCOMPARE(blank->key(), std::string("/dev/sdc"));
        QCOMPARE(blank->deviceModel(), std::optional<std::string>("Card Reader"));
        QVERIFY(!unmountedCard(json, "/dev/sda2") && !unmountedCard(json, "/dev/sdz1"));
    }

    void commandsAreProgramsWithArguments() {
        QStringList log;
        setLogObserver([&](std::string_view line) { log << QString::fromUtf8(line.data(), qsizetype(line.size())); });
        // an argument is passed as it is: no shell sees it
        QTemporaryDir dir;
        const QString odd = dir.filePath("a b'; touch pwned; '");
        ZLXCommandResult r = runShellScript("touch", {odd}, false);
        QVERIFY(r.ok());
        QVERIFY(QFile::exists(odd));
        QVERIFY(!QFile::exists("pwned"));
        QCOMPARE(log.last(), QStringLiteral("ERROR={}"));

        r = runShellScript("ls", {dir.filePath("missing")}, false);
        QCOMPARE(r.exitStatus, 2);
        QVERIFY(r.message.contains("missing"));
        QVERIFY(log.last().startsWith("ERROR={number=2"));
        r = runShellScript("/nonexistent/program", {}, false);
        QCOMPARE(r.exitStatus, -1);

        const auto out = runPipeCommand("printf", {"%s", QString(3000, 'x')});
        QVERIFY(out);
        QCOMPARE(out->size(), 3000);
        QVERIFY(log.contains(QStringLiteral("read\n")));
        QVERIFY(!runPipeCommand("/nonexistent/program", {}));
        QVERIFY(log.last().startsWith("popen fail:"));
        setLogObserver({});
    }
};

DAXO_QTEST_MAIN(VolumesTest)
#include "tst_volumes.moc"
