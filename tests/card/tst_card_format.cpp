// SPDX-License-Identifier: GPL-3.0-or-later
// The format window on FAT32 image files mounted through FUSE, standing in for cards; what it
// leaves is read back with fsck.fat and mtools.
#include "../support/Alerts.h"
#include "../support/QtTestMain.h"
#include "widgets/ZLXLook.h"
#include "card/ZLXCardOperations.h"
#include "config/filedata/ZLXFileData.h"
#include "card/ZLXFormatWindowController.h"
#include "app/ZLXLanguage.h"
#include "card/ZLXVolumes.h"
#include "ui_ZLXFormatWindowController.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <unistd.h>

using namespace daxo;
using daxo::test::alertOf;

namespace {

struct Run {
    bool ok = false;
    QString out;     // standard output and error
    QByteArray data; // standard output alone
};
Run run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QByteArray out = p.readAllStandardOutput();
    return {ok, QString::fromLocal8Bit(out + p.readAllStandardError()), out};
}

// The boot sector as minfo reads it: "cluster size: 32 sectors" and the like.
QString bootSector(const QString& image) {
    return run("minfo", {"-i", image, "::"}).out;
}

QByteArray cardFile(const QString& image, const QString& name) {
    QProcess p;
    p.start("mtype", {"-i", image, "::" + name});
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

QStringList privateCopies() {
    return QDir::temp().entryList({"daxo-format-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}

// A card whose file system does not come back after the format, as when the reader is
// pulled out before the remount.
class VanishingCards : public ZLXImageCardOperations {
public:
    bool formatted = false;
    ZLXCommandResult format(const TKUSBDiskEntity& card, int64_t sectors) override {
        formatted = true;
        return ZLXImageCardOperations::format(card, sectors);
    }
    ZLXCommandResult mount(const TKUSBDiskEntity& card) override {
        return formatted ? ZLXCommandResult{32, "no medium"} : ZLXImageCardOperations::mount(card);
    }
};

} // namespace

class CardFormatTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image, m_mount;
    std::shared_ptr<ZLXImageCardOperations> m_cards;

    // A FAT32 image of `size` bytes (sparse) labelled `label`, mounted, with `config` as its
    // config.bin unless empty, and two recordings.
    bool makeCard(qint64 size, const QByteArray& config, std::shared_ptr<ZLXImageCardOperations> cards = {}) {
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate) || !image.resize(size))
            return false;
        image.close();
        if (!run("mkfs.fat", {"-F", "32", "-n", "OLD", m_image}).ok)
            return false;
        m_cards = cards ? std::move(cards) : std::make_shared<ZLXImageCardOperations>();
        m_cards->addImage(m_image, m_mount);
        if (!m_cards->mount(stub()).ok())
            return false;
        QDir(m_mount).mkpath("DCIM");
        for (const char* name : {"DCIM/alwa_20240506_130709_F.mp4", "DCIM/alwa_20240506_130709_R.mp4"})
            QFile(QDir(m_mount).filePath(name)).open(QIODevice::WriteOnly);
        if (!config.isEmpty()) {
            QFile f(QDir(m_mount).filePath("config.bin"));
            if (!f.open(QIODevice::WriteOnly) || f.write(config) != config.size())
                return false;
        }
        return true;
    }
    TKUSBDiskEntity stub() const {
        return TKUSBDiskEntity({}, m_mount.toStdString(), m_image.toStdString(), std::nullopt, 0, true, true, {});
    }
    void unmountCard() {
        if (m_cards)
            m_cards->unmount(stub());
    }
    std::unique_ptr<ZLXFormatWindowController> openWindow() {
        auto window = std::make_unique<ZLXFormatWindowController>(nullptr, m_cards);
        QSignalSpy loaded(window.get(), &ZLXFormatWindowController::volumesLoaded);
        window->show();
        window->windowDidLoad();
        return loaded.wait(10000) ? std::move(window) : nullptr;
    }
    // Format, then the answer to the one question.
    static void pressFormat(ZLXFormatWindowController& window, bool erase) {
        window.ui().formatButton->click();
        QMessageBox* question = alertOf(&window);
        QVERIFY(question);
        QCOMPARE(question->objectName(), QStringLiteral("formatConfirmation"));
        for (QAbstractButton* b : question->buttons()) {
            if ((question->buttonRole(b) == QMessageBox::DestructiveRole) == erase) {
                b->click();
                return;
            }
        }
        QFAIL("no such button");
    }
    // The bytes of the copy an alert says is kept; the copy is removed.
    static QByteArray keptCopyBytes(const QString& informative) {
        const auto where = QRegularExpression("(/\\S+/config\\.bin)").match(informative);
        if (!where.hasMatch())
            return {};
        QFile saved(where.captured(1));
        const QByteArray bytes = saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
        QDir(QFileInfo(saved).absolutePath()).removeRecursively();
        return bytes;
    }
    // Format through the window, answering Erase; what formatFinished said (nothing: no end).
    static QList<QVariant> eraseThrough(ZLXFormatWindowController& window) {
        QSignalSpy finished(&window, &ZLXFormatWindowController::formatFinished);
        pressFormat(window, true);
        return finished.wait(60000) ? finished.front() : QList<QVariant>{};
    }
    static QByteArray defaultConfig() {
        _FILEDATA r{};
        SetDefaultFileData(&r);
        uint8_t b[kFileDataSize];
        encodeFileData(r, b);
        return QByteArray(reinterpret_cast<const char*>(b), kFileDataSize);
    }

private slots:
    void initTestCase() {
        installStringTable(*qApp, QStringLiteral("en"));
        applyViewerLook(*qApp); // as the viewer shows its windows
        QVERIFY(m_dir.isValid());
        m_image = m_dir.filePath("card.img");
        m_mount = m_dir.filePath("mnt");
        QVERIFY(QDir().mkpath(m_mount));
    }
    void cleanup() {
        unmountCard();
        run("chattr", {"-i", m_image});
        QFile::setPermissions(m_image, QFile::ReadOwner | QFile::WriteOwner);
    }

    void keepsTheSettingsAndMakesTheCamerasFileSystem() {
        QByteArray config(500, '\0');
        for (int i = 0; i < config.size(); ++i)
            config[i] = char(i * 7 + 3);
        QVERIFY(makeCard(1100ll << 20, config));
        const QStringList copiesBefore = privateCopies();
        auto window = openWindow();
        QVERIFY(window);
        QCOMPARE(window->ui().usbDiskCombo->currentText(), QStringLiteral("[1.1 GB] OLD <Image file>"));
        QCOMPARE(window->ui().pathField->text(), m_image + "   " + m_mount);
        QCOMPARE(window->ui().allocationUnitField->text(), QStringLiteral("16 KB")); // 32 sectors of 512 bytes
        QCOMPARE(window->ui().fileSystemField->text(), QStringLiteral("FAT32"));

        // the question names the card and what it holds
        window->ui().formatButton->click();
        QMessageBox* question = alertOf(window.get());
        QVERIFY(question);
        QVERIFY2(question->text().contains("OLD (1.1 GB, " + m_image + ")"), qPrintable(question->text()));
        QVERIFY2(question->informativeText().contains("2 recordings"), qPrintable(question->informativeText()));
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT"))
            question->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-format-question.png"));
        question->reject();
        QTRY_VERIFY(!question->isVisible());

        QSignalSpy finished(window.get(), &ZLXFormatWindowController::formatFinished);
        pressFormat(*window, true);
        QVERIFY(window->isFormatting());
        QVERIFY(!window->ui().formatButton->isEnabled());
        window->onFormat(); // a second request is refused while the first runs
        QMessageBox* refusal = alertOf(window.get());
        QVERIFY(refusal && refusal->informativeText() == qtTrId("msg.format_running"));
        refusal->accept();
        QVERIFY(!window->close()); // and the window stays until the settings are back

        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.front(), (QList<QVariant>{true, true}));
        QMessageBox* done = alertOf(window.get());
        QVERIFY(done);
        QCOMPARE(done->text(), qtTrId("msg.format_complete"));
        QCOMPARE(done->informativeText(), QStringLiteral("[1.1 GB] DAXO <Image file>"));
        QCOMPARE(window->ui().usbDiskCombo->currentText(), done->informativeText());
        done->accept();
        QTRY_VERIFY(!window->isVisible()); // dismissing it closes the window
        QCOMPARE(privateCopies(), copiesBefore); // the private copy went once the file was back

        unmountCard();
        const QString fsck = run("fsck.fat", {"-n", m_image}).out;
        QVERIFY2(run("fsck.fat", {"-n", m_image}).ok, qPrintable(fsck));
        const QString boot = bootSector(m_image);
        for (const char* line : {"cluster size: 32 sectors", "reserved (boot) sectors: 32", "fats: 2",
                                 "disk label=\"DAXO       \"", "disk type=\"FAT32   \"", "backup boot sector=6"})
            QVERIFY2(boot.contains(line), qPrintable(line + ("\n" + boot)));
        QCOMPARE(cardFile(m_image, "config.bin"), config);
        QCOMPARE(cardFile(m_image, "DCIM/alwa_20240506_130709_F.mp4"), QByteArray()); // erased
        QVERIFY(!run("mtype", {"-i", m_image, "::DCIM/alwa_20240506_130709_F.mp4"}).ok);
    }

    void aCardWithoutSettingsGetsTheDefaultFile() {
        QVERIFY(makeCard(1100ll << 20, {}));
        auto window = openWindow();
        QVERIFY(window);
        QCOMPARE(eraseThrough(*window), (QList<QVariant>{true, true}));
        unmountCard();
        QCOMPARE(cardFile(m_image, "config.bin"), defaultConfig());
    }

    // fusefat cannot open files on a file system with 64 KB clusters, so the settings cannot
    // go back onto the image through it: the failure is reported and the copy kept.
    void aLargeCardGetsLargeClustersAndNothingIsLost() {
        const QByteArray config(500, 'L');
        QVERIFY(makeCard(8ll << 30, config)); // sparse: 8 GiB take a few megabytes
        auto window = openWindow();
        QVERIFY(window);
        QCOMPARE(window->ui().allocationUnitField->text(), QStringLiteral("64 KB")); // 128 sectors
        QCOMPARE(eraseThrough(*window), (QList<QVariant>{true, false}));
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("config.bin copy fail"));
        QCOMPARE(keptCopyBytes(alert->informativeText()), config);
        unmountCard();
        // sound, but for the dirty bit fusefat leaves when it gives up
        const Run fsck = run("fsck.fat", {"-n", m_image});
        const QStringList complaints = fsck.out.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression(
            "^(?!fsck\\.fat 4|Dirty bit is set|\\s*Automatically removing dirty bit|Leaving filesystem unchanged|"
            ".*: \\d+ files, \\d+/\\d+ clusters$)"));
        QVERIFY2(complaints.isEmpty(), qPrintable(fsck.out));
        const QString boot = bootSector(m_image);
        QVERIFY2(boot.contains("cluster size: 128 sectors") && boot.contains("reserved (boot) sectors: 32") &&
                     boot.contains("backup boot sector=6") && boot.contains("disk label=\"DAXO       \""),
                 qPrintable(boot));
    }

    void aFailedFormatMountsTheCardAgainAndSaysWhy() {
        const QByteArray config(500, 'c');
        QVERIFY(makeCard(1100ll << 20, config));
        const QStringList copiesBefore = privateCopies();
        auto window = openWindow();
        QVERIFY(window);
        // the card is locked after it was listed: mkfs.fat cannot open it
        if (::geteuid() == 0)
            QVERIFY(run("chattr", {"+i", m_image}).ok);
        else
            QVERIFY(QFile::setPermissions(m_image, QFile::ReadOwner));
        QCOMPARE(eraseThrough(*window), (QList<QVariant>{false, false}));
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->text(), qtTrId("msg.cannot_format"));
        QCOMPARE(alert->informativeText(), "[1.1 GB] OLD <Image file>\n" + qtTrId("msg.write_protected_disk"));
        // mounted again (read-only now), still holding its settings; no copy left behind
        QCOMPARE(m_cards->cards().size(), size_t(1));
        QVERIFY(!m_cards->cards().front().writable());
        QFile kept(QDir(m_mount).filePath("config.bin"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), config);
        QCOMPARE(privateCopies(), copiesBefore);
        QVERIFY(window->ui().formatButton->isEnabled());

        // a locked card is refused before anything runs
        alert->accept();
        window->loadUSBVolumes();
        QTRY_VERIFY(window->stopProgressBar());
        window->ui().formatButton->click();
        alert = alertOf(window.get());
        QVERIFY(alert && alert->objectName() != QStringLiteral("formatConfirmation"));
        QCOMPARE(alert->informativeText(), "[1.1 GB] OLD <Image file>\n" + qtTrId("msg.write_protected_disk"));
    }

    void theSettingsGoOnlyToTheCardThatWasFormatted() {
        auto vanishing = std::make_shared<VanishingCards>();
        const QByteArray config(500, 's');
        QVERIFY(makeCard(1100ll << 20, config, vanishing));
        auto window = openWindow();
        QVERIFY(window);
        QCOMPARE(eraseThrough(*window), (QList<QVariant>{true, false}));
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("config.bin copy fail"));
        // the user is told where the copy is; only the user can read it
        const auto where = QRegularExpression("(/\\S+/config\\.bin)").match(alert->informativeText());
        QVERIFY2(where.hasMatch(), qPrintable(alert->informativeText()));
        const QString saved = where.captured(1);
        QFile savedFile(saved);
        QVERIFY2(savedFile.open(QIODevice::ReadOnly), qPrintable(saved));
        QCOMPARE(savedFile.readAll(), config);
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(savedFile.permissions() & others, QFileDevice::Permissions());
        QCOMPARE(QFile::permissions(QFileInfo(saved).absolutePath()) & others, QFileDevice::Permissions());
        QDir(QFileInfo(saved).absolutePath()).removeRecursively();
    }

    // The computer's own format looks at the disks again just before mkfs.fat, on the node
    // a link leads to.
    void theSystemFormatRefusesADiskHoldingTheSystem() {
        const QString node = m_dir.filePath("sdx2"), link = m_dir.filePath("by-id-card");
        QFile file(node);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'k')) == 4096);
        file.close();
        QVERIFY(QFile::link(node, link));
        const QByteArray json = QStringLiteral(R"({"blockdevices":[{"name":"sdx","path":"/dev/sdx","type":"disk",
            "tran":"usb","rm":true,"hotplug":true,"children":[
            {"name":"sdx1","path":"/dev/sdx1","type":"part","mountpoint":"/"},
            {"name":"sdx2","path":"%1","type":"part","label":"DAXO","mountpoint":null}]}]})").arg(node).toUtf8();
        setVolumeSource([json] { return json; });
        const TKUSBDiskEntity card("DAXO", "", link.toStdString(), std::nullopt, 4096, true, false, "/dev/sdx");
        const ZLXCommandResult result = makeSystemCardOperations()->format(card, 32);
        setVolumeSource({});
        QCOMPARE(result.exitStatus, -1);
        QCOMPARE(result.message, node + " is on the disk that holds the system's /.");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(4096, 'k')); // mkfs.fat never ran
    }

    void noCardNothingToFormat() {
        m_cards = std::make_shared<ZLXImageCardOperations>(); // no image at all
        auto window = openWindow();
        QVERIFY(window);
        QCOMPARE(window->ui().usbDiskCombo->count(), 0);
        // it says there is none and how to bring one; nothing can be formatted, no size is claimed
        QCOMPARE(window->ui().pathField->text(), qtTrId("setting.format.no_card"));
        QVERIFY(window->ui().pathField->text().contains("card reader"));
        QVERIFY(window->ui().allocationUnitField->text().isEmpty());
        QVERIFY(!window->ui().formatButton->isEnabled());
        if (const QString shot = qEnvironmentVariable("DAXO_SCREENSHOT"); !shot.isEmpty())
            window->grab().save(QString(shot).replace(".png", "-no-card.png"));
        m_cards.reset();
    }
};

DAXO_QTEST_MAIN(CardFormatTest)
#include "tst_card_format.moc"
