// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window on a FAT32 image mounted through FUSE, standing in for the card.
#include "../support/Alerts.h"
#include "../support/FfmpegInput.h"
#include "tools/ZLXCardMaker.h"
#include "../support/FileBytes.h"
#include "../support/QtTestMain.h"
#include "widgets/ZLXLook.h"
#include "widgets/TKSegmentedControl.h"
#include "card/ZLXCardOperations.h"
#include "config/filedata/ZLXFileData.h"
#include "card/ZLXFormatWindowController.h"
#include "ui_ZLXFormatWindowController.h"
#include "config/ZLXSettingController.h"
#include "config/ZLXSettingUi.h"
#include "card/ZLXVolumes.h"
#include "app/ZLXLanguage.h"
#include "ui_SettingWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QMessageBox>
#include <QRadioButton>
#include <QProcess>
#include <cstring>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QMouseEvent>
#include <QCheckBox>
#include <QToolButton>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace daxo;
using daxo::test::alertOf;
using daxo::test::fileBytes;

namespace {

// What a page was asked; kept by the test, since the window deletes pages it leaves.
struct PageLog {
    int shown = 0, populated = 0, hidden = 0;
    std::optional<QString> complaint;
    _FILEDATA* record = nullptr;
};

struct FakePage : ZLXSettingControllerDelegate {
    explicit FakePage(std::shared_ptr<PageLog> log) : log(std::move(log)) {}
    std::shared_ptr<PageLog> log;
    QWidget widget;
    QWidget* view() override { return &widget; }
    void setFileData(_FILEDATA* r) override { log->record = r, ++log->shown; }
    bool populate() override {
        ++log->populated;
        if (log->record)
            log->record->aud_output_vol = 1; // what the user chose on this page
        return true;
    }
    std::optional<QString> validateUserInput() override { return log->complaint; }
    void setMainController(ZLXSettingController*) override {}
    void onHide() override { ++log->hidden; }
};


} // namespace

class SettingWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image, m_mount;
    QString m_label = "DAXO";
    bool m_mounted = false;
    std::vector<std::shared_ptr<PageLog>> m_pages; // one log per page made, in order

    bool run(const QString& program, const QStringList& args, QString* err = nullptr) {
        QProcess p;
        p.start(program, args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (err)
            *err = QString::fromLocal8Bit(p.readAllStandardError());
        return ok;
    }
    bool mount(bool writable) {
        unmount();
        QString err;
        if (!run("fusefat", {"-o", writable ? "rw+" : "ro", m_image, m_mount}, &err)) {
            qWarning("fusefat: %s", qPrintable(err));
            return false;
        }
        m_mounted = true;
        return true;
    }
    void unmount() {
        if (m_mounted && !run("fusermount", {"-u", m_mount}))
            run("fusermount3", {"-u", m_mount});
        m_mounted = false;
    }
    // The card as lsblk would report it: a USB reader holding the image.
    void offerCard(bool readOnly = false) {
        setVolumeSource([this, readOnly] {
            return QStringLiteral(R"({"blockdevices":[{"name":"sdb","path":"/dev/sdb","type":"disk","tran":"usb",
                "rm":true,"hotplug":true,"ro":%1,"label":"%2","mountpoint":"%3","size":41943040,"model":"Card Reader"}]})")
                .arg(readOnly ? "true" : "false", m_label, m_mount).toUtf8();
        });
    }
    void writeConfig(const QByteArray& bytes) {
        QFile::remove(m_mount + "/config.bin"); // the FUSE file system does not truncate
        QFile f(m_mount + "/config.bin");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    static QByteArray recordBytes(void (*change)(_FILEDATA&), bool finalize = true) {
        _FILEDATA r{};
        InitFileData(&r);
        if (finalize) {
            change(r);
            FinalizeFileData(&r);
        } else {
            FinalizeFileData(&r);
            change(r);
        }
        uint8_t b[kFileDataSize];
        encodeFileData(r, b);
        return QByteArray(reinterpret_cast<const char*>(b), kFileDataSize);
    }
    std::unique_ptr<ZLXSettingController> openWindow() {
        m_pages.clear();
        auto window = std::make_unique<ZLXSettingController>(nullptr, [this](int) {
            m_pages.push_back(std::make_shared<PageLog>());
            return std::make_unique<FakePage>(m_pages.back());
        });
        window->show();
        return window;
    }

    // The window with its real pages, shown, active and loaded from the card; none on failure.
    static std::unique_ptr<ZLXSettingController> openRealWindow(QSize size = {900, 760}) {
        auto window = std::make_unique<ZLXSettingController>();
        window->resize(size);
        window->show();
        window->activateWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        if (!QTest::qWaitForWindowActive(window.get()) || (loaded.isEmpty() && !loaded.wait(10000)))
            return nullptr;
        return window;
    }
    // A click on the page selector's segment.
    static void choosePage(ZLXSettingController& window, int index) {
        window.ui().functionSegmentedControl->findChild<QToolButton*>(QStringLiteral("segment%1").arg(index))->click();
    }

private slots:
    void initTestCase() {
        installStringTable(*qApp, QStringLiteral("en")); // the pages as a driver reads them
        applyViewerLook(*qApp);                          // and as the viewer shows its windows
        QVERIFY(m_dir.isValid());
        m_image = m_dir.filePath("card.img");
        m_mount = m_dir.filePath("mnt");
        QVERIFY(QDir().mkpath(m_mount));
        QString err;
        QVERIFY2(run("mkfs.fat", {"-F", "32", "-C", "-n", "DAXO", m_image, "40000"}, &err), qPrintable(err));
        QVERIFY2(mount(true), "fusefat could not mount the card image");
    }
    void cleanupTestCase() {
        unmount();
        setVolumeSource({});
        setVolumeRenamer({});
    }
    void init() {
        m_label = "DAXO";
        if (!m_mounted || !QFileInfo(m_mount).isWritable())
            QVERIFY(mount(true));
        offerCard();
    }

    void loadsBehindTheSheetAndTitlesWithThePath() {
        writeConfig(recordBytes([](_FILEDATA& r) { r.gsen_x_threshold = 77; r.time_gmt = 3; }));
        auto window = openWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(window->isLoading()); // the sheet is up while the file is read
        QVERIFY(window->findChild<QDialog*>("loadingSheet")->isVisible());
        QVERIFY(loaded.wait(10000));
        QCOMPARE(loaded.front().front().toBool(), true);
        QCOMPARE(window->filedata()->gsen_x_threshold, 77);
        QCOMPARE(window->filedata()->time_gmt, 3);
        QCOMPARE(window->settingFilePath(), std::optional<QString>(m_mount + "/config.bin"));
        QVERIFY(window->windowTitle().endsWith(" : " + m_mount + "/config.bin"));
        QVERIFY(window->windowTitle().contains("[Ver "));
        QTRY_VERIFY_WITH_TIMEOUT(!window->isLoading(), 2000); // closes at the next tick
        // the first page was shown again from what was read
        QCOMPARE(window->lastSelectedTabIndex(), 0);
        QVERIFY(m_pages[0]->shown >= 2);
        QCOMPARE(m_pages[0]->record, window->filedata());
    }

    void pageChangesWaitForAValidPage() {
        writeConfig(recordBytes([](_FILEDATA&) {}));
        auto window = openWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(loaded.wait(10000));
        TKSegmentedControl* selector = window->ui().functionSegmentedControl;
        QCOMPARE(selector->segmentCount(), 8);

        window->changeViewController(0); // the page shown: nothing at all
        QCOMPARE(m_pages[0]->populated, 0);

        QCOMPARE(m_pages.size(), size_t(1));
        window->clickFunctionSegmentedControl(1);
        QCOMPARE(window->lastSelectedTabIndex(), 1);
        QCOMPARE(m_pages.size(), size_t(2));
        QCOMPARE(m_pages[0]->populated, 1);
        QCOMPARE(m_pages[0]->hidden, 1);
        PageLog* basic = m_pages[1].get();
        basic->complaint = QStringLiteral("Please enter a value from 0.05 to 1.5.");
        selector->setSelectedSegment(2); // as a click would
        window->clickFunctionSegmentedControl(2);
        QCOMPARE(window->lastSelectedTabIndex(), 1);
        QCOMPARE(selector->selectedSegment(), 1);
        QCOMPARE(basic->populated, 0);
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("DAXO"));
        QCOMPARE(alert->informativeText(), *basic->complaint);
        alert->accept();

        basic->complaint.reset();
        window->clickFunctionSegmentedControl(7);
        window->clickFunctionSegmentedControl(3);
        window->clickFunctionSegmentedControl(7);
        const size_t made = m_pages.size();
        QCOMPARE(made, size_t(4)); // pages 0, 1, 7 and 3: page 7 was made once
    }

    // Below the GPS page: the camera's clock against the GPS time in the card's recordings; an
    // hour ahead with daylight saving off offers to turn it on, and Save keeps it.
    void theGpsPageOffersTheSettingTheClockKeeps() {
        writeConfig(recordBytes([](_FILEDATA& r) { r.time_gmt = 14; r.summer_time = 0; })); // UTC
        const QString input = m_dir.filePath("gps-input.mp4");
        QVERIFY(test::ffmpegMp4(input.toStdString(), 2, false));
        tools::CardOptions options;
        options.groups = 2;
        options.recordsPerMinute = 10;
        options.frontInput = options.rearInput = input.toStdString();
        options.frontBytes = options.rearBytes = 256 << 10;
        options.clockAhead = 3600;
        const QString made = m_dir.filePath("gps-card");
        QVERIFY(QDir().mkpath(made) && tools::makeCard(made.toStdString(), options).ok);
        for (const QString& name : QDir(made).entryList(QDir::Files)) // as the camera wrote them
            QVERIFY(QFile::copy(made + "/" + name, m_mount + "/" + name));
        auto window = openRealWindow();
        QVERIFY(window);
        choosePage(*window, ZLXSettingController::kGpsPageIndex);
        auto* label = window->findChild<QLabel*>("clockOfferLabel");
        QVERIFY(label);
        QTRY_VERIFY_WITH_TIMEOUT(label->text().startsWith("Daylight saving time looks wrong"), 20000);
        auto* offer = window->findChild<QPushButton*>("clockOfferButton");
        QCOMPARE(offer->text(), QStringLiteral("Turn Daylight Saving Time On"));
        auto* summer = window->findChild<QCheckBox*>("summerTimeChk");
        QVERIFY(!summer->isChecked());
        offer->click();
        QVERIFY(summer->isChecked());
        QVERIFY(!offer->isVisible());
        window->ui().saveButton->click();
        QMessageBox* saved = alertOf(window.get());
        QVERIFY(saved);
        saved->accept();
        _FILEDATA record{};
        QVERIFY(LoadFileData((m_mount + "/config.bin").toStdString(), &record));
        QCOMPARE(record.summer_time, 1u);
        QCOMPARE(record.time_gmt, 14);
        for (const QString& name : QDir(m_mount).entryList({"*.MP4"}, QDir::Files))
            QVERIFY(QFile::remove(m_mount + "/" + name));
    }

    void resetShowsTheDefaultsAndSaveWritesTheCard() {
        writeConfig(recordBytes([](_FILEDATA& r) { r.vid_brightness = 4; r.Brightness1 = 7; r.cfg_ver = 1; }));
        auto window = openWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(window->filedata()->vid_brightness, 4u);
        const int shownBefore = m_pages[0]->shown;
        window->ui().resetButton->click();
        QCOMPARE(window->filedata()->vid_brightness, 2u);
        QCOMPARE(window->filedata()->Brightness1, 7u); // the voice language is kept
        QCOMPARE(m_pages[0]->shown, shownBefore + 1);
        window->filedata()->szPlateNumber[0] = '\0';

        const QByteArray before = fileBytes(m_mount + "/config.bin");
        QSignalSpy closed(window.get(), &QDialog::finished);
        window->ui().saveButton->click();
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(), m_mount + "/config.bin"); // where the settings went
        const QByteArray saved = fileBytes(m_mount + "/config.bin");
        QCOMPARE(saved.size(), 500);
        QVERIFY(saved != before);
        _FILEDATA check{};
        QVERIFY(LoadFileData((m_mount + "/config.bin").toStdString(), &check));
        QCOMPARE(check.modelNum, 34u);
        QCOMPARE(check.osd_plate_flag, 0);
        QCOMPARE(check.aud_output_vol, 1u); // the page's populate reached the card
        QCOMPARE(check.cfg_ver, 22310);     // the reset wrote the layout mark again
        QCOMPARE(check.checksum, fileDataChecksum(check));
        alert->accept();
        QTRY_VERIFY(!window->isVisible()); // the window closes when the alert is dismissed
    }

    // At the window's opening size every page fits: no control is narrower than it needs.
    void everyPageFitsTheWindowItOpensIn() {
        writeConfig(recordBytes([](_FILEDATA&) {}));
        applyViewerLook(*qApp); // as the viewer opens it
        auto window = openRealWindow(QSize(760, 560));
        QVERIFY(window);
        for (int page = 0; page < 7; ++page) {
            choosePage(*window, page);
            QCOMPARE(window->lastSelectedTabIndex(), page);
            QCoreApplication::processEvents();
            // every segment's and check box's text shows whole
            for (QAbstractButton* control : window->ui().targetView->findChildren<QAbstractButton*>()) {
                if (!control->isVisibleTo(window.get()) || control->text().isEmpty())
                    continue;
                const int needed = control->fontMetrics().horizontalAdvance(control->text());
                QVERIFY2(control->contentsRect().width() >= needed,
                         qPrintable(QStringLiteral("page %1: \"%2\" %3 < %4").arg(page).arg(control->text())
                                        .arg(control->contentsRect().width()).arg(needed)));
                const int right = control->mapTo(window.get(), QPoint(control->width(), 0)).x();
                QVERIFY2(right <= window->width(), qPrintable(QStringLiteral("page %1: \"%2\" ends at %3 of %4")
                                                                  .arg(page).arg(control->text()).arg(right).arg(window->width())));
            }
        }
    }

    void theFivePagesEditTheCardThroughTheirWidgets() {
        // The real pages, worked as a user would; the card's file afterwards equals a record
        // changed by hand.
        writeConfig(recordBytes([](_FILEDATA& r) { r.time_gmt = 22; r.Brightness1 = 20; r.vid_brightness = 9; }));
        auto window = openRealWindow();
        QVERIFY(window);
        auto shot = [&](const char* name) {
            if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
                QCoreApplication::processEvents();
                window->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", QStringLiteral("-%1.png").arg(name)));
            }
        };
        auto segment = [&](const char* control, int index) {
            auto* segments = window->findChild<TKSegmentedControl*>(control);
            QVERIFY2(segments, control);
            segments->findChild<QToolButton*>(QStringLiteral("segment%1").arg(index))->click();
        };
        auto page = [&](int index) {
            choosePage(*window, index);
            QCOMPARE(window->lastSelectedTabIndex(), index);
        };
        // video: a brightness beyond the list shows no choice and is kept; the rear quality changes
        QCOMPARE(window->findChild<TKSegmentedControl*>("videoBrightness")->selectedSegment(), -1);
        segment("videoEncodingBitrateRear", 2);
        shot("video");
        page(1); // leaving it populates (and warns of the quality: a notice, not a refusal)
        if (QMessageBox* warning = alertOf(window.get()))
            warning->accept();
        // basic: a custom threshold out of range keeps the page, focused on the field
        segment("gsensorSensitivityDrivingSeg", 5);
        auto* x = window->findChild<QLineEdit*>("gsensorSensitivityThresholdXDrivingField");
        QVERIFY(x && x->isEnabled());
        x->setText("1.6");
        choosePage(*window, 2);
        QCOMPARE(window->lastSelectedTabIndex(), 1);
        QCOMPARE(window->ui().functionSegmentedControl->selectedSegment(), 1);
        QMessageBox* refusal = alertOf(window.get());
        QVERIFY(refusal);
        QCOMPARE(refusal->text(), QStringLiteral("DAXO"));
        refusal->accept();
        QTRY_COMPARE(window->focusWidget(), x); // the window's focus, once the alert is gone
        x->setText("0.7");
        window->findChild<QLineEdit*>("carNumberField")->setText("12ab34");
        shot("basic");
        page(2);
        // GPS: the zone by its index
        QCOMPARE(window->findChild<QComboBox*>("timeGmtCombo")->currentText(), QStringLiteral("+05:30"));
        segment("speedDisplayUnitSeg", 1);
        shot("gps");
        page(4);
        window->findChild<QCheckBox*>("frontMotionBlock01Chk")->click();
        shot("motion");
        page(6);
        QVERIFY(window->findChild<QRadioButton*>("malaysiaRadio")->isChecked());
        window->findChild<QRadioButton*>("voiceLangRadio13")->click(); // German
        QVERIFY(!window->findChild<QRadioButton*>("malaysiaRadio")->isChecked());
        shot("audio");
        window->ui().saveButton->click();
        QMessageBox* saved = alertOf(window.get());
        QVERIFY(saved);
        QCOMPARE(saved->informativeText(), m_mount + "/config.bin");
        saved->accept();

        const QByteArray expected = recordBytes([](_FILEDATA& r) {
            r.time_gmt = 22;
            r.vid_brightness = 9;
            r.vid_enc_bitrate_R = 2;
            r.gsen_x_threshold = 70;
            r.gsen_y_threshold = r.gsen_z_threshold = 45; // what the default preset left in them
            std::memcpy(r.szPlateNumber, "12ab34\0\0", 8);
            r.speed_disp_unit = 1;
            r.motionBlock = 0x60 | 0x100;
            r.Brightness1 = 13;
        });
        QCOMPARE(fileBytes(m_mount + "/config.bin").toHex(), expected.toHex());
    }

    void theAuxiliaryAndAdasPagesWithTheSliderAndTheSteppers() {
        const QByteArray original = recordBytes([](_FILEDATA& r) { r.wifi_channel = 20; });
        writeConfig(original);
        auto window = openRealWindow({900, 900});
        QVERIFY(window);
        auto page = [&](int index) { choosePage(*window, index); };
        page(3);
        auto* slider = window->findChild<QWidget*>("multiHandleSlider");
        QVERIFY(slider);
        QWidget* low = slider->findChild<QWidget*>("Low");
        QVERIFY(low && low->accessibleName() == QStringLiteral("Low"));
        auto* always = window->findChild<QLineEdit*>("alwaysField");
        QCOMPARE(always->text(), QStringLiteral("70%"));
        QVERIFY(!window->findChild<QLabel*>("sdcardCapacityWarningLabel")->isVisibleTo(window.get()));
        // the mouse drags Low to the left
        const QPoint grip = low->mapToParent(QPoint(6, 8));
        QVERIFY(qAbs(low->x() - 0.7 * (slider->width() - 13)) < 1); // where its ratio puts it
        QTest::mousePress(slider, Qt::LeftButton, {}, grip);
        const QPoint to = grip - QPoint(int(slider->width() * 0.2), 0);
        // a move with the button held (QTest's own move carries no button)
        QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        const int dragged = always->text().chopped(1).toInt();
        QVERIFY2(dragged >= 47 && dragged <= 53, qPrintable(always->text()));
        QVERIFY(window->findChild<QLabel*>("sdcardCapacityWarningLabel")->isVisibleTo(window.get()));
        // the keyboard moves it by a hundredth
        QTest::keyClick(low, Qt::Key_Right);
        QCOMPARE(always->text(), QStringLiteral("%1%").arg(dragged + 1));
        // a share typed in its field moves the slider: event 15 %
        auto* event = window->findChild<QLineEdit*>("eventField");
        event->setText("15");
        emit event->editingFinished();
        QCOMPARE(window->findChild<QLineEdit*>("motionField")->text(), QStringLiteral("%1%").arg(85 - dragged - 1));
        // a too short Wi-Fi name keeps the page
        window->findChild<QLineEdit*>("ssidLabel")->setText("Cam");
        page(5);
        QCOMPARE(window->lastSelectedTabIndex(), 3);
        QMessageBox* refusal = alertOf(window.get());
        QVERIFY(refusal);
        refusal->accept();
        window->findChild<QLineEdit*>("ssidLabel")->setText("MyCamera");
        page(5);
        QCOMPARE(window->lastSelectedTabIndex(), 5);
        // ADAS: the height stepper changes the record at once
        auto* height = window->findChild<QLineEdit*>("heightInput");
        const int before = height->text().chopped(2).toInt();
        window->findChild<QToolButton*>("heightInputUp")->click();
        QCOMPARE(height->text(), QStringLiteral("%1cm").arg(before + 1));
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
            QCoreApplication::processEvents();
            window->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-adas.png"));
            page(3);
            QCoreApplication::processEvents();
            window->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-aux.png"));
        }
        window->ui().saveButton->click();
        QMessageBox* saved = alertOf(window.get());
        QVERIFY(saved);
        saved->accept();
        // byte for byte: the record as it was read, with exactly these changes
        _FILEDATA expected{};
        decodeFileData(*reinterpret_cast<const uint8_t(*)[kFileDataSize]>(original.constData()), expected);
        expected.sd_mem_always_ratio = uint32_t(dragged + 1);
        expected.sd_mem_motion_ratio = uint32_t(100 - 15 - (dragged + 1));
        expected.sd_mem_event_ratio = 15;
        std::memset(expected.wifi_ssid, 0, 16);
        std::memcpy(expected.wifi_ssid, "MyCamera", 8);
        expected.blackboxHeight = float(double(expected.blackboxHeight) + 0.01);
        FinalizeFileData(&expected);
        uint8_t expectedBytes[kFileDataSize];
        encodeFileData(expected, expectedBytes);
        QCOMPARE(fileBytes(m_mount + "/config.bin").toHex(),
                 QByteArray(reinterpret_cast<const char*>(expectedBytes), kFileDataSize).toHex());
        _FILEDATA check{};
        QVERIFY(LoadFileData((m_mount + "/config.bin").toStdString(), &check));
        QCOMPARE(check.sd_mem_always_ratio, uint32_t(dragged + 1));
        QCOMPARE(check.sd_mem_event_ratio, 15u);
        QCOMPARE(check.sd_mem_always_ratio + check.sd_mem_motion_ratio + check.sd_mem_event_ratio, 100u);
        QCOMPARE(QByteArray(check.wifi_ssid), QByteArray("MyCamera"));
        QCOMPARE(check.wifi_channel, 20u); // no choice stood for it: kept
        QCOMPARE(qRound(check.blackboxHeight * 100), before + 1);
    }

    void aLockedCardGivesWarnAndKeepsTheOldFile() {
        writeConfig(recordBytes([](_FILEDATA& r) { r.gsen_z_threshold = 33; }));
        const QByteArray before = fileBytes(m_mount + "/config.bin");
        QVERIFY(mount(false));
        offerCard(true);
        auto window = openWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(window->filedata()->gsen_z_threshold, 33);
        window->filedata()->gsen_z_threshold = 44;
        window->onSave();
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Warn"));
        QCOMPARE(alert->informativeText(), qtTrId("msg.write_protected_disk"));
        alert->accept();
        QVERIFY(window->isVisible()); // the user may try again
        QCOMPARE(fileBytes(m_mount + "/config.bin"), before);
        QVERIFY(mount(true));
        QCOMPARE(fileBytes(m_mount + "/config.bin"), before);
    }

    void aShortFileOpensWithDefaultsAndSaveReplacesIt() {
        writeConfig(QByteArray(499, '\x01'));
        auto window = openWindow();
        window->windowDidLoad();
        QVERIFY(!window->isLoading()); // nothing to read
        QCOMPARE(window->settingFilePath(), std::nullopt);
        QVERIFY(!window->windowTitle().contains(" : "));
        QCOMPARE(window->filedata()->gsen_x_threshold, 45);
        window->onSave();
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(), m_mount + "/config.bin"); // where the settings went
        alert->accept();
        QCOMPARE(fileBytes(m_mount + "/config.bin").size(), 500);
    }

    void aRejectedFileTakesTheComputersTimeZone() {
        writeConfig(recordBytes([](_FILEDATA& r) { r.modelNum = 33; r.time_gmt = 5; }, false));
        qputenv("TZ", "Asia/Kolkata");
        tzset();
        auto window = openWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(loaded.front().front().toBool(), false);
        QCOMPARE(window->settingFilePath(), std::nullopt);
        QCOMPARE(window->filedata()->time_gmt, 22);
        QVERIFY(!window->windowTitle().contains(" : "));
        qunsetenv("TZ");
        tzset();
    }

    void aCardWithAnotherNameIsRenamed() {
        writeConfig(recordBytes([](_FILEDATA&) {}));
        m_label = "CAM";
        QStringList renamed;
        setVolumeRenamer([&](const TKUSBDiskEntity& v, const QString& label, QString*) {
            renamed << QString::fromStdString(v.volumeName()) + "->" + label;
            m_label = label;
            return true;
        });
        auto window = openWindow();
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(renamed, QStringList{"CAM->DAXO"});
        QCOMPARE(window->selectedUSBDisk()->volumeName(), std::string("DAXO"));

        // a failed rename is logged and the card is used as it is
        m_label = "CAM";
        setVolumeRenamer([](const TKUSBDiskEntity&, const QString&, QString* error) {
            *error = "not allowed";
            return false;
        });
        auto second = openWindow();
        QSignalSpy loaded2(second.get(), &ZLXSettingController::settingFileLoaded);
        second->windowDidLoad();
        QVERIFY(loaded2.wait(10000));
        QCOMPARE(second->selectedUSBDisk()->volumeName(), std::string("CAM"));
        setVolumeRenamer({});
    }

    void thePlateFieldTakesOnlyWhatAPlateMay() {
        // the plate holds only what a plate may, as it is typed, before any edit ends
        ZLXCarNumberTextField plate;
        QStringList seen;
        connect(&plate, &QLineEdit::textChanged, this, [&](const QString& text) { seen << text; });
        QTest::keyClicks(&plate, QStringLiteral("12 ab-34 XYZ"));
        QCOMPARE(plate.text(), QStringLiteral("12ab34XY"));
        QVERIFY(std::none_of(seen.cbegin(), seen.cend(), [](const QString& t) { return t.contains(' ') || t.contains('-'); }));
        plate.setCursorPosition(2);
        QTest::keyClicks(&plate, QStringLiteral("-"));
        QCOMPARE(plate.cursorPosition(), 2); // a refused character leaves the cursor where it was
    }

    void theFormatButtonOpensTheFormatWindowOnTheCard() {
        auto cards = std::make_shared<ZLXImageCardOperations>();
        cards->addImage(m_image, m_mount);
        auto window = openRealWindow();
        QVERIFY(window);
        window->setCardOperations(cards);
        window->ui().sdcardFormatButton->click();
        ZLXFormatWindowController* format = window->lastDialogController();
        QVERIFY(format && format->isVisible());
        QSignalSpy loaded(format, &ZLXFormatWindowController::volumesLoaded);
        QVERIFY(loaded.wait(10000));
        QVERIFY(format->ui().usbDiskCombo->currentText().endsWith("] DAXO <Image file>"));
        QCOMPARE(format->ui().pathField->text(), QFileInfo(m_image).absoluteFilePath() + "   " + m_mount);
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
            QCoreApplication::processEvents();
            format->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-format.png"));
            format->showProgressBar(QStringLiteral("formatting..."));
            QCoreApplication::processEvents();
            format->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-formatting.png"));
            format->hideProgressBar();
        }
        format->close();
    }

    void withoutACardSaveAsksWhere() {
        setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); });
        auto window = openWindow();
        window->windowDidLoad();
        QCOMPARE(window->settingFilePath(), std::nullopt);
        int asked = 0;
        window->setSaveLocationChooser([&](QWidget*) {
            ++asked;
            return QString();
        });
        window->onSave(); // cancelled: nothing happens
        QCOMPARE(asked, 1);
        QVERIFY(window->findChildren<QMessageBox*>().isEmpty() ||
                !window->findChildren<QMessageBox*>().front()->isVisible());
        const QString chosen = m_dir.filePath("elsewhere.bin");
        window->setSaveLocationChooser([&](QWidget*) { return chosen; });
        window->onSave();
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(), chosen);
        QCOMPARE(fileBytes(chosen).size(), 500);
        alert->accept();
    }

    void withoutACardTheOpenFoldersConfigIsEdited() {
        setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); });
        QTemporaryDir folder;
        const QString config = folder.filePath("config.bin");
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(recordBytes([](_FILEDATA& r) { r.gsen_x_threshold = 91; }));
        file.close();
        auto window = openWindow();
        window->setMediaFolder(folder.path());
        QSignalSpy loaded(window.get(), &ZLXSettingController::settingFileLoaded);
        window->windowDidLoad();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(window->filedata()->gsen_x_threshold, 91);
        QVERIFY(window->windowTitle().endsWith(" : " + config));
        int asked = 0;
        window->setSaveLocationChooser([&](QWidget*) { return ++asked, QString(); });
        window->filedata()->gsen_y_threshold = 44;
        window->onSave(); // back where it came from, without asking
        QCOMPARE(asked, 0);
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(), config);
        alert->accept();
        _FILEDATA saved{};
        QVERIFY(LoadFileData(QFile::encodeName(config).toStdString(), &saved));
        QCOMPARE(saved.gsen_x_threshold, 91);
        QCOMPARE(saved.gsen_y_threshold, 44);
    }
};

DAXO_QTEST_MAIN(SettingWindowTest)
#include "tst_setting_window.moc"
