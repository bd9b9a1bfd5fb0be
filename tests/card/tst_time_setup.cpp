// SPDX-License-Identifier: GPL-3.0-or-later
// The clock-setup window: the pickers in step, the "today" box, and the file it writes on the
// card that carries one, or where the user chooses.
#include "../support/Alerts.h"
#include "../support/FileBytes.h"
#include "../support/QtTestMain.h"
#include "widgets/ZLXLook.h"
#include "card/ZLXTimeSetupController.h"
#include "card/ZLXVolumes.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrip.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QLabel>
#include <QTimeZone>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTableView>

using namespace daxo;
using daxo::test::alertOf;
using daxo::test::fileBytes;

class TimeSetupTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { applyViewerLook(*qApp); } // as the viewer shows its windows
    void init() { setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); }); }
    void cleanupTestCase() { setVolumeSource({}); }

    void thePickersStayInStepAndTheFileIsNineteenBytes() {
        ZLXTimeSetupController window;
        window.show();
        window.windowDidLoad();
        QCOMPARE(window.settingFilePath(), std::nullopt);
        window.findChild<QCalendarWidget*>("datePicker")->setSelectedDate(QDate(2025, 1, 2));
        window.daySelectedFromPicker();
        auto* time = window.findChild<QTimeEdit*>("timePicker");
        time->setTime(QTime(7, 8, 9));
        auto* face = window.findChild<ZLXClockFace*>("clockTimePicker");
        QCOMPARE(face->time(), QTime(7, 8, 9));
        // a click at twelve on the face's rim sets the minutes to 0, and the text follows
        QTest::mouseClick(face, Qt::LeftButton, {}, QPoint(face->width() / 2, 4));
        QCOMPARE(time->time(), QTime(7, 0, 9));
        time->setTime(QTime(7, 8, 9));
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT"))
            window.grab().save(qEnvironmentVariable("DAXO_SCREENSHOT"));

        int asked = 0;
        const QString chosen = m_dir.filePath("timeset.cfg");
        window.setSaveLocationChooser([&](QWidget*, const QString&) { return ++asked, chosen; });
        window.findChild<QPushButton*>("saveButton")->click();
        QCOMPARE(asked, 1);
        QCOMPARE(fileBytes(chosen), QByteArray("2025/01/02 07:08:09"));
        QMessageBox* done = alertOf(&window);
        QVERIFY(done);
        // a success: told as one, with where the file went
        QCOMPARE(done->icon(), QMessageBox::Information);
        QCOMPARE(done->text(), qtTrId("time.filesave"));
        QCOMPARE(done->informativeText(), chosen);
        done->accept();
        QTRY_VERIFY(!window.isVisible()); // dismissing it closes the window
    }

    // The time shown runs with the computer's clock until the user sets one; the day chosen with
    // the keyboard is the day written; without a card, the open folder's file is the one.
    void theClockRunsUntilSetAndTheKeyboardChoosesTheDay() {
        QTemporaryDir card;
        QVERIFY(QFile(card.filePath("timeset.cfg")).open(QIODevice::WriteOnly));
        QDateTime now(QDate(2026, 12, 9), QTime(18, 25, 12));
        ZLXTimeSetupController window;
        window.setNow([&] { return now; });
        window.setMediaFolder(card.path());
        window.show();
        window.windowDidLoad();
        QCOMPARE(window.settingFilePath(), card.filePath("timeset.cfg"));
        now = now.addSecs(33);
        window.tick();
        QCOMPARE(window.selectedTime(), QTime(18, 25, 45));
        QCOMPARE(window.findChild<QTimeEdit*>("timePicker")->time(), QTime(18, 25, 45));
        auto* calendar = window.findChild<QCalendarWidget*>("datePicker");
        QTest::keyClick(calendar->findChild<QTableView*>(), Qt::Key_Right);
        QCOMPARE(calendar->selectedDate(), QDate(2026, 12, 10));
        QCOMPARE(window.selectedDate(), QDate(2026, 12, 10));
        window.findChild<QTimeEdit*>("timePicker")->setTime(QTime(6, 0, 0));
        now = now.addSecs(5);
        window.tick(); // set by the user: it stays
        QCOMPARE(window.selectedTime(), QTime(6, 0, 0));
        window.setSaveLocationChooser([](QWidget*, const QString&) -> QString { QTest::qFail("asked", __FILE__, __LINE__); return {}; });
        window.findChild<QPushButton*>("saveButton")->click();
        QCOMPARE(fileBytes(card.filePath("timeset.cfg")), QByteArray("2026/12/10 06:00:00"));
        if (QMessageBox* done = alertOf(&window))
            done->accept();
    }

    void todaySetsTheDateKeepsTheTimeAndUnchecksItself() {
        ZLXTimeSetupController window;
        window.show();
        window.windowDidLoad();
        window.findChild<QCalendarWidget*>("datePicker")->setSelectedDate(QDate(2001, 2, 3));
        window.daySelectedFromPicker();
        window.findChild<QTimeEdit*>("timePicker")->setTime(QTime(1, 2, 3));
        auto* today = window.findChild<QCheckBox*>("nowDaySettingChk");
        today->click();
        QCOMPARE(window.selectedDate(), QDate::currentDate());
        QCOMPARE(window.selectedTime(), QTime(1, 2, 3));
        QVERIFY(today->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(!today->isChecked(), 1000);
    }

    void aCardWithTheFileIsWrittenWithoutAskingAndAFailureIsTold() {
        QTemporaryDir card;
        QFile existing(card.filePath("timeset.cfg"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("1999/12/31 23:59:59\n"); // 20 bytes: the 20th stays
        existing.close();
        const QByteArray json = QStringLiteral(R"({"blockdevices":[{"name":"sdb","path":"/dev/sdb","type":"disk","tran":"usb",
            "rm":true,"ro":false,"label":"DAXO","mountpoint":"%1","size":1000,"model":"Reader"}]})").arg(card.path()).toUtf8();
        setVolumeSource([json] { return json; });
        ZLXTimeSetupController window;
        window.show();
        window.windowDidLoad();
        QCOMPARE(window.settingFilePath(), std::optional<QString>(card.filePath("timeset.cfg")));
        window.setSaveLocationChooser([](QWidget*, const QString&) -> QString { QTest::qFail("asked", __FILE__, __LINE__); return {}; });
        window.findChild<QTimeEdit*>("timePicker")->setTime(QTime(12, 0, 0));
        window.onSaveConfigFile();
        const QByteArray written = fileBytes(card.filePath("timeset.cfg"));
        QCOMPARE(written.size(), 20);
        QVERIFY(written.endsWith(" 12:00:00\n"));
        alertOf(&window)->accept();

        // where nothing can be written the window says so and stays
        setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); });
        ZLXTimeSetupController locked;
        locked.show();
        locked.windowDidLoad();
        locked.setSaveLocationChooser([&](QWidget*, const QString&) { return m_dir.filePath("no/such/folder/timeset.cfg"); });
        QSignalSpy written2(&locked, &ZLXTimeSetupController::configFileWritten);
        locked.onSaveConfigFile();
        QCOMPARE(written2.count(), 1);
        QVERIFY(written2.front().front().toString().isEmpty());
        QMessageBox* warn = alertOf(&locked);
        QVERIFY(warn);
        QCOMPARE(warn->text(), QStringLiteral("Warn"));
        warn->accept();
        QVERIFY(locked.isVisible());
    }

    // The check against GPS runs in the background and says what it found; a clock found
    // wrong is set in one click, to the time of the card's own zone.
    void aClockFoundWrongIsSetFromGpsInOneClick() {
        QTemporaryDir card;
        QFile existing(card.filePath("timeset.cfg"));
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("2000/01/01 00:00:00") == 19);
        existing.close();
        ZLXTimeSetupController window;
        const QDateTime now(QDate(2024, 10, 3), QTime(20, 30, 0), QTimeZone::utc());
        window.setNow([&] { return now; });
        window.setMediaFolder(card.path());
        window.show();
        window.windowDidLoad();
        auto* label = window.findChild<QLabel*>("gpsCheckLabel");
        auto* button = window.findChild<QPushButton*>("setFromGpsButton");
        window.checkClockOf(card.path(), std::make_shared<ZLXTrackCache>());
        QTRY_COMPARE(label->text(), QStringLiteral("The camera's clock could not be checked: the card has no "
                                                   "config.bin, so its time zone is not known."));
        QVERIFY(!button->isVisible());

        ZLXClockCheck check;
        check.verdict = ZLXClockCheck::Verdict::Fast;
        check.median = 83;
        check.readings.push_back({});
        window.showClockCheck(check, 9 * 3600);
        QCOMPARE(label->text(), QStringLiteral("The camera's clock is 83 s fast."));
        QVERIFY(button->isVisible());
        QSignalSpy written(&window, &ZLXTimeSetupController::configFileWritten);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(written.count(), 1);
        QCOMPARE(fileBytes(card.filePath("timeset.cfg")), QByteArray("2024/10/04 05:30:00")); // +09:00
        alertOf(&window)->accept();
    }
};

DAXO_QTEST_MAIN(TimeSetupTest)
#include "tst_time_setup.moc"
